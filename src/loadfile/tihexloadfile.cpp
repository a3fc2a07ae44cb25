// TI text load files.
#include "loadfile/tihexloadfile.h"

#include "common/hexception.h"

namespace zim::loadfile {

static constexpr int lineBufferSize = 64;

TIHexLoadFile::TIHexLoadFile() : TextLoadFile(lineBufferSize, LineEnd::Known) {}

TIHexLoadFile::TIHexLoadFile(const QString &fileName) : TIHexLoadFile()
{
    readFile(fileName);
}

std::unique_ptr<TIHexLoadFile> TIHexLoadFile::fromText(const QByteArray &text)
{
    std::unique_ptr<TIHexLoadFile> file(new TIHexLoadFile);
    file->readText(text);
    return file;
}

bool TIHexLoadFile::parseLine(Line &line)
{
    switch (line.peek()) {
    case '@':
        ++line.cursor;
        m_address = 0;
        // Whole bytes up to the first blank or control character: an odd digit count fails.
        while (uint8_t(line.peek()) > ' ') {
            m_address = m_address << 8 | readHexByte(line);
            if (m_address > 0xFFFFFFFFu)
                throw common::HException("address beyond the 32-bit address space");
        }
        return true;
    case 'q':
        return false;
    default: {
        // Cells of two digits and one separator of any kind; the last cell's separator is the
        // line end, which may be missing on the last line.
        const int count = (line.length() + 1) / 3;
        // Data does not wrap around to address 0 after the top of the address space.
        if (m_address + uint64_t(count) > uint64_t(0x100000000))
            throw common::HException("data runs past the end of the 32-bit address space");
        if (m_address > 0xFFFFFFFFu)
            return true; // an empty line right after data that reached the top
        // (L + 1) / 3 cells leave both digits of the last one inside the line.
        if (!HexPair::decodeCells(line.begin, 3, sectionBytes(uint32_t(m_address), uint32_t(count)), size_t(count)))
            invalidByte();
        m_address += uint64_t(count);
        return true;
    }
    }
}

void TIHexLoadFile::endOfText()
{
    throw common::HException("unexpected end of file");
}

} // namespace zim::loadfile
