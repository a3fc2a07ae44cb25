// MemoryDescription: what planning a download needs to know of one memory interface, taken
// once so that plans are worked out from data alone.
#pragma once

#include "target/targetmemoryinterface.h"

#include <QList>
#include <cstdint>

// How a range erase clears memory. A memory that names an erase segment size clears whole
// segments of that many bytes, aligned to multiples of it, and is asked for at most one
// segment's worth of bytes per call; one without is asked for whole sections and clears the
// range asked for (the base eraseRange).
namespace zim::target {

struct SegmentLayout
{
    uint32_t segmentSize = 0; // 0: no segments

    // The range eraseRange(address, count) clears; count is at least 1.
    AddressRange clearedBy(uint32_t address, uint32_t count) const;

    bool operator==(const SegmentLayout &) const = default;
};

struct MemoryDescription
{
    bool erasable = false;
    // Block limits in bytes; -1 (or anything below 1) means no limit.
    int maxWriteBlock = -1;
    int maxFillBlock = -1;
    int maxVerifyBlock = -1;
    int maxReadBlock = -1;
    SegmentLayout segments;
    // Sections must lie inside one of these ranges; an empty map accepts everything.
    QList<AddressRange> memoryMap;

    static MemoryDescription of(const TargetMemoryInterface &memory);

    bool operator==(const MemoryDescription &) const = default;
};

} // namespace zim::target
