// Line input and hex decoding shared by the text readers.
#include "loadfile/textloadfile.h"

#include "common/hexception.h"
#include "loadfile/loadfileinput.h"
#include "loadfile/sectionarena.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

namespace zim::loadfile {

namespace {

// Text is read in pieces of this size; far more than the longest line.
constexpr size_t pieceSize = 64 * 1024;

// Texts from this size on have their sections grow in one arena.
constexpr uint64_t arenaThreshold = 2 << 20;

// The first line feed or carriage return in [from, limit), or limit. Looks at eight characters
// at a time: lines are short, and a library call per line would cost more than the scan.
const char *findLineEnd(const char *from, const char *limit)
{
    constexpr uint64_t ones = 0x0101010101010101u;
    constexpr uint64_t highs = 0x8080808080808080u;
    while (limit - from >= 8) {
        uint64_t word;
        std::memcpy(&word, from, 8);
        const uint64_t lf = word ^ (ones * '\n');
        const uint64_t cr = word ^ (ones * '\r');
        // A byte's high bit is set where the byte is zero; bits above the first such byte may
        // be set wrongly, so only the first one counts.
        const uint64_t hits = ((lf - ones) & ~lf & highs) | ((cr - ones) & ~cr & highs);
        if (hits) {
            const int bit = std::endian::native == std::endian::little ? std::countr_zero(hits) : std::countl_zero(hits);
            return from + bit / 8;
        }
        from += 8;
    }
    while (from < limit && *from != '\n' && *from != '\r')
        ++from;
    return from;
}

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

uint8_t *TextLoadFile::placeBytes(uint32_t address, uint32_t n)
{
    if (uint64_t(address) + n > uint64_t(0x100000000))
        throw common::HException("data runs past the end of the 32-bit address space");
    m_dataBytes += n;
    if (m_dataBytes > 0xFFFFFFFFu)
        throw common::HException("more data than a 32-bit address space holds");
    // Data at address 0 does not continue a section that ends at the top of the address space.
    if (!m_lastSection || m_lastEnd != address) {
        if (m_lastSection && m_lastSection->size() == 0)
            m_lastSection->moveTo(address);
        else
            newSection(address);
        m_lastEnd = address;
    }
    m_lastEnd += n;
    return m_lastSection->append(n);
}

void TextLoadFile::newSection(uint32_t address)
{
    if (m_lastSection)
        m_lastSection->close();
    auto section = m_arena ? std::make_unique<ExpandingLoadFileSection>("", address, m_arena)
                           : std::make_unique<ExpandingLoadFileSection>("", address);
    m_lastSection = section.get();
    m_sections.primarySections.push_back(std::move(section));
}

void TextLoadFile::prepareArena(uint64_t size)
{
    // Every data byte takes at least two characters of text in each format, so half the text
    // holds all the data. Small texts keep to the allocator: their few pages are not worth a
    // reservation of their own.
    if (size >= arenaThreshold)
        m_arena = SectionArena::reserve(size_t(size / 2));
}

const char *TextLoadFile::parseLines(const char *pos, const char *end, bool final)
{
    const size_t maxLine = size_t(m_bufferSize - 1);
    while (pos < end && !m_finished) {
        const size_t available = size_t(end - pos);
        if (!final && available <= maxLine)
            break;
        // Up to maxLine characters, ending after the first line end.
        const char *limit = pos + std::min(maxLine, available);
        Line line{pos, limit, pos};
        const char *stop = limit;
        if (m_lineEnd == LineEnd::Known) {
            stop = findLineEnd(pos, limit);
            line.end = stop < limit ? stop + 1 : limit;
        }
        ++m_lineNumber;
        if (!parseLine(line)) {
            m_finished = true;
            break;
        }
        if (m_lineEnd == LineEnd::AfterRecord) {
            // The record has been checked to hold no line end, so the search starts after it;
            // most lines end right there.
            stop = line.cursor < limit && *line.cursor == '\n' ? line.cursor : findLineEnd(line.cursor, limit);
        }
        // A carriage return right before a line feed takes no room of its own, as in a
        // text-mode read.
        if (stop == limit)
            pos = limit;
        else if (*stop == '\r' && stop + 1 < end && stop[1] == '\n')
            pos = stop + 2;
        else
            pos = stop + 1;
    }
    return pos;
}

void TextLoadFile::finishText()
{
    if (m_lastSection)
        m_lastSection->close();
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
    if (!input.isSequential())
        prepareArena(input.size());
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
    prepareArena(uint64_t(text.size()));
    try {
        parseLines(text.constData(), text.constData() + text.size(), true);
        finishText();
    } catch (const common::HException &e) {
        rethrowWithLine(e);
    }
}

} // namespace zim::loadfile
