// ESElementVector: growth by realloc, with std::vector's growth factor and its out-of-memory fault.
#include "script/eselementvector.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zim::script {

void ESElementVector::append(const ESValue *values, size_t count)
{
    Q_ASSERT(count == 0 || values + count <= m_data || values >= m_data + m_capacity);
    if (count > m_capacity - m_size)
        growFor(count);
    if (count)
        std::memcpy(static_cast<void *>(m_data + m_size), values, count * sizeof(ESValue));
    m_size += uint32_t(count);
}

void ESElementVector::assign(const ESValue *first, const ESValue *last)
{
    const size_t count = size_t(last - first);
    Q_ASSERT(count == 0 || last <= m_data || first >= m_data + m_capacity);
    m_size = 0;
    reserve(count);
    if (count)
        std::memcpy(static_cast<void *>(m_data), first, count * sizeof(ESValue));
    m_size = uint32_t(count);
}

void ESElementVector::resize(size_t count, ESValue fill)
{
    if (count > m_size) {
        if (count > m_capacity)
            growFor(count - m_size);
        std::fill(m_data + m_size, m_data + count, fill);
    }
    m_size = uint32_t(count);
}

ESValue *ESElementVector::erase(ESValue *position)
{
    ESValue *last = end();
    if (position + 1 < last)
        std::memmove(static_cast<void *>(position), position + 1, size_t(last - position - 1) * sizeof(ESValue));
    --m_size;
    return position;
}

void ESElementVector::growFor(size_t extra)
{
    constexpr size_t MaxCapacity = UINT32_MAX;
    if (extra > MaxCapacity - m_size)
        throw std::bad_alloc();
    reallocate(std::min(MaxCapacity, size_t(m_size) + std::max(size_t(m_size), extra)));
}

void ESElementVector::reallocate(size_t capacity)
{
    if (capacity > UINT32_MAX)
        throw std::bad_alloc();
    void *block = std::realloc(m_data, capacity * sizeof(ESValue));
    if (!block)
        throw std::bad_alloc();
    m_data = static_cast<ESValue *>(block);
    m_capacity = uint32_t(capacity);
}

} // namespace zim::script
