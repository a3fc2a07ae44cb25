// The table behind HexPair, built at compile time for the host's byte order.
#include "loadfile/hexpair.h"

#include <bit>

namespace zim::loadfile {

namespace {

constexpr int digitValue(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

constexpr std::array<uint16_t, 65536> makeTable()
{
    std::array<uint16_t, 65536> table{};
    for (int index = 0; index < 65536; ++index) {
        // The character at the lower address is the high digit.
        const int first = std::endian::native == std::endian::little ? index & 0xFF : index >> 8;
        const int second = std::endian::native == std::endian::little ? index >> 8 : index & 0xFF;
        const int high = digitValue(first);
        const int low = digitValue(second);
        table[size_t(index)] = high < 0 || low < 0 ? HexPair::invalid : uint16_t(high << 4 | low);
    }
    return table;
}

} // namespace

constinit const std::array<uint16_t, 65536> HexPair::s_table = makeTable();

} // namespace zim::loadfile
