// Line input and hex decoding shared by the text readers.
#include "loadfile/textloadfile.h"

#include "common/hexception.h"
#include "loadfile/loadfileinput.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace zim::loadfile {

namespace {

// Text is read in pieces of this size; far more than the longest line.
constexpr size_t pieceSize = 256 * 1024;

} // namespace

void TextLoadFile::invalidByte()
{
    throw common::HException("invalid ASCII encoded byte");
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
    if (uint64_t(address) + n > uint64_t(0x100000000))
        throw common::HException("data runs past the end of the 32-bit address space");
    m_dataBytes += n;
    if (m_dataBytes > 0xFFFFFFFFu)
        throw common::HException("more data than a 32-bit address space holds");
    // The end is taken in 64 bits: data at address 0 does not continue a section that ends
    // at the top of the address space.
    if (!m_lastSection || uint64_t(m_lastSection->address()) + m_lastSection->size() != address) {
        if (m_lastSection && m_lastSection->size() == 0)
            m_lastSection->moveTo(address);
        else
            newSection(address);
    }
    return m_lastSection->append(n);
}

void TextLoadFile::newSection(uint32_t address)
{
    auto section = std::make_unique<ExpandingLoadFileSection>("", address);
    m_lastSection = section.get();
    m_sections.primarySections.push_back(std::move(section));
}

const char *TextLoadFile::parseLines(const char *pos, const char *end, bool final)
{
    const size_t maxLine = size_t(m_bufferSize - 1);
    while (pos < end && !m_finished) {
        const size_t available = size_t(end - pos);
        if (!final && available <= maxLine)
            break;
        // Up to maxLine characters, ending after the first line end. A carriage return right
        // before a line feed takes no room of its own, as in a text-mode read.
        const size_t window = std::min(maxLine, available);
        const char *newline = static_cast<const char *>(std::memchr(pos, '\n', window));
        const char *stop = newline ? newline : pos + window;
        const char *lineEnd;
        const char *next;
        if (const char *cr = static_cast<const char *>(std::memchr(pos, '\r', size_t(stop - pos)))) {
            lineEnd = cr + 1;
            next = cr + 1 < end && cr[1] == '\n' ? cr + 2 : cr + 1;
        } else {
            lineEnd = next = newline ? newline + 1 : stop;
        }
        Line line{pos, lineEnd, pos};
        pos = next;
        ++m_lineNumber;
        if (!parseLine(line))
            m_finished = true;
    }
    return pos;
}

void TextLoadFile::finishText()
{
    if (m_finished)
        return;
    ++m_lineNumber;
    endOfText();
}

void TextLoadFile::rethrowWithLine(const common::HException &e) const
{
    throw common::HException(e.message() + QString::asprintf(" : line %lld", static_cast<long long>(m_lineNumber)));
}

void TextLoadFile::readFile(const QString &fileName)
{
    LoadFileInput input(fileName);
    const size_t maxLine = size_t(m_bufferSize - 1);
    std::unique_ptr<char[]> buffer(new char[pieceSize]);
    char *const first = buffer.get();
    const char *pos = first;
    char *end = first;
    bool atEnd = false;
    try {
        while (!m_finished) {
            if (!atEnd && size_t(end - pos) <= maxLine) {
                // Keep the unfinished line and read on until a whole line is in view.
                const size_t kept = size_t(end - pos);
                std::memmove(first, pos, kept);
                pos = first;
                end = first + kept;
                while (!atEnd && size_t(end - pos) <= maxLine) {
                    const int64_t n = input.read(end, int64_t(pieceSize - size_t(end - first)));
                    if (n == 0)
                        atEnd = true;
                    end += n;
                }
            }
            if (pos == end)
                break;
            pos = parseLines(pos, end, atEnd);
        }
        finishText();
    } catch (const common::HException &e) {
        rethrowWithLine(e);
    }
}

void TextLoadFile::readText(const QByteArray &text)
{
    try {
        parseLines(text.constData(), text.constData() + text.size(), true);
        finishText();
    } catch (const common::HException &e) {
        rethrowWithLine(e);
    }
}

} // namespace zim::loadfile
