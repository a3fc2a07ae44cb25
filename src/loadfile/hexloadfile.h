// Hex listing load files: an eight-digit address and blank-separated bytes per line.
#pragma once

#include "loadfile/textloadfile.h"

// No checksums, no end record, no start address.
namespace zim::loadfile {

class HexLoadFile : public TextLoadFile
{
public:
    // Reads and checks the whole file; throws HException "cannot open <name>" or a message
    // ending in " : line N".
    explicit HexLoadFile(const QString &fileName);
    // The same reader over text already in memory.
    static std::unique_ptr<HexLoadFile> fromText(const QByteArray &text);

protected:
    bool parseLine(Line &line) override;

private:
    HexLoadFile();
};

} // namespace zim::loadfile
