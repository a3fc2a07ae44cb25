// Intel hex load files.
#include "loadfile/intelhexloadfile.h"

#include "common/hexception.h"

// A record is at most 1 + 2 * (4 + 255 + 1) characters; the buffer leaves room for more.
namespace zim::loadfile {

static constexpr int lineBufferSize = 530;

IntelHexLoadFile::IntelHexLoadFile() : TextLoadFile(lineBufferSize, LineEnd::AfterRecord) {}

IntelHexLoadFile::IntelHexLoadFile(const QString &fileName) : IntelHexLoadFile()
{
    readFile(fileName);
}

std::unique_ptr<IntelHexLoadFile> IntelHexLoadFile::fromText(const QByteArray &text)
{
    std::unique_ptr<IntelHexLoadFile> file(new IntelHexLoadFile);
    file->readText(text);
    return file;
}

bool IntelHexLoadFile::parseLine(Line &line)
{
    if (line.peek() != ':')
        throw common::HException("missing record mark in hex file");
    ++line.cursor;
    m_sum = 0;
    // Byte count, address high and low, record type.
    uint8_t header[4];
    readHexBytes(line, header, 4);
    const uint8_t count = header[0];
    const uint32_t offset = uint32_t(header[1]) << 8 | header[2];
    const uint8_t type = header[3];
    bool finished = false;
    switch (type) {
    case 0x00: {
        const uint32_t address = ((m_upperLinearBase << 16) | offset) + (m_segmentBase << 4);
        readHexBytes(line, sectionBytes(address, count), count);
        break;
    }
    case 0x01:
        finished = true;
        break;
    case 0x02:
        m_segmentBase = readBigEndian(line, 2);
        break;
    case 0x03:
    case 0x05:
        // 03 keeps segment and offset as one value, as the loader passes it on unchanged.
        m_startAddress = readBigEndian(line, 4);
        m_hasStartAddress = true;
        break;
    case 0x04:
        m_upperLinearBase = readBigEndian(line, 2);
        break;
    default:
        break;
    }
    const uint8_t checksum = readHexByteUnsummed(line);
    if (uint8_t(m_sum + checksum) != 0)
        throw common::HException("invalid checksum");
    return !finished;
}

void IntelHexLoadFile::endOfText()
{
    throw common::HException("invalid end of file in hex file");
}

} // namespace zim::loadfile
