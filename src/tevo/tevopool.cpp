// Block allocation for the module pool.
#include "tevo/tevopool.h"

#include <algorithm>
#include <cstdint>

namespace zim::tevo {

namespace {
constexpr size_t firstBlockSize = 64 * 1024;
constexpr size_t largestBlockSize = 2 * platform::largePageSize;
}

TEVOPool::TEVOPool() : m_nextBlockSize(firstBlockSize) {}

TEVOPool::~TEVOPool()
{
    for (auto it = m_objects.rbegin(); it != m_objects.rend(); ++it) {
        if (*it)
            (*it)->~PoolObject();
    }
    for (const Block &block : m_blocks)
        platform::releaseMemory(block.reservation);
}

void TEVOPool::expect(size_t bytes)
{
    while (m_nextBlockSize < bytes && m_nextBlockSize < largestBlockSize)
        m_nextBlockSize *= 2;
}

uint8_t *TEVOPool::newBlock(size_t size)
{
    m_blocks.emplace_back();
    Block &block = m_blocks.back();
    // From a large page on, one fault brings in what would otherwise take 512: a module of
    // many small records fills megabytes of fresh memory, and faults dominate that cost.
    if (size >= platform::largePageSize) {
        if (const auto reservation = platform::reserveMemory(size, true)) {
            block.reservation = *reservation;
            m_footprint += size;
            return reservation->base;
        }
    }
    block.heap.reset(new uint8_t[size]);
    m_footprint += size;
    return block.heap.get();
}

void *TEVOPool::allocateInNewBlock(size_t size, size_t align)
{
    // Large requests (string pools) get a block of their own so the current block stays in use.
    if (size + align > m_nextBlockSize / 4) {
        uint8_t *block = newBlock(size + align);
        return reinterpret_cast<void *>((reinterpret_cast<uintptr_t>(block) + align - 1) & ~uintptr_t(align - 1));
    }
    m_next = newBlock(m_nextBlockSize);
    m_end = m_next + m_nextBlockSize;
    m_nextBlockSize = std::min(m_nextBlockSize * 2, largestBlockSize);
    const uintptr_t at = (reinterpret_cast<uintptr_t>(m_next) + align - 1) & ~uintptr_t(align - 1);
    m_next = reinterpret_cast<uint8_t *>(at + size);
    return reinterpret_cast<void *>(at);
}

} // namespace zim::tevo
