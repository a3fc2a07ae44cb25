// The table behind HexPair, built at compile time for the host's byte order.
#include "loadfile/hexpair.h"

#include <bit>

namespace zim::loadfile {

namespace {

// Value of each character as a hex digit, or -1.
constexpr std::array<int8_t, 256> makeDigits()
{
    std::array<int8_t, 256> digits{};
    for (int c = 0; c < 256; ++c)
        digits[size_t(c)] = int8_t(c >= '0' && c <= '9' ? c - '0'
                                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                          : -1);
    return digits;
}

// Indexed by the low seven bits of both characters; characters from 0x80 on are refused
// before the lookup. Kept to a few steps an entry so that compilers evaluate it within their
// default limits.
constexpr std::array<uint16_t, 16384> makeTable()
{
    constexpr std::array<int8_t, 256> digits = makeDigits();
    constexpr bool little = std::endian::native == std::endian::little;
    std::array<uint16_t, 16384> table{};
    for (unsigned index = 0; index < 16384; ++index) {
        // The character at the lower address is the high digit.
        const int high = digits[little ? index & 0x7F : index >> 7];
        const int low = digits[little ? index >> 7 : index & 0x7F];
        table[index] = (high | low) < 0 ? HexPair::invalid : uint16_t(high << 4 | low);
    }
    return table;
}

} // namespace

constinit const std::array<uint16_t, 16384> HexPair::s_table = makeTable();

} // namespace zim::loadfile
