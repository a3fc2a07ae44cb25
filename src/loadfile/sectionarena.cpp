// Address-space reservations for the sections of large text load files.
#include "loadfile/sectionarena.h"

#include <sys/mman.h>

namespace zim::loadfile {

namespace {

// Large pages on x86-64 and arm64 Linux. A reservation this size or more is aligned to it and
// asks for large pages: one fault then brings in what would otherwise take 512, and faults
// dominate the cost of filling fresh memory, most of all in virtual machines.
constexpr size_t largePage = size_t(2) << 20;

} // namespace

std::shared_ptr<SectionArena> SectionArena::reserve(size_t capacity)
{
    if (capacity == 0 || capacity > SIZE_MAX / 2)
        return nullptr;
    const bool large = capacity >= largePage / 2;
    const size_t mappingSize = large ? capacity + largePage : capacity;
    // MAP_NORESERVE: the reservation is an upper bound that the data rarely reaches, so it
    // must not count against the system's commit limit.
    void *mapping = mmap(nullptr, mappingSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED)
        return nullptr;
    auto *base = static_cast<uint8_t *>(mapping);
    if (large) {
        base = reinterpret_cast<uint8_t *>((reinterpret_cast<uintptr_t>(base) + largePage - 1) & ~(largePage - 1));
#ifdef MADV_HUGEPAGE
        // Only a request: without large pages the arena works the same, page by page.
        (void)madvise(base, capacity, MADV_HUGEPAGE);
#endif
    }
    return std::shared_ptr<SectionArena>(new SectionArena(mapping, mappingSize, base, capacity));
}

SectionArena::SectionArena(void *mapping, size_t mappingSize, uint8_t *base, size_t capacity)
    : m_mapping(mapping), m_mappingSize(mappingSize), m_base(base), m_capacity(capacity)
{
}

SectionArena::~SectionArena()
{
    munmap(m_mapping, m_mappingSize);
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
