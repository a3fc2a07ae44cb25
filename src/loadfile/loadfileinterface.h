// The load file: a reader's view of one file as lists of sections.
#pragma once

#include "loadfile/loadfilesection.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zim::tevo {
class TEVOModule;
}

// Abstract load file. Readers build the section lists either while they are constructed
// (the text formats) or on the first call of sections() (binary, TEVO). The load file owns
// its sections and every buffer they point into.
namespace zim::loadfile {

class LoadFileInterface
{
public:
    LoadFileInterface() = default;
    LoadFileInterface(const LoadFileInterface &) = delete;
    LoadFileInterface &operator=(const LoadFileInterface &) = delete;
    virtual ~LoadFileInterface();

    // Whether the file named an execution start address.
    virtual bool hasStartAddress() const = 0;
    virtual void setStartAddress(uint32_t address) = 0;
    virtual uint32_t startAddress() const = 0;
    // False when the bytes carry no addresses and need setLoadAddress().
    virtual bool hasAddresses() const = 0;
    // Places an address-less file; formats that carry addresses ignore it.
    virtual void setLoadAddress(uint32_t address) = 0;
    // The TEVO object model behind the file; null for every other format.
    virtual zim::tevo::TEVOModule *objectModule() { return nullptr; }
    // Builds the section lists; false when that is impossible.
    virtual bool readSections() = 0;

    // Both read the sections first when needed.
    // Replaces the primary sections by one section "Contiguous section" spanning the lowest
    // start to the highest end, gaps filled with fill; where sections overlap the later one in
    // the list wins. Throws HException when the span does not fit in 32 bits or in memory.
    void makeContiguous(uint8_t fill);
    // Sorts both lists by ascending start address.
    void sortSections();

    // The section store, reading the sections first when that has not been done yet.
    // Throws HException "cannot read sections from load file" when readSections() fails.
    LoadFileSections &sections();

    // Sum of the section sizes of each list (progress totals); reads the sections if needed.
    uint32_t primarySize();
    uint32_t secondarySize();

protected:
    LoadFileSections m_sections;
    bool m_sectionsRead = false;

private:
    // Buffers made by makeContiguous; kept for the life of the load file.
    std::vector<std::unique_ptr<uint8_t[]>> m_contiguousBuffers;
};

} // namespace zim::loadfile
