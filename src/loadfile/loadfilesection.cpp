// The section classes of a load file.
#include "loadfile/loadfilesection.h"

#include "common/hexception.h"

#include <algorithm>
#include <cstdlib>

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

ExpandingLoadFileSection::~ExpandingLoadFileSection()
{
    std::free(m_buffer);
}

uint8_t *ExpandingLoadFileSection::append(uint32_t n)
{
    const size_t used = m_size;
    if (used + n > m_capacity) {
        // Geometric growth keeps a section built record by record linear in time; realloc
        // lets the C library move large blocks by remapping them instead of copying.
        const size_t capacity = std::max(used + n, 2 * m_capacity);
        void *grown = std::realloc(m_buffer, capacity);
        if (!grown)
            throw common::HException(QStringLiteral("not enough memory for one section of %1 bytes").arg(used + n));
        m_buffer = static_cast<uint8_t *>(grown);
        m_capacity = capacity;
    }
    m_size += n;
    m_data = m_buffer;
    return m_buffer + used;
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
