// Allocator settings through glibc's mallopt, and large pages for the main heap.
#include "platform/heapsettings.h"

#include "platform/memoryreservation.h"

#include <QtGlobal>
#include <cstdint>
#include <cstdlib>

#if defined(Q_OS_LINUX) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace zim::platform {

#if defined(Q_OS_LINUX) && defined(__GLIBC__)

void prepareHeap()
{
    constexpr int mebibyte = 1 << 20;
    // The heap grows by at least this much at a time, and keeps up to twice as much free at its
    // top: the script engine's collections free and reuse memory in bursts of several MiB.
    constexpr int growth = 32 * mebibyte;
    // Blocks up to this size come from the heap rather than from a mapping of their own, which
    // would be faulted in afresh on every use (long strings built again and again).
    constexpr int ownMappingAbove = 8 * mebibyte;
    (void)mallopt(M_TRIM_THRESHOLD, 2 * growth);
    (void)mallopt(M_TOP_PAD, growth);
    (void)mallopt(M_MMAP_THRESHOLD, ownMappingAbove);
    // One block larger than what is free at the heap's top makes the heap grow now, by the step
    // above; once freed it stays there as the room the next allocations are taken from. Large
    // pages for that room: the kernel then backs it 2 MiB at a time.
    void *probe = std::malloc(mebibyte);
    if (!probe)
        return;
    const uintptr_t pageMask = uintptr_t(largePageSize) - 1;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(probe) + pageMask) & ~pageMask;
    const uintptr_t end = reinterpret_cast<uintptr_t>(::sbrk(0)) & ~pageMask;
    std::free(probe);
#ifdef MADV_HUGEPAGE
    if (end > begin)
        (void)::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

#else

void prepareHeap()
{
}

#endif

} // namespace zim::platform
