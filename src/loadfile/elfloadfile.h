// ELF executables for the MSP430: the loadable segments of a linked 32-bit little-endian file.
#pragma once

#include "loadfile/loadfileinterface.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

namespace zim::loadfile {

class LoadFileInput;

// One section per PT_LOAD program header with bytes in the file, at its physical (load)
// address, cut down to the span its allocated sections occupy when the file has section
// headers, and named after the first of those sections.
// The entry point is the start address. The constructor reads and checks the headers and
// throws HException with a message naming the file when it is not a usable MSP430 executable;
// the segment bytes are read from the file when they are first used.
class ElfLoadFile : public LoadFileInterface
{
public:
    explicit ElfLoadFile(const QString &fileName);
    // The same reader over bytes already in memory; name stands for the file in messages.
    static std::unique_ptr<ElfLoadFile> fromBytes(const QByteArray &bytes, const QString &name);
    ~ElfLoadFile() override;

    bool hasStartAddress() const override { return true; }
    void setStartAddress(uint32_t address) override { m_startAddress = address; }
    uint32_t startAddress() const override { return m_startAddress; }
    bool hasAddresses() const override { return true; }
    void setLoadAddress(uint32_t) override {}
    bool readSections() override { return true; }

private:
    ElfLoadFile() = default;
    struct ElfSection
    {
        uint32_t offset;
        uint32_t size;
        QByteArray name;
    };

    void parse();
    // The allocated sections with bytes in the file; throws for a damaged section table.
    // header is the ELF header.
    std::vector<ElfSection> allocatedSections(const char *header);

    std::shared_ptr<LoadFileInput> m_input;
    uint32_t m_startAddress = 0;
};

} // namespace zim::loadfile
