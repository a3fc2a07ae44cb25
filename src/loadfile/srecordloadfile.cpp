// Motorola S-record load files.
#include "loadfile/srecordloadfile.h"

#include "common/hexception.h"

// A record is at most 2 + 2 * 256 characters; the buffer leaves room for more.
namespace zim::loadfile {

static constexpr int lineBufferSize = 530;

SRecordLoadFile::SRecordLoadFile() : TextLoadFile(lineBufferSize) {}

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
    if (line.cursor < line.end)
        ++line.cursor;
    m_sum = 0;
    const int count = readHexByte(line);
    switch (type) {
    case '0':
        for (int i = 1; i < count; ++i)
            readHexByte(line);
        break;
    case '1':
    case '2':
    case '3': {
        const int addressLength = type - '0' + 1;
        m_address = readBigEndian(line, addressLength);
        const int length = count - 1 - addressLength;
        if (length < 0)
            throw common::HException(QStringLiteral("byte count %1 too small for an S%2 record").arg(count).arg(QChar(type)));
        uint8_t *bytes = sectionBytes(m_address, uint32_t(length));
        for (int i = 0; i < length; ++i)
            bytes[i] = readHexByte(line);
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
