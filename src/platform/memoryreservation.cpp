// Address-space reservations through the system's memory mappings.
#include "platform/memoryreservation.h"

#include <QtGlobal>

#if defined(Q_OS_UNIX)
#include <sys/mman.h>
#endif

namespace zim::platform {

#if defined(Q_OS_UNIX)

std::optional<MemoryReservation> reserveMemory(size_t size, bool largePages)
{
    if (size == 0 || size > SIZE_MAX - largePageSize)
        return std::nullopt;
    MemoryReservation reservation;
    reservation.mappingSize = largePages ? size + largePageSize : size;
    // MAP_NORESERVE: a reservation is an upper bound that the data rarely reach.
    void *mapping = ::mmap(nullptr, reservation.mappingSize, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED)
        return std::nullopt;
    reservation.mapping = mapping;
    reservation.base = static_cast<uint8_t *>(mapping);
    if (largePages) {
        reservation.base = reinterpret_cast<uint8_t *>((reinterpret_cast<uintptr_t>(reservation.base) + largePageSize - 1)
                                                       & ~(largePageSize - 1));
#ifdef MADV_HUGEPAGE
        (void)::madvise(reservation.base, size, MADV_HUGEPAGE);
#endif
    }
    return reservation;
}

void releaseMemory(const MemoryReservation &reservation)
{
    if (reservation.mapping)
        ::munmap(reservation.mapping, reservation.mappingSize);
}

#else

std::optional<MemoryReservation> reserveMemory(size_t, bool)
{
    return std::nullopt;
}

void releaseMemory(const MemoryReservation &)
{
}

#endif

} // namespace zim::platform
