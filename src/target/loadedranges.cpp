// The union of the ranges several load files occupy.
#include "target/loadedranges.h"

#include "loadfile/loadfileinterface.h"

#include <algorithm>

namespace zim::target {

void LoadedRanges::add(loadfile::LoadFileInterface &file)
{
    loadfile::LoadFileSections &sections = file.sections();
    for (const auto &section : sections.primarySections)
        add(0, section->name(), section->address(), section->size());
    for (const auto &section : sections.secondarySections)
        add(1, section->name(), section->address(), section->size());
    if (!m_startAddress && file.hasStartAddress())
        m_startAddress = file.startAddress();
}

void LoadedRanges::add(int space, const char *name, uint32_t address, uint32_t size)
{
    if (size == 0)
        return;
    Space &to = m_spaces[space ? 1 : 0];
    const uint64_t last = std::min<uint64_t>(uint64_t(address) + size - 1, UINT32_MAX);
    to.ranges.add({address, uint32_t(last)});
    to.names.try_emplace(address, QByteArray(name ? name : ""));
}

loadfile::LoadFileSectionList LoadedRanges::sections(int space) const
{
    const Space &from = m_spaces[space ? 1 : 0];
    loadfile::LoadFileSectionList list;
    for (const AddressRange &range : from.ranges.ranges()) {
        // A merged range starts where its lowest section starts, so that section names it.
        const auto name = from.names.find(range.first);
        const uint64_t size = uint64_t(range.last) - range.first + 1;
        // A range over the whole 4 GB space cannot be one section; its size saturates.
        list.push_back(std::make_unique<loadfile::StandardLoadFileSection>(
            name == from.names.end() ? "" : name->second.constData(), range.first,
            uint32_t(std::min<uint64_t>(size, UINT32_MAX)), nullptr));
    }
    return list;
}

} // namespace zim::target
