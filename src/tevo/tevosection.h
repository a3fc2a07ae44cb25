// TEVO sections and the fragments (groups of records) they are made of.
#pragma once

#include "tevo/tevoinsn.h"
#include "tevo/tevoobject.h"
#include "tevo/tevopackeddata.h"

#include <cstdint>
#include <vector>

namespace zim::tevo {

class TEVOInsn;
class TEVOModule;
class TEVOSection;

// An ordered group of records; BREAK starts a new one. The records are linked through
// TEVOInsn::next(), so a fragment of any length costs one pointer per record.
class TEVOFragment : public PoolObject
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOFragment(TEVOSection *section) : m_section(section) {}

    class Iterator
    {
    public:
        explicit Iterator(TEVOInsn *record) : m_record(record) {}
        TEVOInsn *operator*() const { return m_record; }
        Iterator &operator++()
        {
            m_record = m_record->next();
            return *this;
        }
        bool operator==(const Iterator &other) const = default;

    private:
        TEVOInsn *m_record;
    };
    struct Records
    {
        TEVOInsn *head;
        Iterator begin() const { return Iterator(head); }
        Iterator end() const { return Iterator(nullptr); }
    };

    TEVOSection *section() const { return m_section; }
    // The records in order, for range loops.
    Records records() const { return Records{first()}; }
    TEVOInsn *first() const
    {
        if (m_packed)
            unpack();
        return m_first;
    }
    size_t count() const
    {
        if (m_packed)
            unpack();
        return m_count;
    }
    // The record appended last, or a run of packed data standing for it; for the reader.
    TEVOInsn *last() const { return m_last; }
    Q_ALWAYS_INLINE void append(TEVOInsn *record)
    {
        // The last record links to the fragment, so that records need no field for it.
        record->m_link = reinterpret_cast<uintptr_t>(this) | TEVOInsn::fragmentTag;
        uintptr_t link = reinterpret_cast<uintptr_t>(record);
        if (record->recordKind() == TEVOInsn::RecordKind::Marker) {
            static_cast<TEVOMarker *>(record)->m_fragment = this;
        } else if (record->recordKind() == TEVOInsn::RecordKind::Packed) {
            static_cast<TEVOPackedData *>(record)->m_fragment = this;
            link |= TEVOInsn::packedTag;
            m_packed = true;
        }
        if (m_last)
            m_last->m_link = link;
        else
            m_first = record;
        m_last = record;
        ++m_count;
    }
    // Replaces the runs of packed data by the records they stand for. Allocates from the
    // module's pool; the fragment's own records keep their identity.
    void unpack() const;

private:
    TEVOSection *m_section;
    // Changed by unpack(), which the const accessors call.
    mutable TEVOInsn *m_first = nullptr;
    mutable TEVOInsn *m_last = nullptr;
    mutable size_t m_count = 0;
    mutable bool m_packed = false;
};

class TEVOSection : public TEVONamedObject
{
public:
    static constexpr uint32_t loadableFlag = 0x80000;
    static constexpr uint32_t kindMask = 0xF;
    // The kind of a section for the target's second memory space.
    static constexpr uint32_t secondSpaceKind = 6;
    // The most bytes the records of a module may make for loading; more means a corrupt file.
    static constexpr uint32_t maxLoadBytes = 16u << 20;

    TEVOSection(TEVOModule *module, const TEVOString *name) : TEVONamedObject(Kind::Section, name), m_module(module) {}

    TEVOModule *module() const { return m_module; }
    uint32_t flags() const { return m_flags; }
    void setFlags(uint32_t flags) { m_flags = flags; }
    bool isLoadable() const { return m_flags & loadableFlag; }
    uint32_t sectionKind() const { return m_flags & kindMask; }

    const std::vector<TEVOFragment *> &fragments() const { return m_fragments; }
    TEVOFragment *currentFragment() const { return m_current; }
    // Appends to the current fragment, making one when there is none.
    Q_ALWAYS_INLINE void append(TEVOInsn *record)
    {
        if (!m_current)
            startFragment();
        m_current->append(record);
    }
    // The record appended last to the current fragment (a run of packed data included), or
    // null without a current fragment; for the reader.
    TEVOInsn *lastRecord() const { return m_current ? m_current->last() : nullptr; }
    // Ends the current fragment; the next append starts a new one.
    void breakFragment() { m_current = nullptr; }

    // Start and end from the records that have an address and at least one byte: the lowest
    // address and the highest address + size. A section without such records keeps start
    // 0xFFFFFFFF and end 0.
    void layout();
    bool isLaidOut() const { return m_laidOut; }
    // Takes start and end from a walk the caller made over the records by the rule of
    // layout(), and marks the section laid out.
    void setLayout(uint32_t start, uint64_t end)
    {
        m_start = start;
        m_end = end;
        m_laidOut = true;
    }
    uint32_t start() const { return m_start; }
    // One past the last byte; 64 bits since a record may end at 2^32.
    uint64_t end() const { return m_end; }

    // Set while the section is laid out or copied, so that records referring back to their
    // own section (INIT) see it as empty instead of recursing.
    bool isBusy() const { return m_busy; }
    void setBusy(bool busy) { m_busy = busy; }

private:
    void startFragment();

    TEVOModule *m_module;
    std::vector<TEVOFragment *> m_fragments;
    TEVOFragment *m_current = nullptr;
    uint32_t m_flags = 0;
    uint32_t m_start = 0xFFFFFFFF;
    uint64_t m_end = 0;
    bool m_laidOut = false;
    bool m_busy = false;
};

} // namespace zim::tevo
