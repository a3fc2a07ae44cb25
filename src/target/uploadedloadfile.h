// A load file made of sections read back from a target, for writing to a file.
#pragma once

#include "loadfile/loadfileinterface.h"

namespace zim::target {

class UploadedLoadFile : public loadfile::LoadFileInterface
{
public:
    UploadedLoadFile();

    bool hasStartAddress() const override { return m_hasStartAddress; }
    void setStartAddress(uint32_t address) override;
    uint32_t startAddress() const override { return m_startAddress; }
    bool hasAddresses() const override { return true; }
    // The sections carry their own addresses.
    void setLoadAddress(uint32_t) override {}
    bool readSections() override { return true; }

    // Memory space 0 or 1; the load file takes ownership.
    void appendSection(int space, std::unique_ptr<loadfile::LoadFileSectionInterface> section);
    // Moves every section of other, space by space, to the end of this file's lists; takes
    // other's start address when this file has none.
    void takeSections(loadfile::LoadFileInterface &other);

private:
    bool m_hasStartAddress = false;
    uint32_t m_startAddress = 0;
};

} // namespace zim::target
