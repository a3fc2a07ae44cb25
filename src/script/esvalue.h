// ESValue and ESAtom: the 16-byte script value and the process-wide table of interned names.
#pragma once

#include <QString>
#include <QStringView>
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

namespace zim::script {

class ESObject;
class ESString;

enum ESValueKind : uint32_t {
    ESUndefined = 0,
    ESNull = 1,
    ESBoolean = 2,
    ESNumber = 3,
    ESStringKind = 4,
    ESObjectKind = 5,
    ESHole = 6,   // internal only: an absent array element or a reserved, not yet written global slot
    ESAtomKind = 7,
};

// An interned name, compared by identity. A pinned atom (a name in source text or in the
// engine's own code) lives for the whole process; an atom made from a computed key lives while
// some context still holds it, and is reclaimed by the contexts' collections.
struct ESAtom
{
    uint32_t index;
    QString text;
    // The array index the text spells canonically (0 <= i < 2^32-1), or -1.
    int64_t arrayIndex;
    bool pinned = true;
    bool marked = false;
};

struct ESValue
{
    uint32_t kind = ESUndefined;
    uint32_t spare = 0;
    union {
        double number;
        ESString *string;
        ESObject *object;
        ESAtom *atom;
    };

    ESValue() : number(0.0) {}

    static ESValue undefined() { return ESValue(); }
    static ESValue null() { ESValue v; v.kind = ESNull; return v; }
    static ESValue hole() { ESValue v; v.kind = ESHole; return v; }
    static ESValue boolean(bool b) { ESValue v; v.kind = ESBoolean; v.number = b ? 1.0 : 0.0; return v; }
    static ESValue fromNumber(double d) { ESValue v; v.kind = ESNumber; v.number = d; return v; }
    static ESValue fromObject(ESObject *o) { ESValue v; v.kind = ESObjectKind; v.object = o; return v; }
    static ESValue fromAtom(ESAtom *a) { ESValue v; v.kind = ESAtomKind; v.atom = a; return v; }
    static ESValue fromString(ESString *s) { ESValue v; v.kind = ESStringKind; v.string = s; return v; }

    bool isUndefined() const { return kind == ESUndefined; }
    bool isNull() const { return kind == ESNull; }
    bool isBoolean() const { return kind == ESBoolean; }
    bool isNumber() const { return kind == ESNumber; }
    bool isString() const { return kind == ESStringKind || kind == ESAtomKind; }
    bool isObject() const { return kind == ESObjectKind; }
    bool isHole() const { return kind == ESHole; }
    bool isPrimitive() const { return kind != ESObjectKind; }
    bool toBool() const { return number != 0.0; }
    // The text of a string of either kind; only for isString() values.
    const QString &text() const;
};

static_assert(sizeof(ESValue) == 16);

// A string value made by a string operation: collected by the context that made it. A
// concatenation is kept as its two parts until its text is first read, so that a string built
// by repeated appends is copied once.
class ESString
{
public:
    // A record not in use is free: it links to the next free record of its block's pool.
    enum State : uint8_t { Free, Flat, Rope };

    ESString() : m_next(nullptr) {}
    ESString(const ESString &) = delete;
    ESString &operator=(const ESString &) = delete;
    ~ESString()
    {
        if (m_state == Flat)
            m_text.~QString();
    }

    const QString &flat() const
    {
        if (m_state == Rope)
            flatten();
        return m_text;
    }
    // Joins a concatenation's parts into its own text; the parts are no longer its own after it.
    void flatten() const;
    bool inUse() const { return m_state != Free; }
    bool isRope() const { return m_state == Rope; }
    // The parts of a concatenation not yet flattened.
    const ESString *left() const { return m_parts.left; }
    const ESString *right() const { return m_parts.right; }
    // The text the record holds itself, in characters: none for a concatenation.
    qsizetype ownTextSize() const { return m_state == Flat ? m_text.size() : 0; }

    // The pool's transitions; a free record becomes a string and back, never anything else.
    void makeFlat(const QString &text)
    {
        new (&m_text) QString(text);
        m_state = Flat;
        length = uint32_t(text.size());
    }
    void makeRope(const ESString *leftPart, const ESString *rightPart, uint32_t size)
    {
        m_parts = {leftPart, rightPart};
        m_state = Rope;
        length = size;
    }
    void makeFree(ESString *nextFree)
    {
        if (m_state == Flat)
            m_text.~QString();
        m_next = nextFree;
        m_state = Free;
        atom = nullptr;
        marked = false;
    }
    ESString *nextFree() const { return m_next; }

private:
    struct Parts
    {
        const ESString *left;
        const ESString *right;
    };
    // A concatenation holds no text until it is flattened, and a flattened one no parts.
    union {
        mutable QString m_text;
        mutable Parts m_parts;
        ESString *m_next;
    };

public:
    // The interned form, once the string has been used as a property name.
    mutable ESAtom *atom = nullptr;
    // At most the engine's longest string, which 32 bits hold.
    uint32_t length = 0;
    mutable bool marked = false;

private:
    mutable State m_state = Free;
};
static_assert(sizeof(ESString) <= 40);

// String records come from blocks of ESStringBlockBytes aligned to their size, each beginning with
// this header. A concatenation's text is charged to its context's byte count when it is
// flattened rather than when it is made, so that a string grown by appends is charged once, not
// at every append; the header is found from the record's own address.
struct ESStringBlockHeader
{
    size_t *bytesCharged;
    // The records from the block's start that may be in use: those past it are free, and handed
    // out from there in order once the free list is empty.
    size_t used;
};
inline constexpr size_t ESStringBlockBytes = size_t(1) << 18;

inline const QString &ESValue::text() const
{
    return kind == ESAtomKind ? atom->text : string->flat();
}

// Two texts as one, in a block of exactly their size (appending to a copy would detach it into a
// block with room to grow that a string value never uses).
inline QString joinedText(QStringView a, QStringView b)
{
    QString out(a.size() + b.size(), Qt::Uninitialized);
    QChar *d = out.data();
    std::copy(a.begin(), a.end(), d);
    std::copy(b.begin(), b.end(), d + a.size());
    return out;
}

// The process-wide interned names. Not thread-safe, as the engine runs on one thread.
namespace atoms {
// A pinned atom for the text (an unpinned one of the same text becomes pinned).
ESAtom *intern(const QString &text);
ESAtom *intern(const char *latin1);
// The atom for a key computed at run time: made unpinned when new, so that it can be reclaimed.
ESAtom *internComputed(const QString &text);
// The atom of an integer index: from the table of 0..99, otherwise by its decimal text (unpinned
// when new).
ESAtom *forIndex(uint32_t index);
// The pinned atom of a one-character string of Latin-1, or null for any other character: string
// operations hand these out instead of making a new string for every character they take.
ESAtom *forCharacter(char16_t c);
// The pinned atom of the empty string.
ESAtom *emptyText();
// The atom of an index, or null for one reclaimed.
ESAtom *byIndex(uint32_t atomIndex);
// Atoms now in the table.
uint32_t count();
// Unpinned atoms made since the last reclaim.
uint32_t computedSinceReclaim();

// Reclaiming: every unpinned atom starts unmarked, the holders mark what they hold, and the
// unmarked ones are freed. The caller makes sure that no holder keeps an atom anywhere else.
void clearComputedMarks();
void reclaimUnmarked();
// The contexts of the process, each of which is asked for the atoms it holds.
void addHolder(void *holder);
void removeHolder(void *holder);
const std::vector<void *> &holders();
} // namespace atoms

// The well-known process-wide constants.
extern const double NaN;
extern const double Infinity;

} // namespace zim::script
