// Motorola S-record load files.
#include "loadfile/srecordloadfile.h"

#include "common/hexception.h"

// A record is at most 2 + 2 * 256 characters; the buffer leaves room for more.
namespace zim::loadfile {

static constexpr int lineBufferSize = 530;

SRecordLoadFile::SRecordLoadFile() : TextLoadFile(lineBufferSize, LineEnd::AfterRecord) {}

SRecordLoadFile::SRecordLoadFile(const QString &fileName) : SRecordLoadFile()
{
    readFile(fileName);
}

std::unique_ptr<SRecordLoadFile> SRecordLoadFile::fromText(const QByteArray &text)
{
    std::unique_ptr<SRecordLoadFile> file(new SRecordLoadFile);
    file->readText(text);
    return file;
}

bool SRecordLoadFile::parseLine(Line &line)
{
    if (line.peek() != 'S')
        throw common::HException("no leading 'S' character");
    ++line.cursor;
    const char type = line.peek();
    // A line end in place of the type is left for the byte count to fail on.
    if (line.cursor < line.end && type != '\n' && type != '\r')
        ++line.cursor;
    m_sum = 0;
    const int count = readHexByte(line);
    switch (type) {
    case '0': {
        uint8_t header[255];
        if (count > 1)
            readHexBytes(line, header, uint32_t(count - 1));
        break;
    }
    case '1':
    case '2':
    case '3': {
        const int addressLength = type - '0' + 1;
        m_address = readBigEndian(line, addressLength);
        const int length = count - 1 - addressLength;
        if (length < 0)
            throw common::HException(QStringLiteral("byte count %1 too small for an S%2 record").arg(count).arg(QChar(type)));
        readHexBytes(line, sectionBytes(m_address, uint32_t(length)), uint32_t(length));
        m_address += uint32_t(length);
        ++m_dataRecords;
        break;
    }
    case '5':
        if (readBigEndian(line, 2) != (m_dataRecords & 0xFFFF))
            throw common::HException("incorrect data record count");
        break;
    case '7':
    case '8':
    case '9':
        m_startAddress = readBigEndian(line, '9' - type + 2);
        break;
    default:
        // S4, S6 and anything that is not a digit carry nothing this reader uses.
        break;
    }
    const uint8_t checksum = readHexByteUnsummed(line);
    if (checksum != uint8_t(~m_sum))
        throw common::HException("invalid checksum");
    return true;
}

} // namespace zim::loadfile
