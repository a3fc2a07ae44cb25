// The programming plan of one memory space.
#include "target/downloadplan.h"

std::vector<uint32_t> cutBlocks(uint32_t size, int limit)
{
    std::vector<uint32_t> blocks;
    if (size == 0)
        return blocks;
    if (limit <= 0) {
        blocks.push_back(size);
        return blocks;
    }
    const uint32_t step = uint32_t(limit);
    blocks.reserve(size / step + 1);
    for (uint32_t left = size; left != 0;) {
        const uint32_t k = left < step ? left : step;
        blocks.push_back(k);
        left -= k;
    }
    return blocks;
}

std::vector<SectionPlan> planProgramming(const LoadFileSectionList &sections, int maxWriteBlock, int maxFillBlock)
{
    uint64_t total = 0;
    for (const auto &section : sections)
        total += section->size();

    std::vector<SectionPlan> plan;
    plan.reserve(sections.size());
    uint64_t done = 0;
    for (const auto &section : sections) {
        SectionPlan step{section.get(), {}};
        const uint8_t *data = section->data();
        uint32_t address = section->address();
        for (uint32_t k : cutBlocks(section->size(), data ? maxWriteBlock : maxFillBlock)) {
            done += k;
            step.blocks.push_back({address, k, data, data != nullptr && done == total});
            address += k;
            if (data)
                data += k;
        }
        plan.push_back(std::move(step));
    }
    return plan;
}
