// The ranges -upload reads back.
#include "loader/uploadplan.h"

#include "loadfile/loadfileinterface.h"
#include "target/uploadedloadfile.h"

void UploadPlan::add(LoadFileInterface &file)
{
    LoadFileSections &sections = file.sections();
    const LoadFileSectionList *lists[2] = {&sections.primarySections, &sections.secondarySections};
    for (int space = 0; space < 2; ++space)
        for (const auto &section : *lists[space])
            if (section->size())
                addRange(space, section->address(), uint64_t(section->address()) + section->size());
    if (!m_hasStartAddress && file.hasStartAddress()) {
        m_hasStartAddress = true;
        m_startAddress = file.startAddress();
    }
}

void UploadPlan::addRange(int space, uint64_t start, uint64_t end)
{
    std::map<uint64_t, uint64_t> &ranges = m_ranges[space];
    // Swallow every range that overlaps or touches [start, end), widening it as needed.
    auto it = ranges.upper_bound(start);
    if (it != ranges.begin() && std::prev(it)->second >= start)
        --it;
    while (it != ranges.end() && it->first <= end) {
        start = std::min(start, it->first);
        end = std::max(end, it->second);
        it = ranges.erase(it);
    }
    ranges.emplace(start, end);
}

std::unique_ptr<LoadFileInterface> UploadPlan::layout() const
{
    auto file = std::make_unique<UploadedLoadFile>();
    // A section's size is 32 bits: a union spanning the whole address space is read in halves.
    constexpr uint64_t largestSection = 0x80000000u;
    for (int space = 0; space < 2; ++space) {
        for (const auto &[start, end] : m_ranges[space]) {
            for (uint64_t at = start; at < end; at += largestSection) {
                const uint64_t size = std::min(end - at, largestSection);
                file->appendSection(space, std::make_unique<UploadLoadFileSection>("", uint32_t(at), uint32_t(size)));
            }
        }
    }
    if (m_hasStartAddress)
        file->setStartAddress(m_startAddress);
    return file;
}
