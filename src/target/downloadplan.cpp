// The planner of downloads, verifies and read-backs, and the check that sections fit the map.
#include "target/downloadplan.h"

#include "common/hexception.h"
#include "target/addressrangeset.h"

#include <algorithm>

namespace zim::target {

namespace {

// The next block of remaining bytes under a limit (below 1: no limit).
uint32_t blockLength(uint64_t remaining, int64_t limit)
{
    if (limit <= 0)
        return uint32_t(remaining);
    return uint32_t(std::min<uint64_t>(remaining, uint64_t(limit)));
}

// The section's bytes cut into blocks of at most limit bytes.
SectionBlocks cutSection(const loadfile::LoadFileSectionInterface &section, size_t index, int limit)
{
    SectionBlocks steps{index, section.data() == nullptr, {}};
    const uint32_t size = section.size();
    for (uint32_t offset = 0; offset < size;) {
        const uint32_t k = blockLength(size - offset, limit);
        steps.blocks.push_back({section.address() + offset, k, offset, false});
        offset += k;
    }
    return steps;
}

std::vector<EraseStep> planSegmentErase(const loadfile::LoadFileSectionList &sections, const SegmentLayout &layout)
{
    std::vector<EraseStep> steps;
    AddressRangeSet cleared;
    for (const auto &section : sections) {
        uint32_t address = section->address();
        uint32_t remaining = section->size();
        while (remaining != 0) {
            uint32_t k;
            if (const auto held = cleared.find(address)) {
                k = blockLength(remaining, int64_t(held->last) - address + 1);
                steps.push_back({address, k, false, *held});
            } else {
                k = blockLength(remaining, layout.segmentSize);
                const AddressRange range = layout.clearedBy(address, k);
                cleared.add(range);
                steps.push_back({address, k, true, range});
            }
            address += k;
            remaining -= k;
        }
    }
    return steps;
}

SpacePlan planSpace(const PlanSpace &space, const DownloadOptions &options)
{
    const loadfile::LoadFileSectionList &sections = *space.sections;
    const MemoryDescription &memory = space.memory;
    SpacePlan plan;
    plan.space = space.space;
    for (const auto &section : sections)
        plan.total += section->size();

    if (options.program) {
        if (memory.erasable && plan.total != 0) {
            if (options.eraseAll) {
                plan.erase = EraseMode::Whole;
            } else {
                plan.erase = EraseMode::Segments;
                plan.eraseSteps = planSegmentErase(sections, memory.segments);
            }
        }
        uint32_t done = 0;
        for (size_t i = 0; i < sections.size(); ++i) {
            const loadfile::LoadFileSectionInterface &section = *sections[i];
            SectionBlocks steps = cutSection(section, i, section.data() ? memory.maxWriteBlock : memory.maxFillBlock);
            for (PlanBlock &block : steps.blocks) {
                done += block.count;
                block.last = !steps.zeroFill && done == plan.total;
            }
            plan.program.push_back(std::move(steps));
        }
    }
    if (options.verify) {
        for (size_t i = 0; i < sections.size(); ++i)
            plan.verify.push_back(cutSection(*sections[i], i, memory.maxVerifyBlock));
    }
    if (options.readBack) {
        for (size_t i = 0; i < sections.size(); ++i) {
            SectionBlocks steps = cutSection(*sections[i], i, memory.maxReadBlock);
            // Reading back fills a buffer whatever the section held.
            steps.zeroFill = false;
            plan.readBack.push_back(std::move(steps));
        }
    }
    return plan;
}

} // namespace

DownloadPlan planDownload(const std::vector<PlanSpace> &spaces, const DownloadOptions &options)
{
    DownloadPlan plan{options, {}};
    plan.spaces.reserve(spaces.size());
    for (const PlanSpace &space : spaces)
        plan.spaces.push_back(planSpace(space, options));
    return plan;
}

void checkSpacesFit(const std::vector<PlanSpace> &spaces)
{
    for (const PlanSpace &space : spaces) {
        const QList<AddressRange> &map = space.memory.memoryMap;
        if (map.isEmpty())
            continue;
        for (const auto &section : *space.sections) {
            // An empty section places nothing, so it cannot lie outside the map.
            if (section->size() == 0)
                continue;
            const uint32_t first = section->address();
            const uint32_t last = first + section->size() - 1;
            const bool fits = first <= last && std::any_of(map.begin(), map.end(), [&](const AddressRange &range) {
                                  return range.contains(first) && range.contains(last);
                              });
            if (!fits)
                throw common::HException(QString::asprintf(
                    "The 0x%08X - 0x%08X load section does not fit the target description.", first, last));
        }
    }
}

} // namespace zim::target
