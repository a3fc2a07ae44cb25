// Hex listing load files.
#include "loadfile/hexloadfile.h"

#include "common/hexception.h"

namespace zim::loadfile {

static constexpr int lineBufferSize = 64;

HexLoadFile::HexLoadFile() : TextLoadFile(lineBufferSize, LineEnd::Known) {}

HexLoadFile::HexLoadFile(const QString &fileName) : HexLoadFile()
{
    readFile(fileName);
}

std::unique_ptr<HexLoadFile> HexLoadFile::fromText(const QByteArray &text)
{
    std::unique_ptr<HexLoadFile> file(new HexLoadFile);
    file->readText(text);
    return file;
}

bool HexLoadFile::parseLine(Line &line)
{
    const int length = line.length();
    if (length < 8)
        throw common::HException("invalid address");
    const uint32_t address = readBigEndian(line, 4);
    // Three characters a byte; the line end does not make up a byte of its own.
    const int count = (length - 8) / 3;
    uint8_t *bytes = sectionBytes(address, uint32_t(count));
    for (int i = 0; i < count; ++i) {
        if (line.peek() != ' ')
            throw common::HException("invalid seperator");
        ++line.cursor;
        bytes[i] = readHexByte(line);
    }
    return true;
}

} // namespace zim::loadfile
