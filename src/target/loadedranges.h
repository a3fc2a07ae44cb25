// LoadedRanges: the union of the address ranges that several load files occupy, per memory
// space, so that what they loaded can be read back once, each byte once.
#pragma once

#include "loadfile/loadfilesection.h"
#include "target/addressrangeset.h"

#include <QByteArray>
#include <cstdint>
#include <map>
#include <optional>

namespace zim::loadfile {
class LoadFileInterface;
}

namespace zim::target {


class LoadedRanges
{
public:
    // Adds the ranges of the file's sections, primary ones to space 0 and secondary ones to
    // space 1, reading the sections first when needed (throws as LoadFileInterface::sections()).
    // The first start address added is kept.
    void add(loadfile::LoadFileInterface &file);
    // Adds one section's range; an empty section adds nothing, and a range is cut at the top of
    // the address space.
    void add(int space, const char *name, uint32_t address, uint32_t size);

    const AddressRangeSet &ranges(int space) const { return m_spaces[space ? 1 : 0].ranges; }
    // One section without bytes per range, in address order, named after the first added
    // section that starts where the range starts.
    loadfile::LoadFileSectionList sections(int space) const;

    bool hasStartAddress() const { return m_startAddress.has_value(); }
    uint32_t startAddress() const { return m_startAddress.value_or(0); }

private:
    struct Space
    {
        AddressRangeSet ranges;
        std::map<uint32_t, QByteArray> names; // by section start; the first added stays
    };

    Space m_spaces[2];
    std::optional<uint32_t> m_startAddress;
};

} // namespace zim::target
