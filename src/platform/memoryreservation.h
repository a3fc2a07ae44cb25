// Reserving address space that is backed by memory only where it is touched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace zim::platform {

// The large-page size of x86-64 and arm64 Linux.
constexpr size_t largePageSize = size_t(2) << 20;

struct MemoryReservation
{
    void *mapping = nullptr;  // what releaseMemory gives back
    size_t mappingSize = 0;
    uint8_t *base = nullptr;  // the first usable byte; size bytes from here are usable
};

// Reserves size readable and writable bytes that do not count against the system's commit
// limit. With largePages the usable range starts on a large-page boundary and large pages are
// requested for it (only a request: without them the memory works the same, page by page).
// Empty when the system will not reserve that much or has no such reservations; the caller
// then uses the ordinary allocator.
std::optional<MemoryReservation> reserveMemory(size_t size, bool largePages);

void releaseMemory(const MemoryReservation &reservation);

} // namespace zim::platform
