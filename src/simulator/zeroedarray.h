// ZeroedArray: a fixed-size array that starts all zero without being written. Large blocks come
// from the system as untouched pages, so a megabyte costs nothing until the simulation uses it.
#pragma once

#include "common/hexception.h"

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <type_traits>

namespace zim::simulator {

template<class T> class ZeroedArray
{
    static_assert(std::is_trivial_v<T>, "the elements start as zero bytes");

public:
    ZeroedArray() = default;
    explicit ZeroedArray(std::size_t count) : m_data(static_cast<T *>(std::calloc(count ? count : 1, sizeof(T))))
    {
        if (!m_data)
            throw common::HException(QStringLiteral("Not enough memory for the simulator (%1 bytes)").arg(count * sizeof(T)));
    }

    T *data() const { return m_data.get(); }
    T &operator[](std::size_t index) const { return m_data[index]; }

private:
    struct Free
    {
        void operator()(T *data) const { std::free(data); }
    };
    std::unique_ptr<T[], Free> m_data;
};

} // namespace zim::simulator
