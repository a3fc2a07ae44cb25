// Intel hex load files: records 00 to 05 with checksums.
#pragma once

#include "loadfile/textloadfile.h"

// Sections from data records; the start address from the last 03 or 05 record.
namespace zim::loadfile {

class IntelHexLoadFile : public TextLoadFile
{
public:
    // Reads and checks the whole file; throws HException "cannot open <name>" or a message
    // ending in " : line N".
    explicit IntelHexLoadFile(const QString &fileName);
    // The same reader over text already in memory.
    static std::unique_ptr<IntelHexLoadFile> fromText(const QByteArray &text);

    bool hasStartAddress() const override { return m_hasStartAddress; }

protected:
    bool parseLine(Line &line) override;
    void endOfText() override;

private:
    IntelHexLoadFile();

    // Bases set by the 02 and 04 records, in force until changed.
    uint32_t m_segmentBase = 0;
    uint32_t m_upperLinearBase = 0;
    bool m_hasStartAddress = false;
};

} // namespace zim::loadfile
