// Constant data records kept packed while a stream is read, until their fragment is walked.
#pragma once

#include "tevo/tevoinsn.h"
#include "tevo/tevopool.h"

#include <cstdint>

namespace zim::tevo {

// A run of constant data records (DB, DW, DL with a value and an address that fit, below) that
// follow one another in one fragment with one source position, at 8 bytes each instead of a
// record object each. The entries lie in the pool right after the run, so a run grows only
// while nothing else is allocated. The fragment replaces its runs by the records they stand
// for the first time its records are asked for, so no caller of records(), first() or next()
// ever sees a run; most debugging data is never walked and stays packed.
class TEVOPackedData : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    // The highest address an entry holds; records above it are made as objects.
    static constexpr uint32_t maxAddress = 0x3FFFFFFF;

    struct Entry
    {
        uint32_t value;
        uint32_t addressAndSize;   // the address above two bits of size - 1

        static Entry of(uint32_t address, uint32_t value, uint32_t size) { return Entry{value, address << 2 | (size - 1)}; }
        uint32_t address() const { return addressAndSize >> 2; }
        uint32_t size() const { return (addressAndSize & 3) + 1; }
    };

    // Whether a record of this value at this address can be an entry.
    static bool fits(uint64_t value, uint32_t address) { return value <= 0xFFFFFFFFu && address <= maxAddress; }

    // A run holding one entry; fits(value, address), size 1 to 4.
    static TEVOPackedData *make(TEVOPool &pool, bool bigEndian, uint32_t address, uint32_t value, uint32_t size)
    {
        TEVOPackedData *run = pool.makeWithTail<TEVOPackedData>(sizeof(Entry), bigEndian);
        run->m_count = 1;
        run->tail()[0] = Entry::of(address, value, size);
        return run;
    }

    // Adds an entry (fits(value, address), size 1 to 4); false when the pool has made anything
    // since the last entry or has no room left in its block (the caller then starts a new run).
    Q_ALWAYS_INLINE bool add(TEVOPool &pool, uint32_t address, uint32_t value, uint32_t size)
    {
        Entry *end = tail() + m_count;
        if (!pool.extend(end, sizeof(Entry)))
            return false;
        *end = Entry::of(address, value, size);
        ++m_count;
        return true;
    }

    // For adding many entries at once: the place of the next entry and how many fit there
    // (0 when the pool has made anything since the last entry). Entries written there count
    // once commit() is called with their number.
    Entry *freeEntries(const TEVOPool &pool, size_t &room)
    {
        Entry *end = tail() + m_count;
        room = pool.roomAfter(end) / sizeof(Entry);
        return end;
    }
    void commit(TEVOPool &pool, uint32_t n)
    {
        const bool extended = pool.extend(tail() + m_count, n * sizeof(Entry));
        Q_ASSERT(extended);
        (void)extended;
        m_count += n;
    }

    uint32_t count() const { return m_count; }
    const Entry *entries() const { return reinterpret_cast<const Entry *>(this + 1); }
    bool isBigEndian() const { return detail() != 0; }
    // The fragment holding the run.
    TEVOFragment *owner() const { return m_fragment; }

    uint32_t size() override { return 0; }
    QByteArray listingText() override { return QByteArray(); }

private:
    friend class TEVOFragment;
    friend class TEVOPool;

    Entry *tail() { return reinterpret_cast<Entry *>(this + 1); }

    explicit TEVOPackedData(bool bigEndian) : TEVOInsn(RecordKind::Packed) { setDetail(bigEndian ? 1 : 0); }

    TEVOFragment *m_fragment = nullptr;
    uint32_t m_count = 0;
};

static_assert(sizeof(TEVOPackedData::Entry) == 8);
static_assert(sizeof(TEVOPackedData) % alignof(TEVOPackedData::Entry) == 0);

} // namespace zim::tevo
