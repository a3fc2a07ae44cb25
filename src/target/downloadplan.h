// The programming plan of one memory space: which blocks are written or zero-filled, worked out
// from the sections and the memory's limits alone, so that it can be compared as data.
#pragma once

#include "loadfile/loadfilesection.h"

#include <cstdint>
#include <vector>

struct ProgramBlock
{
    uint32_t address;
    uint32_t count;
    const uint8_t *data; // nullptr: the block is filled with zeros
    bool last;           // the final written block of the space

    bool operator==(const ProgramBlock &) const = default;
};

struct SectionPlan
{
    const LoadFileSectionInterface *section;
    std::vector<ProgramBlock> blocks;
};

// Cuts size bytes into blocks of at most limit bytes; a limit of -1 (or any value below 1)
// means no limit. Returns the block lengths in order.
std::vector<uint32_t> cutBlocks(uint32_t size, int limit);

// Sections with bytes are cut by maxWriteBlock, sections without bytes by maxFillBlock; last is
// set on the block that completes the space's total.
std::vector<SectionPlan> planProgramming(const LoadFileSectionList &sections, int maxWriteBlock, int maxFillBlock);
