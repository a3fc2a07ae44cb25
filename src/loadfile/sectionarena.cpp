// Address-space reservations for the sections of large text load files.
#include "loadfile/sectionarena.h"

#include "platform/memoryreservation.h"

namespace zim::loadfile {

std::shared_ptr<SectionArena> SectionArena::reserve(size_t capacity)
{
    if (capacity == 0 || capacity > SIZE_MAX / 2)
        return nullptr;
    // A reservation of half a large page or more asks for large pages: one fault then brings in
    // what would otherwise take 512, and faults dominate the cost of filling fresh memory, most
    // of all in virtual machines.
    const std::optional<platform::MemoryReservation> reservation
        = platform::reserveMemory(capacity, capacity >= platform::largePageSize / 2);
    if (!reservation)
        return nullptr;
    return std::shared_ptr<SectionArena>(new SectionArena(*reservation, capacity));
}

SectionArena::SectionArena(const platform::MemoryReservation &reservation, size_t capacity)
    : m_reservation(reservation), m_base(reservation.base), m_capacity(capacity)
{
}

SectionArena::~SectionArena()
{
    platform::releaseMemory(m_reservation);
}

std::pair<uint8_t *, size_t> SectionArena::claimRest()
{
    const size_t used = m_used;
    m_used = m_capacity;
    return {m_base + used, m_capacity - used};
}

void SectionArena::giveBack(uint8_t *from)
{
    m_used = size_t(from - m_base);
}

} // namespace zim::loadfile
