// Constant data records kept packed while a stream is read, until their fragment is walked.
#pragma once

#include "tevo/tevoinsn.h"
#include "tevo/tevopool.h"

#include <cstdint>

namespace zim::tevo {

// A run of constant data records (DB, DW, DL with a value that fits in 32 bits) that follow
// one another in one fragment with one source position, at 12 bytes each instead of a record
// object each. The entries lie in the pool right after the run, so a run grows only while
// nothing else is allocated. The fragment replaces its runs by the records they stand for the
// first time its records are asked for, so no caller of records(), first() or next() ever
// sees a run; most debugging data is never walked and stays packed.
class TEVOPackedData : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;

    struct Entry
    {
        uint32_t address;
        uint32_t value;
        uint8_t size;   // 1 to 4
    };

    // A run holding one entry.
    static TEVOPackedData *make(TEVOPool &pool, bool bigEndian, uint32_t address, uint32_t value, uint8_t size)
    {
        TEVOPackedData *run = pool.makeWithTail<TEVOPackedData>(sizeof(Entry), bigEndian);
        run->m_count = 1;
        run->tail()[0] = Entry{address, value, size};
        return run;
    }

    // Adds an entry; false when the pool has made anything since the last entry or has no
    // room left in its block (the caller then starts a new run).
    Q_ALWAYS_INLINE bool add(TEVOPool &pool, uint32_t address, uint32_t value, uint8_t size)
    {
        Entry *end = tail() + m_count;
        if (!pool.extend(end, sizeof(Entry)))
            return false;
        *end = Entry{address, value, size};
        ++m_count;
        return true;
    }

    uint32_t count() const { return m_count; }
    const Entry *entries() const { return reinterpret_cast<const Entry *>(this + 1); }
    // The fragment holding the run.
    bool isBigEndian() const { return detail() != 0; }
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

static_assert(sizeof(TEVOPackedData::Entry) == 12);
static_assert(sizeof(TEVOPackedData) % alignof(TEVOPackedData::Entry) == 0);

} // namespace zim::tevo
