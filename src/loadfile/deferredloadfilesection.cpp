// Sections read from their file on first use.
#include "loadfile/deferredloadfilesection.h"

#include "common/hexception.h"
#include "loadfile/loadfileinput.h"

#include <new>

namespace zim::loadfile {

DeferredLoadFileSection::DeferredLoadFileSection(const char *name, uint32_t address, uint32_t size,
                                                 std::shared_ptr<LoadFileInput> input, uint64_t offset)
    : StandardLoadFileSection(name, address, size, nullptr), m_input(std::move(input)), m_offset(offset)
{
}

const uint8_t *DeferredLoadFileSection::data() const
{
    if (!m_buffer) {
        std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[m_size ? m_size : 1]);
        if (!buffer)
            throw common::HException(QStringLiteral("not enough memory for one section of %1 bytes").arg(m_size));
        m_input->readAt(m_offset, reinterpret_cast<char *>(buffer.get()), m_size);
        m_buffer = std::move(buffer);
    }
    return m_buffer.get();
}

} // namespace zim::loadfile
