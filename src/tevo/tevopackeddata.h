// Constant data records kept packed while a stream is read, until their fragment is walked.
#pragma once

#include "tevo/tevoinsn.h"
#include "tevo/tevopool.h"

#include <cstdint>

namespace zim::tevo {

// A run of constant data records (DB, DW, DL with a value that fits in 32 bits) that follow
// one another in one fragment with one source position, kept in a few bytes each instead of a
// record object each. A run of records of one size at consecutive addresses, as data is laid
// out, keeps only their values (4 bytes each) after its first address; a run that does not
// continue that way after its first record keeps address, size and value (8 bytes each,
// addresses up to maxAddress). The entries lie in the pool right after the run, so a run
// grows only while nothing else is allocated. The fragment replaces its runs by the records
// they stand for the first time its records are asked for, so no caller of records(), first()
// or next() ever sees a run; most debugging data is never walked and stays packed.
class TEVOPackedData : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    // The highest address an entry of a scattered run holds.
    static constexpr uint32_t maxAddress = 0x3FFFFFFF;

    // An entry of a scattered run.
    struct Entry
    {
        uint32_t value;
        uint32_t addressAndSize;   // the address above two bits of size - 1

        static Entry of(uint32_t address, uint32_t value, uint32_t size) { return Entry{value, address << 2 | (size - 1)}; }
        uint32_t address() const { return addressAndSize >> 2; }
        uint32_t size() const { return (addressAndSize & 3) + 1; }
    };

    // Whether a record of this value can be packed.
    static bool fits(uint64_t value) { return value <= 0xFFFFFFFFu; }

    // A run of consecutive records holding one (fits(value), size 1 to 4).
    static TEVOPackedData *make(TEVOPool &pool, bool bigEndian, uint32_t address, uint32_t value, uint32_t size)
    {
        TEVOPackedData *run = pool.makeWithTail<TEVOPackedData>(sizeof(uint32_t), bigEndian, size);
        run->setAddress(address);
        run->m_count = 1;
        run->values()[0] = value;
        return run;
    }

    // Adds a record (fits(value), size 1 to 4) at the end; false when the run cannot take it:
    // the pool has made anything since the last entry or has no room left in its block, or
    // the record does not continue the run's layout (the caller then starts a new run).
    bool add(TEVOPool &pool, uint32_t address, uint32_t value, uint32_t size)
    {
        if (isConsecutive()) {
            if (address == nextAddress() && size == consecutiveSize()) {
                uint32_t *end = values() + m_count;
                if (!pool.extend(end, sizeof(uint32_t)))
                    return false;
                *end = value;
                ++m_count;
                return true;
            }
            // After one record the run can still change to the scattered layout.
            if (m_count != 1 || this->address() > maxAddress || address > maxAddress
                || !pool.extend(values() + 1, sizeof(Entry) * 2 - sizeof(uint32_t)))
                return false;
            entries()[0] = Entry::of(this->address(), values()[0], consecutiveSize());
            entries()[1] = Entry::of(address, value, size);
            setDetail(uint8_t(detail() | scatteredBit));
            m_count = 2;
            return true;
        }
        if (address > maxAddress)
            return false;
        Entry *end = entries() + m_count;
        if (!pool.extend(end, sizeof(Entry)))
            return false;
        *end = Entry::of(address, value, size);
        ++m_count;
        return true;
    }

    // Adding many records at once, in either layout: the place of the next entry and how
    // many entries fit there (0 when the pool has made anything since the last entry).
    // Entries written there count once commit() is called with their number.
    uint32_t *freeValues(const TEVOPool &pool, size_t &room)
    {
        uint32_t *end = values() + m_count;
        room = pool.roomAfter(end) / sizeof(uint32_t);
        return end;
    }
    Entry *freeEntries(const TEVOPool &pool, size_t &room)
    {
        Entry *end = entries() + m_count;
        room = pool.roomAfter(end) / sizeof(Entry);
        return end;
    }
    void commit(TEVOPool &pool, uint32_t n)
    {
        const bool extended = isConsecutive() ? pool.extend(values() + m_count, n * sizeof(uint32_t))
                                              : pool.extend(entries() + m_count, n * sizeof(Entry));
        Q_ASSERT(extended);
        (void)extended;
        m_count += n;
    }

    // Records of one size at consecutive addresses, from address() on.
    bool isConsecutive() const { return !(detail() & scatteredBit); }
    uint32_t consecutiveSize() const { return detail() >> sizeShift; }
    // The address after the last record of a consecutive run (2^32 when it ends the space).
    uint64_t nextAddress() const { return address() + uint64_t(m_count) * consecutiveSize(); }

    uint32_t count() const { return m_count; }
    bool isBigEndian() const { return detail() & bigEndianBit; }
    // Calls f(address, value, size) for every record in order.
    template <class F>
    void forEachRecord(F &&f) const
    {
        if (isConsecutive()) {
            const uint32_t size = consecutiveSize();
            const auto *v = reinterpret_cast<const uint32_t *>(this + 1);
            for (uint32_t i = 0; i < m_count; ++i)
                f(uint32_t(address() + i * size), v[i], size);
        } else {
            const auto *e = reinterpret_cast<const Entry *>(this + 1);
            for (uint32_t i = 0; i < m_count; ++i)
                f(e[i].address(), e[i].value, e[i].size());
        }
    }
    // The fragment holding the run.
    TEVOFragment *owner() const { return m_fragment; }

    uint32_t size() override { return 0; }
    QByteArray listingText() override { return QByteArray(); }

private:
    friend class TEVOFragment;
    friend class TEVOPool;

    static constexpr uint8_t bigEndianBit = 1;
    static constexpr uint8_t scatteredBit = 2;
    static constexpr int sizeShift = 2;

    uint32_t *values() { return reinterpret_cast<uint32_t *>(this + 1); }
    Entry *entries() { return reinterpret_cast<Entry *>(this + 1); }

    TEVOPackedData(bool bigEndian, uint32_t size) : TEVOInsn(RecordKind::Packed)
    {
        setDetail(uint8_t((bigEndian ? bigEndianBit : 0) | size << sizeShift));
    }

    TEVOFragment *m_fragment = nullptr;
    uint32_t m_count = 0;
};

static_assert(sizeof(TEVOPackedData::Entry) == 8);
static_assert(sizeof(TEVOPackedData) % alignof(TEVOPackedData::Entry) == 0);

} // namespace zim::tevo
