// What planning needs of a memory interface, and where its range erases clear.
#include "target/memorydescription.h"

#include <algorithm>

namespace zim::target {

AddressRange SegmentLayout::clearedBy(uint32_t address, uint32_t count) const
{
    const uint64_t end = uint64_t(address) + std::max<uint32_t>(count, 1) - 1;
    if (segmentSize == 0)
        return {address, uint32_t(std::min<uint64_t>(end, UINT32_MAX))};
    const uint64_t first = address - address % segmentSize;
    const uint64_t last = end - end % segmentSize + segmentSize - 1;
    return {uint32_t(first), uint32_t(std::min<uint64_t>(last, UINT32_MAX))};
}

MemoryDescription MemoryDescription::of(const TargetMemoryInterface &memory)
{
    MemoryDescription description;
    description.erasable = memory.isErasable();
    description.maxWriteBlock = memory.maxWriteBlock();
    description.maxFillBlock = memory.maxFillBlock();
    description.maxVerifyBlock = memory.maxVerifyBlock();
    description.maxReadBlock = memory.maxReadBlock();
    if (const int segmentSize = memory.eraseSegmentSize(); segmentSize > 0)
        description.segments.segmentSize = uint32_t(segmentSize);
    description.memoryMap = memory.memoryMap();
    return description;
}

} // namespace zim::target
