// The allocation pool of one TEVO module: every object read from a stream lives here until the
// module is destroyed.
#pragma once

#include "platform/memoryreservation.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace zim::tevo {

// Base of everything a pool holds; the pool destroys its objects through this destructor.
// Classes that own nothing beyond the pool (only pointers and numbers) declare
// ownsNothing = true and are never destroyed one by one: their memory goes with the pool.
class PoolObject
{
public:
    static constexpr bool ownsNothing = false;
    virtual ~PoolObject() = default;
};

// A bump allocator in blocks. Objects are never freed one by one: destroying the pool destroys
// them all, newest first. Blocks double from 64 KB up to 4 MB, so a module of any size takes a
// few dozen of them; blocks of a large page or more are reserved in large pages where the
// system has them. Allocation failure throws std::bad_alloc.
class TEVOPool
{
public:
    TEVOPool();
    TEVOPool(const TEVOPool &) = delete;
    TEVOPool &operator=(const TEVOPool &) = delete;
    ~TEVOPool();

    template <class T, class... Args>
    T *make(Args &&...args)
    {
        static_assert(alignof(T) <= alignof(std::max_align_t));
        if constexpr (T::ownsNothing) {
            return new (allocate(sizeof(T), alignof(T))) T(std::forward<Args>(args)...);
        } else {
            m_objects.push_back(nullptr);
            T *object = new (allocate(sizeof(T), alignof(T))) T(std::forward<Args>(args)...);
            m_objects.back() = object;
            return object;
        }
    }

    // An object that owns nothing, with `tail` bytes of its own right after it.
    template <class T, class... Args>
    T *makeWithTail(size_t tail, Args &&...args)
    {
        static_assert(T::ownsNothing && alignof(T) <= alignof(std::max_align_t));
        return new (allocate(sizeof(T) + tail, alignof(T))) T(std::forward<Args>(args)...);
    }

    // Lengthens the newest allocation, which ends at `end`, by n bytes in place. False when
    // something was allocated after it or its block has no room; nothing changes then.
    Q_ALWAYS_INLINE bool extend(const void *end, size_t n)
    {
        if (end != m_next || size_t(m_end - m_next) < n)
            return false;
        m_next += n;
        return true;
    }

    // How many bytes extend(end, n) can add after the newest allocation, which ends at `end`;
    // 0 when something was allocated after it.
    size_t roomAfter(const void *end) const { return end == m_next ? size_t(m_end - m_next) : 0; }

    // n raw bytes that live as long as the pool.
    uint8_t *allocateBytes(size_t n) { return static_cast<uint8_t *>(allocate(n ? n : 1, 1)); }

    // The module will take about `bytes`: the next block is made that large (within the block
    // limits), so that a large module starts in large pages instead of growing into them.
    void expect(size_t bytes);

    // Bytes taken from the system so far.
    size_t footprint() const { return m_footprint; }

private:
    // A block reserved from the system, or taken with new[] where it has no reservations.
    struct Block
    {
        platform::MemoryReservation reservation;
        std::unique_ptr<uint8_t[]> heap;
    };

    Q_ALWAYS_INLINE void *allocate(size_t size, size_t align)
    {
        const uintptr_t at = (reinterpret_cast<uintptr_t>(m_next) + align - 1) & ~uintptr_t(align - 1);
        if (m_next && at + size <= reinterpret_cast<uintptr_t>(m_end)) {
            m_next = reinterpret_cast<uint8_t *>(at + size);
            return reinterpret_cast<void *>(at);
        }
        return allocateInNewBlock(size, align);
    }
    void *allocateInNewBlock(size_t size, size_t align);
    // A fresh block of at least size bytes; its start.
    uint8_t *newBlock(size_t size);

    std::vector<Block> m_blocks;
    size_t m_nextBlockSize;
    uint8_t *m_next = nullptr;
    uint8_t *m_end = nullptr;
    size_t m_footprint = 0;
    std::vector<PoolObject *> m_objects;
};

} // namespace zim::tevo
