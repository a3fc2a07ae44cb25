// Motorola S-record load files: S0 to S9 records with checksums and the S5 count.
#pragma once

#include "loadfile/textloadfile.h"

// startAddress() gives the last S7, S8 or S9 address, but hasStartAddress() stays false.
namespace zim::loadfile {

class SRecordLoadFile : public TextLoadFile
{
public:
    // Reads and checks the whole file; throws HException "cannot open <name>" or a message
    // ending in " : line N".
    explicit SRecordLoadFile(const QString &fileName);
    // The same reader over text already in memory.
    static std::unique_ptr<SRecordLoadFile> fromText(const QByteArray &text);

protected:
    bool parseLine(Line &line) override;

private:
    SRecordLoadFile();

    uint32_t m_address = 0;
    uint32_t m_dataRecords = 0;
};

} // namespace zim::loadfile
