// The common ground of the text load-file readers: line input, hex decoding, the section rule
// and line numbers in messages.
#pragma once

#include "loadfile/loadfileinterface.h"

#include <QByteArray>
#include <QString>
#include <array>

namespace zim::common {
class HException;
}

namespace zim::loadfile {

class ExpandingLoadFileSection;

// Value of each character as a hex digit, or -1.
constexpr std::array<int8_t, 256> makeHexDigitTable()
{
    std::array<int8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = -1;
    for (int c = '0'; c <= '9'; ++c)
        table[c] = int8_t(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] = int8_t(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        table[c] = int8_t(c - 'a' + 10);
    return table;
}
inline constexpr std::array<int8_t, 256> hexDigitValue = makeHexDigitTable();

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
    // One line as read, line end included; the cursor moves as bytes are decoded.
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
    explicit TextLoadFile(int bufferSize) : m_bufferSize(bufferSize) {}

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
        const int high = hexDigitValue[uint8_t(line.cursor[0])];
        const int low = hexDigitValue[uint8_t(line.cursor[1])];
        if ((high | low) < 0)
            invalidByte();
        line.cursor += 2;
        return uint8_t(high << 4 | low);
    }
    // Decodes n bytes as one big-endian number, summed.
    uint32_t readBigEndian(Line &line, int n);

    // Room for n bytes at address: appended to the remembered section when that ends at
    // address, otherwise in a new section that becomes the remembered one. A remembered
    // section that is still empty moves to address instead, so address-only records cost no
    // memory. Bytes that would run past address 0xffffffff, or take the file's data beyond
    // 4 GB, are refused.
    uint8_t *sectionBytes(uint32_t address, uint32_t n);

    uint8_t m_sum = 0;
    uint32_t m_startAddress = 0;

private:
    [[noreturn]] static void invalidByte();
    // Appends a new empty section at address and remembers it.
    void newSection(uint32_t address);
    // Hands the whole lines of [pos, end) to parseLine() and returns where the first line left
    // over begins. Unless final, a line is only cut with m_bufferSize characters in view, so
    // that it and the character after a carriage return are known.
    const char *parseLines(const char *pos, const char *end, bool final);
    // Called once the text has ended without an end record.
    void finishText();
    [[noreturn]] void rethrowWithLine(const common::HException &e) const;

    int m_bufferSize;
    ExpandingLoadFileSection *m_lastSection = nullptr;
    uint64_t m_dataBytes = 0;
    int64_t m_lineNumber = 0;
    bool m_finished = false;
};

} // namespace zim::loadfile
