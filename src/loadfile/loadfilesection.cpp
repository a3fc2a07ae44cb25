// The section classes of a load file.
#include "loadfile/loadfilesection.h"

StandardLoadFileSection::StandardLoadFileSection(const char *name, uint32_t address, uint32_t size,
                                                 const uint8_t *data)
    : m_name(name ? name : ""), m_address(address), m_size(size), m_data(data)
{
}

ExpandingLoadFileSection::ExpandingLoadFileSection(const char *name, uint32_t address)
    : StandardLoadFileSection(name, address, 0, nullptr)
{
}

uint8_t *ExpandingLoadFileSection::append(uint32_t n)
{
    const size_t old = m_buffer.size();
    // The vector grows geometrically, so a section built record by record costs linear time.
    m_buffer.resize(old + n);
    m_size += n;
    m_data = m_buffer.data();
    return m_buffer.data() + old;
}

UploadLoadFileSection::UploadLoadFileSection(const char *name, uint32_t address, uint32_t size)
    : StandardLoadFileSection(name, address, size, nullptr), m_buffer(new uint8_t[size]())
{
    m_data = m_buffer.get();
}
