// ESElementVector: the dense elements of an array, held in a 16-byte header.
#pragma once

#include "script/esvalue.h"

#include <cstdint>
#include <cstdlib>
#include <type_traits>

namespace zim::script {

// A growable run of values with the few vector operations the engine uses, in a pointer and two
// 32-bit counts, so that it fits the room of a record it shares with the internal value. Values
// are plain bytes, so growth is one realloc; capacity grows as std::vector's does (doubling), and
// a growth that fails throws std::bad_alloc, which the engine reports as running out of memory.
// An empty vector is all zero bytes and owns no block.
class ESElementVector
{
public:
    ESElementVector() = default;
    ~ESElementVector() { std::free(m_data); }
    ESElementVector(const ESElementVector &) = delete;
    ESElementVector &operator=(const ESElementVector &) = delete;

    size_t size() const { return m_size; }
    size_t capacity() const { return m_capacity; }
    bool empty() const { return m_size == 0; }
    ESValue *data() { return m_data; }
    const ESValue *data() const { return m_data; }
    ESValue &operator[](size_t i) { return m_data[i]; }
    const ESValue &operator[](size_t i) const { return m_data[i]; }
    ESValue *begin() { return m_data; }
    ESValue *end() { return m_data + m_size; }
    const ESValue *begin() const { return m_data; }
    const ESValue *end() const { return m_data + m_size; }

    void reserve(size_t count)
    {
        if (count > m_capacity)
            reallocate(count);
    }
    // By value: the value may be one of this vector's own, which a growth moves.
    void push_back(ESValue value)
    {
        if (m_size == m_capacity)
            growFor(1);
        m_data[m_size++] = value;
    }
    // Appends count values from outside this vector.
    void append(const ESValue *values, size_t count);
    // Replaces the contents with the values [first, last), from outside this vector.
    void assign(const ESValue *first, const ESValue *last);
    // Shortens, or lengthens with copies of fill; a shorter vector keeps its block.
    void resize(size_t count, ESValue fill = ESValue());
    // Removes the value at position, moving the later ones down.
    ESValue *erase(ESValue *position);
    // Drops every value and gives the block back.
    void release()
    {
        std::free(m_data);
        m_data = nullptr;
        m_size = 0;
        m_capacity = 0;
    }

private:
    // Makes room for extra more values: past the size by the larger of the size and extra.
    void growFor(size_t extra);
    void reallocate(size_t capacity);

    ESValue *m_data = nullptr;
    uint32_t m_size = 0;
    uint32_t m_capacity = 0;
};

static_assert(sizeof(ESElementVector) == 16);
static_assert(std::is_trivially_copyable_v<ESValue>, "elements move by realloc");

} // namespace zim::script
