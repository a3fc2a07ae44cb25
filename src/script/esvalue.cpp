// The atom table: interned names shared by every context of the process.
#include "script/esvalue.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace zim::script {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Infinity = std::numeric_limits<double>::infinity();

namespace {

struct AtomTable
{
    QHash<QString, ESAtom *> byText;
    std::vector<ESAtom *> byIndex;
    ESAtom *indexAtoms[100] = {};
    // The one-character strings of Latin-1, made when first asked for.
    ESAtom *characterAtoms[256] = {};
    ESAtom *empty = nullptr;

    AtomTable()
    {
        // Index 0 is kept unused so that 0 can mark a deleted property.
        byIndex.push_back(new ESAtom{0, QString(), -1, true});
        live = 1;
        for (uint32_t i = 0; i < 100; ++i)
            indexAtoms[i] = add(QString::number(i));
    }

    static int64_t canonicalIndex(const QString &text)
    {
        const qsizetype n = text.size();
        if (n == 0 || n > 10 || (n > 1 && text[0] == QLatin1Char('0')))
            return -1;
        uint64_t value = 0;
        for (QChar c : text) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return -1;
            value = value * 10 + uint64_t(c.unicode() - '0');
        }
        return value < 4294967295ull ? int64_t(value) : -1;
    }

    ESAtom *add(const QString &text, bool pinned = true)
    {
        uint32_t index;
        if (!freeIndexes.empty()) {
            index = freeIndexes.back();
            freeIndexes.pop_back();
        } else {
            index = uint32_t(byIndex.size());
            byIndex.push_back(nullptr);
        }
        auto *atom = new ESAtom{index, text, canonicalIndex(text), pinned};
        byIndex[index] = atom;
        byText.insert(text, atom);
        ++live;
        if (!pinned)
            ++computedSinceReclaim;
        return atom;
    }

    // Indexes of reclaimed atoms, given to the next new ones.
    std::vector<uint32_t> freeIndexes;
    uint32_t live = 0;
    uint32_t computedSinceReclaim = 0;
    std::vector<void *> holders;
};

AtomTable &table()
{
    static AtomTable *t = new AtomTable;
    return *t;
}

} // namespace

void ESString::flatten() const
{
    QString out;
    out.reserve(length);
    // Walks the tree of parts left to right without recursion.
    std::vector<const ESString *> pending{this};
    while (!pending.empty()) {
        const ESString *s = pending.back();
        pending.pop_back();
        if (s->m_state == Rope) {
            pending.push_back(s->m_parts.right);
            pending.push_back(s->m_parts.left);
        } else {
            out += s->m_text;
        }
    }
    new (&m_text) QString(std::move(out));
    m_state = Flat;
    const auto blockStart = reinterpret_cast<uintptr_t>(this) & ~uintptr_t(ESStringBlockBytes - 1);
    *reinterpret_cast<const ESStringBlockHeader *>(blockStart)->bytesCharged += size_t(length) * 2;
}

namespace atoms {

ESAtom *intern(const QString &text)
{
    AtomTable &t = table();
    auto it = t.byText.constFind(text);
    if (it != t.byText.constEnd()) {
        it.value()->pinned = true;
        return it.value();
    }
    return t.add(text);
}

ESAtom *internComputed(const QString &text)
{
    AtomTable &t = table();
    auto it = t.byText.constFind(text);
    if (it != t.byText.constEnd())
        return it.value();
    return t.add(text, false);
}

ESAtom *intern(const char *latin1)
{
    return intern(QString::fromLatin1(latin1));
}

ESAtom *forIndex(uint32_t index)
{
    if (index < 100)
        return table().indexAtoms[index];
    return internComputed(QString::number(index));
}

ESAtom *forCharacter(char16_t c)
{
    if (c >= 256)
        return nullptr;
    ESAtom *&atom = table().characterAtoms[c];
    if (!atom)
        atom = intern(QString(QChar(c)));
    return atom;
}

ESAtom *emptyText()
{
    ESAtom *&atom = table().empty;
    if (!atom)
        atom = intern("");
    return atom;
}

ESAtom *byIndex(uint32_t atomIndex)
{
    return table().byIndex.at(atomIndex);
}

uint32_t count()
{
    return table().live;
}

uint32_t computedSinceReclaim()
{
    return table().computedSinceReclaim;
}

void clearComputedMarks()
{
    for (ESAtom *atom : table().byIndex)
        if (atom)
            atom->marked = false;
}

void reclaimUnmarked()
{
    AtomTable &t = table();
    for (ESAtom *&atom : t.byIndex) {
        if (!atom || atom->pinned || atom->marked)
            continue;
        t.byText.remove(atom->text);
        t.freeIndexes.push_back(atom->index);
        delete atom;
        atom = nullptr;
        --t.live;
    }
    t.computedSinceReclaim = 0;
}

void addHolder(void *holder)
{
    table().holders.push_back(holder);
}

void removeHolder(void *holder)
{
    std::vector<void *> &h = table().holders;
    h.erase(std::remove(h.begin(), h.end(), holder), h.end());
}

const std::vector<void *> &holders()
{
    return table().holders;
}

} // namespace atoms
} // namespace zim::script
