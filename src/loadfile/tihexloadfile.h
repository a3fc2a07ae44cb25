// TI text load files: '@' address lines, data lines and a closing 'q'.
#pragma once

#include "loadfile/textloadfile.h"

// Data lines continue at the current address, which '@' lines set.
namespace zim::loadfile {

class TIHexLoadFile : public TextLoadFile
{
public:
    // Reads and checks the whole file; throws HException "cannot open <name>" or a message
    // ending in " : line N".
    explicit TIHexLoadFile(const QString &fileName);
    // The same reader over text already in memory.
    static std::unique_ptr<TIHexLoadFile> fromText(const QByteArray &text);

protected:
    bool parseLine(Line &line) override;
    void endOfText() override;

private:
    TIHexLoadFile();

    // 64 bits, so that data running up to the top of the address space is told from data at 0.
    uint64_t m_address = 0;
};

} // namespace zim::loadfile
