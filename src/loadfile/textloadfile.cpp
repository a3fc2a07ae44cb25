// Line input and hex decoding shared by the text readers.
#include "loadfile/textloadfile.h"

#include "common/hexception.h"

#include <QFile>
#include <cstring>

namespace {

// The files come from Windows tools as often as not, and the readers treat them the way a
// text-mode read does there: a carriage return right before a line feed is dropped.
void dropCarriageReturns(QByteArray &text)
{
    if (!std::memchr(text.constData(), '\r', size_t(text.size())))
        return;
    char *out = text.data();
    const char *in = out;
    const char *end = in + text.size();
    while (in < end) {
        if (*in == '\r' && in + 1 < end && in[1] == '\n') {
            ++in;
            continue;
        }
        *out++ = *in++;
    }
    text.truncate(int(out - text.data()));
}

} // namespace

void TextLoadFile::invalidByte()
{
    throw HException("invalid ASCII encoded byte");
}

uint32_t TextLoadFile::readBigEndian(Line &line, int n)
{
    uint32_t value = 0;
    for (int i = 0; i < n; ++i)
        value = value << 8 | readHexByte(line);
    return value;
}

uint8_t *TextLoadFile::sectionBytes(uint32_t address, uint32_t n)
{
    if (!m_lastSection || m_lastSection->address() + m_lastSection->size() != address) {
        auto section = std::make_unique<ExpandingLoadFileSection>("", address);
        m_lastSection = section.get();
        m_sections.primarySections.push_back(std::move(section));
    }
    return m_lastSection->append(n);
}

void TextLoadFile::readFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw HException(QStringLiteral("cannot open ") + fileName);
    // Mapping the file spares a copy of large images; the text is copied only when carriage
    // returns have to be dropped. Files that cannot be mapped (pipes, devices) are read.
    const qint64 size = file.size();
    if (uchar *mapped = size > 0 ? file.map(0, size) : nullptr) {
        readText(QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), qsizetype(size)));
        return;
    }
    QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw HException(QStringLiteral("cannot read ") + fileName);
    readText(std::move(text));
}

void TextLoadFile::readText(QByteArray text)
{
    dropCarriageReturns(text);
    const char *pos = text.constData();
    const char *const end = pos + text.size();
    const size_t maxLine = size_t(m_bufferSize - 1);
    int lineNumber = 0;
    try {
        while (pos < end) {
            // Up to maxLine characters, ending after the first line feed.
            const size_t window = std::min(maxLine, size_t(end - pos));
            const char *newline = static_cast<const char *>(std::memchr(pos, '\n', window));
            const char *lineEnd = newline ? newline + 1 : pos + window;
            Line line{pos, lineEnd, pos};
            pos = lineEnd;
            ++lineNumber;
            if (!parseLine(line))
                return;
        }
        ++lineNumber;
        endOfText();
    } catch (const HException &e) {
        throw HException(e.message() + QString::asprintf(" : line %d", lineNumber));
    }
}
