// The section classes of a load file.
#include "loadfile/loadfilesection.h"

#include "common/hexception.h"
#include "loadfile/sectionarena.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zim::loadfile {

StandardLoadFileSection::StandardLoadFileSection(const char *name, uint32_t address, uint32_t size,
                                                 const uint8_t *data)
    : m_name(name ? name : ""), m_address(address), m_size(size), m_data(data)
{
}

ExpandingLoadFileSection::ExpandingLoadFileSection(const char *name, uint32_t address)
    : StandardLoadFileSection(name, address, 0, nullptr)
{
}

ExpandingLoadFileSection::ExpandingLoadFileSection(const char *name, uint32_t address,
                                                   std::shared_ptr<SectionArena> arena)
    : StandardLoadFileSection(name, address, 0, nullptr), m_arena(std::move(arena))
{
    const auto [room, size] = m_arena->claimRest();
    m_buffer = room;
    m_capacity = size;
    m_data = m_buffer;
    m_claiming = true;
}

ExpandingLoadFileSection::~ExpandingLoadFileSection()
{
    if (!m_arena)
        std::free(m_buffer);
}

uint8_t *ExpandingLoadFileSection::appendElsewhere(uint32_t n)
{
    const size_t used = m_size;
    // Geometric growth keeps a section built record by record linear in time; realloc
    // lets the C library move large blocks by remapping them instead of copying.
    const size_t capacity = std::max(used + n, 2 * m_capacity);
    void *grown;
    if (m_arena) {
        // The arena is full or has moved on to a later section: the bytes move out of it.
        grown = std::malloc(capacity);
        if (grown && used)
            std::memcpy(grown, m_buffer, used);
    } else {
        grown = std::realloc(m_buffer, capacity);
    }
    if (!grown)
        throw common::HException(QStringLiteral("not enough memory for one section of %1 bytes").arg(used + n));
    if (m_arena && m_claiming)
        m_arena->giveBack(m_buffer);
    m_arena.reset();
    m_claiming = false;
    m_buffer = static_cast<uint8_t *>(grown);
    m_capacity = capacity;
    m_size += n;
    m_data = m_buffer;
    return m_buffer + used;
}

void ExpandingLoadFileSection::close()
{
    if (m_arena) {
        if (m_claiming)
            m_arena->giveBack(m_buffer + m_size);
        m_claiming = false;
        m_capacity = m_size;
    }
}

void ExpandingLoadFileSection::moveTo(uint32_t address)
{
    Q_ASSERT(m_size == 0);
    m_address = address;
}

UploadLoadFileSection::UploadLoadFileSection(const char *name, uint32_t address, uint32_t size)
    : StandardLoadFileSection(name, address, size, nullptr), m_buffer(new uint8_t[size]())
{
    m_data = m_buffer.get();
}

} // namespace zim::loadfile
