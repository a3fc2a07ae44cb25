// SectionArena: one reservation of address space in which the sections of a large text load
// file grow one after another, so that a growing section is never copied and its memory can
// come in large pages.
#pragma once

#include "platform/memoryreservation.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

// The text readers grow one section at a time, at the end of the data read so far, so the
// sections of one file can lie back to back: the growing section claims all the room that is
// left and gives back what it did not use when the next one starts. The reservation takes
// address space only; memory is taken page by page as bytes are written. Sections hold the
// arena through a shared pointer, so it lives as long as the last of them.
namespace zim::loadfile {

class SectionArena
{
public:
    // An arena for capacity bytes, or null when the system will not reserve that much.
    static std::shared_ptr<SectionArena> reserve(size_t capacity);

    SectionArena(const SectionArena &) = delete;
    SectionArena &operator=(const SectionArena &) = delete;
    ~SectionArena();

    // All the room after the last block given back: its start and size (0 when there is none).
    // The caller owns it until it calls giveBack().
    std::pair<uint8_t *, size_t> claimRest();
    // Ends the latest claim: the room from `from` on is free again for the next claim.
    void giveBack(uint8_t *from);

private:
    SectionArena(const platform::MemoryReservation &reservation, size_t capacity);

    platform::MemoryReservation m_reservation;
    uint8_t *m_base;
    size_t m_capacity;
    size_t m_used = 0;
};

} // namespace zim::loadfile
