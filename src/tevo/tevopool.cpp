// Block allocation for the module pool.
#include "tevo/tevopool.h"

#include <cstdint>

namespace zim::tevo {

namespace {
constexpr size_t blockSize = 64 * 1024;
}

TEVOPool::~TEVOPool()
{
    for (auto it = m_objects.rbegin(); it != m_objects.rend(); ++it) {
        if (*it)
            (*it)->~PoolObject();
    }
}

void *TEVOPool::allocate(size_t size, size_t align)
{
    uintptr_t at = (reinterpret_cast<uintptr_t>(m_next) + align - 1) & ~uintptr_t(align - 1);
    if (m_next && at + size <= reinterpret_cast<uintptr_t>(m_end)) {
        m_next = reinterpret_cast<uint8_t *>(at + size);
        return reinterpret_cast<void *>(at);
    }
    // Large requests (string pools) get a block of their own so the current block stays in use.
    if (size + align > blockSize / 4) {
        std::unique_ptr<uint8_t[]> block(new uint8_t[size + align]);
        uintptr_t start = (reinterpret_cast<uintptr_t>(block.get()) + align - 1) & ~uintptr_t(align - 1);
        m_footprint += size + align;
        m_blocks.push_back(std::move(block));
        return reinterpret_cast<void *>(start);
    }
    std::unique_ptr<uint8_t[]> block(new uint8_t[blockSize]);
    m_next = block.get();
    m_end = block.get() + blockSize;
    m_footprint += blockSize;
    m_blocks.push_back(std::move(block));
    at = (reinterpret_cast<uintptr_t>(m_next) + align - 1) & ~uintptr_t(align - 1);
    m_next = reinterpret_cast<uint8_t *>(at + size);
    return reinterpret_cast<void *>(at);
}

} // namespace zim::tevo
