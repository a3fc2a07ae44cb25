// HexPair: two hex digits decoded to one byte by a single lookup in a table indexed by both
// characters at once; the decoder of every text load-file reader.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zim::loadfile {

class HexPair
{
public:
    // Set in a value when either character is not one of 0-9, A-F, a-f.
    static constexpr uint16_t invalid = 0x100;

    // The byte spelt by text[0] (high digit) and text[1], or a value with `invalid` set.
    // Reads exactly two characters.
    static uint16_t decode(const char *text)
    {
        uint16_t pair;
        std::memcpy(&pair, text, 2);
        const uint16_t beyondAscii = (pair & 0x8080) ? invalid : 0;
        return uint16_t(s_table[(pair & 0x7F) | (pair & 0x7F00) >> 1] | beyondAscii);
    }

    // Decodes n bytes from the 2n characters at text into out and adds each byte to sum.
    // Returns false when a character is not a hex digit; out and sum are then unspecified.
    static bool decodeRun(const char *text, uint8_t *out, size_t n, uint8_t &sum)
    {
        size_t i = 0;
        unsigned total = sum;
#if defined(__SSE2__)
        // Groups of eight bytes at a time, then at most seven one by one.
        i = n & ~size_t(7);
        if (i && !decodeEights(text, out, i, total))
            return false;
#endif
        unsigned seen = 0;
        for (; i < n; ++i) {
            const unsigned value = decode(text + 2 * i);
            seen |= value;
            total += value;
            out[i] = uint8_t(value);
        }
        sum = uint8_t(total);
        return !(seen & invalid);
    }

    // Decodes n bytes laid out in cells of `stride` characters, each starting with its two
    // digits (the rest of a cell is not looked at). Returns false as decodeRun() does.
    static bool decodeCells(const char *text, size_t stride, uint8_t *out, size_t n)
    {
        unsigned seen = 0;
        for (size_t i = 0; i < n; ++i) {
            const unsigned value = decode(text + stride * i);
            seen |= value;
            out[i] = uint8_t(value);
        }
        return !(seen & invalid);
    }

private:
#if defined(__SSE2__)
    // decodeRun() for n a multiple of eight, sixteen characters at a time; adds the bytes to
    // total.
    static bool decodeEights(const char *text, uint8_t *out, size_t n, unsigned &total)
    {
        const __m128i zero = _mm_setzero_si128();
        __m128i allValid = _mm_cmpeq_epi8(zero, zero);
        __m128i sums = zero;
        for (size_t i = 0; i + 8 <= n; i += 8) {
            const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + 2 * i));
            // Signed comparisons: characters from 0x80 on are negative and fail both ranges.
            const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(chars, _mm_set1_epi8('0' - 1)),
                                                _mm_cmplt_epi8(chars, _mm_set1_epi8('9' + 1)));
            const __m128i lower = _mm_or_si128(chars, _mm_set1_epi8(0x20));
            const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                                 _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
            allValid = _mm_and_si128(allValid, _mm_or_si128(digit, letter));
            // '0'-'9' have their value in the low four bits; 'A'-'F' and 'a'-'f' have it less 9.
            const __m128i nibbles = _mm_add_epi8(_mm_and_si128(chars, _mm_set1_epi8(0x0F)),
                                                 _mm_and_si128(letter, _mm_set1_epi8(9)));
            // Each 16-bit lane holds a pair, its first (high) digit in the low byte.
            const __m128i bytes = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(nibbles, 4), _mm_set1_epi16(0xF0)),
                                               _mm_srli_epi16(nibbles, 8));
            _mm_storel_epi64(reinterpret_cast<__m128i *>(out + i), _mm_packus_epi16(bytes, bytes));
            sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, zero));
        }
        total += unsigned(_mm_cvtsi128_si32(sums)) + unsigned(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
        return _mm_movemask_epi8(allValid) == 0xFFFF;
    }
#endif

    // Indexed by the low seven bits of the two characters as they lie in memory, read as one
    // 16-bit number.
    static const std::array<uint16_t, 16384> s_table;
};

} // namespace zim::loadfile
