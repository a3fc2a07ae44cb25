// The byte pattern of constant data records of one shape, for reading runs of them in place.
#pragma once

#include "tevo/tevoopcode.h"

#include <QtEndian>
#include <cstddef>
#include <cstdint>

namespace zim::tevo {

// A constant data record at consecutive addresses: LITX na a SETPC (LIT v | LITX nv v) LITk
// DEFBYTES, with address and value of up to four bytes. Records of one shape (the byte counts
// na and nv, the size k) differ only in their address and value bytes and lie length() bytes
// apart, so one is matched against the address it must have with two masked eight-byte
// compares, without a branch per opcode byte.
class TEVODataShape
{
public:
    // The bytes from a record's start that matches() and value() read; the caller keeps that
    // many in its buffer.
    static constexpr ptrdiff_t readLength = 24;

    // Takes the shape of the record at p (readLength bytes readable), a record of `size` (1 to 4)
    // bytes. False when p cannot start such a record; a true answer does not mean that it does.
    bool learn(const uint8_t *p, uint32_t size)
    {
        constexpr uint8_t litx = uint8_t(TEVOOpcode::LITX);
        if (p[0] != litx || p[1] > 4)
            return false;
        const uint32_t na = p[1];
        const uint8_t *q = p + 2 + na;
        uint8_t mask[16] = {};
        uint8_t pattern[16] = {};
        auto expect = [&](uint32_t at, uint8_t byte) {
            mask[at] = 0xFF;
            pattern[at] = byte;
        };
        expect(0, litx);
        expect(1, uint8_t(na));
        for (uint32_t i = 0; i < na; ++i)
            mask[2 + i] = 0xFF;   // the address, which the caller supplies
        expect(2 + na, uint8_t(TEVOOpcode::SETPC));
        uint32_t at = 3 + na;
        if (q[1] < 8) {
            mask[at] = 0xF8;   // LIT0 to LIT7: the value is the opcode, read as one byte
            m_valueAt = at;
            m_valueBytes = 1;
            at += 1;
        } else if (q[1] == litx && q[2] <= 4) {
            expect(at, litx);
            expect(at + 1, q[2]);
            m_valueAt = at + 2;
            m_valueBytes = q[2];
            at += 2 + q[2];
        } else {
            return false;
        }
        expect(at, uint8_t(size));   // LITk pushing the size
        expect(at + 1, uint8_t(TEVOOpcode::DEFBYTES));
        m_length = at + 2;
        m_mask[0] = qFromLittleEndian<quint64>(mask);
        m_mask[1] = qFromLittleEndian<quint64>(mask + 8);
        m_pattern[0] = qFromLittleEndian<quint64>(pattern);
        m_pattern[1] = qFromLittleEndian<quint64>(pattern + 8);
        // The address's big-endian bytes at 2 .. 2 + na - 1 of the first word.
        m_addressShift = 8 * (6 - na);
        m_addressLimit = uint64_t(1) << (8 * na);
        return true;
    }

    // The distance from one record to the next.
    uint32_t length() const { return m_length; }

    // How many records from `address` on, `size` bytes apart, have addresses that fit the
    // shape's address bytes.
    uint64_t recordsFrom(uint64_t address, uint32_t size) const
    {
        return address < m_addressLimit ? (m_addressLimit - address + size - 1) / size : 0;
    }

    // Whether the record at p has this shape and the given address, which must be below the
    // limit recordsFrom() counts to.
    bool matches(const uint8_t *p, uint64_t address) const
    {
        const uint64_t w0 = qFromLittleEndian<quint64>(p);
        const uint64_t w1 = qFromLittleEndian<quint64>(p + 8);
        const uint64_t expected0 = m_pattern[0] | (qbswap(quint64(address)) >> m_addressShift);
        return (((w0 & m_mask[0]) ^ expected0) | ((w1 & m_mask[1]) ^ m_pattern[1])) == 0;
    }

    // The value of the record at p, which matches(): its bytes (0 to 4) as a big-endian
    // number, from one eight-byte load.
    uint32_t value(const uint8_t *p) const
    {
        return uint32_t((qFromBigEndian<quint64>(p + m_valueAt) >> 1) >> (63 - 8 * m_valueBytes));
    }

private:
    uint64_t m_mask[2] = {};
    uint64_t m_pattern[2] = {};
    uint64_t m_addressLimit = 0;
    uint32_t m_addressShift = 0;
    uint32_t m_valueAt = 0;
    uint32_t m_valueBytes = 0;
    uint32_t m_length = 0;
};

} // namespace zim::tevo
