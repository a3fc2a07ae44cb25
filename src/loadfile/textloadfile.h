// The common ground of the text load-file readers: line input, hex decoding, the section rule
// and line numbers in messages.
#pragma once

#include "loadfile/hexpair.h"
#include "loadfile/loadfileinterface.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace zim::common {
class HException;
}

namespace zim::loadfile {

class SectionArena;

// Base of the text readers. A derived constructor calls readFile() or readText(), which cut
// the text into lines as a reader with a fixed line buffer sees them and hand each to
// parseLine(). A line ends after a line feed, a carriage return, or a carriage return and line
// feed taken together. Files are read in pieces, so memory holds one piece of text besides
// the sections. Every failure inside the text is rethrown as an HException whose message ends
// in " : line N".
class TextLoadFile : public LoadFileInterface
{
public:
    bool hasStartAddress() const override { return false; }
    void setStartAddress(uint32_t address) override { m_startAddress = address; }
    uint32_t startAddress() const override { return m_startAddress; }
    bool hasAddresses() const override { return true; }
    void setLoadAddress(uint32_t) override {}
    bool readSections() override { return true; }

protected:
    // Where a reader's lines end when parseLine() sees them.
    enum class LineEnd {
        // Line::end is just past the line end: for readers that take the line's length into
        // account.
        Known,
        // Line::end is as far as the line could reach, and the line end is looked for after
        // parseLine() from where it left the cursor: for readers whose records give their own
        // length. Such a reader must fail on a line-end character, never step over one.
        AfterRecord,
    };

    // One line as read, line end included (see LineEnd); the cursor moves as bytes are decoded.
    struct Line
    {
        const char *begin;
        const char *end;
        const char *cursor;

        int length() const { return int(end - begin); }
        // The character at the cursor, or 0 past the end of the line.
        char peek() const { return cursor < end ? *cursor : '\0'; }
    };

    // bufferSize is the reader's line buffer: a line longer than bufferSize - 1 characters
    // is read as several lines.
    TextLoadFile(int bufferSize, LineEnd lineEnd) : m_bufferSize(bufferSize), m_lineEnd(lineEnd) {}

    // Throws "cannot open <name>" when the file cannot be opened, and "cannot read <name>"
    // (with the line) when reading fails or the file changes length while it is read.
    void readFile(const QString &fileName);
    void readText(const QByteArray &text);

    // Handles one line; returns false to stop reading (an end record).
    virtual bool parseLine(Line &line) = 0;
    // Called when the text ends without parseLine having stopped the reading.
    virtual void endOfText() {}

    // Decodes two hex digits at the cursor and adds the byte to the running sum.
    uint8_t readHexByte(Line &line)
    {
        const uint8_t byte = readHexByteUnsummed(line);
        m_sum = uint8_t(m_sum + byte);
        return byte;
    }
    // Decodes two hex digits without touching the running sum (checksums).
    uint8_t readHexByteUnsummed(Line &line)
    {
        if (line.end - line.cursor < 2)
            invalidByte();
        const uint16_t value = HexPair::decode(line.cursor);
        if (value & HexPair::invalid)
            invalidByte();
        line.cursor += 2;
        return uint8_t(value);
    }
    // Decodes n bytes at the cursor into out, each added to the running sum.
    void readHexBytes(Line &line, uint8_t *out, uint32_t n)
    {
        if (uint64_t(line.end - line.cursor) < 2 * uint64_t(n) || !HexPair::decodeRun(line.cursor, out, n, m_sum))
            invalidByte();
        line.cursor += 2 * size_t(n);
    }
    // Decodes n bytes as one big-endian number, summed.
    uint32_t readBigEndian(Line &line, int n);

    // Room for n bytes at address: appended to the remembered section when that ends at
    // address, otherwise in a new section that becomes the remembered one. A remembered
    // section that is still empty moves to address instead, so address-only records cost no
    // memory. Bytes that would run past address 0xffffffff, or take the file's data beyond
    // 4 GB, are refused.
    uint8_t *sectionBytes(uint32_t address, uint32_t n)
    {
        if (address == m_lastEnd && m_lastSection && m_lastEnd + n <= uint64_t(0x100000000)
            && m_dataBytes + n <= 0xFFFFFFFFu) {
            m_lastEnd += n;
            m_dataBytes += n;
            return m_lastSection->append(n);
        }
        return placeBytes(address, n);
    }

    uint8_t m_sum = 0;
    uint32_t m_startAddress = 0;

    [[noreturn]] static void invalidByte();

private:
    // sectionBytes() for everything but data that continues the remembered section.
    uint8_t *placeBytes(uint32_t address, uint32_t n);
    // Closes the remembered section, appends a new empty one at address and remembers it.
    void newSection(uint32_t address);
    // Makes the sections of a text of size bytes grow in one arena when the text is large.
    void prepareArena(uint64_t size);
    // Hands the whole lines of [pos, end) to parseLine() and returns where the first line left
    // over begins. Unless final, a line is only cut with m_bufferSize characters in view, so
    // that it and the character after a carriage return are known.
    const char *parseLines(const char *pos, const char *end, bool final);
    // Called once the text has ended without an end record.
    void finishText();
    [[noreturn]] void rethrowWithLine(const common::HException &e) const;

    int m_bufferSize;
    LineEnd m_lineEnd;
    ExpandingLoadFileSection *m_lastSection = nullptr;
    // Where the remembered section ends, in 64 bits so that the top of the address space
    // is not taken for 0.
    uint64_t m_lastEnd = 0;
    std::shared_ptr<SectionArena> m_arena;
    uint64_t m_dataBytes = 0;
    int64_t m_lineNumber = 0;
    bool m_finished = false;
};

} // namespace zim::loadfile
