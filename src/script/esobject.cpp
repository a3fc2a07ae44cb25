// ESObject: the property vector with its linear search and, for large objects, a hashed index.
#include "script/esobject.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zim::script {

namespace {
constexpr size_t IndexThreshold = 12;

inline uint32_t hashAtom(const ESAtom *a)
{
    return a->index * 2654435761u;
}
} // namespace

void ESPropertyVector::reallocate(size_t capacity)
{
    if (capacity > UINT32_MAX)
        throw std::bad_alloc();
    auto *entries = static_cast<ESProperty *>(::operator new(capacity * sizeof(ESProperty)));
    if (m_size)
        std::memcpy(static_cast<void *>(entries), data(), m_size * sizeof(ESProperty));
    ESPropertyIndex *index = this->index();
    if (onHeap())
        ::operator delete(m_storage.heap.entries);
    m_storage.heap.entries = entries;
    m_storage.heap.index = index;
    m_capacity = uint32_t(capacity);
}

void ESPropertyVector::release()
{
    if (onHeap()) {
        delete m_storage.heap.index;
        ::operator delete(m_storage.heap.entries);
    }
    m_size = 0;
    m_capacity = InlineCapacity;
}

ESPropertyIndex &ESPropertyVector::makeIndex() const
{
    // Only objects past the index threshold ask, and their entries are on the heap.
    if (!m_storage.heap.index)
        m_storage.heap.index = new ESPropertyIndex;
    return *m_storage.heap.index;
}

void ESPropertyVector::dropIndex() const
{
    if (onHeap()) {
        delete m_storage.heap.index;
        m_storage.heap.index = nullptr;
    }
}

int ESObject::find(ESAtom *key) const
{
    const size_t n = properties.size();
    const ESProperty *entries = properties.data();
    if (n < IndexThreshold) {
        for (size_t i = 0; i < n; ++i)
            if (entries[i].key() == key)
                return int(i);
        return -1;
    }
    ESPropertyIndex *index = properties.index();
    if (!index || index->covered < n) {
        if (index && n * 2 <= index->table.size()) {
            for (size_t i = index->covered; i < n; ++i)
                if (entries[i].key())
                    indexAppend(int(i));
            index->covered = n;
        } else {
            rebuildIndex();
            index = properties.index();
        }
    }
    const ESPropertyIndex &ix = *index;
    for (uint32_t h = hashAtom(key) & ix.mask;; h = (h + 1) & ix.mask) {
        const int32_t s = ix.table[h];
        if (s < 0)
            return -1;
        if (entries[size_t(s)].key() == key)
            return s;
    }
}

void ESObject::rebuildIndex() const
{
    if (properties.size() < IndexThreshold) {
        properties.dropIndex();
        return;
    }
    ESPropertyIndex &index = properties.makeIndex();
    uint32_t cap = 32;
    while (cap < properties.size() * 2)
        cap *= 2;
    index.table.assign(cap, -1);
    index.mask = cap - 1;
    for (size_t i = 0; i < properties.size(); ++i)
        if (properties[i].key())
            indexAppend(int(i));
    index.covered = properties.size();
}

void ESObject::indexAppend(int slot) const
{
    ESPropertyIndex &ix = *properties.index();
    uint32_t h = hashAtom(properties[size_t(slot)].key()) & ix.mask;
    while (ix.table[h] >= 0)
        h = (h + 1) & ix.mask;
    ix.table[h] = slot;
    ix.covered = std::max(ix.covered, size_t(slot) + 1);
}

void ESObject::define(ESAtom *key, const ESValue &value, uint32_t attributes)
{
    const int i = find(key);
    if (i >= 0) {
        properties[size_t(i)].value = value;
        properties[size_t(i)].setAttributes(attributes);
        return;
    }
    properties.push_back(ESProperty{key, attributes, value});
    const ESPropertyIndex *index = properties.index();
    if (index && properties.size() * 2 <= index->table.size())
        indexAppend(int(properties.size() - 1));
    else if (properties.size() >= IndexThreshold)
        rebuildIndex();
}

void ESObject::putOwn(ESAtom *key, const ESValue &value, uint32_t attributes)
{
    const int i = find(key);
    if (i >= 0) {
        ESProperty &p = properties[size_t(i)];
        if (!(p.attributes() & ReadOnly))
            p.value = value;
        return;
    }
    define(key, value, attributes);
}

bool ESObject::removeOwn(ESAtom *key)
{
    const int i = find(key);
    if (i < 0)
        return true;
    ESProperty &p = properties[size_t(i)];
    if (p.attributes() & DontDelete)
        return false;
    p.erase();
    p.value = ESValue();
    if (properties.index())
        rebuildIndex();
    return true;
}

void ESObject::holdElements()
{
    Q_ASSERT(!m_holdsElements && m_room.value.isUndefined());
    new (&m_room.elements) ESElementVector;
    m_holdsElements = true;
}

void ESObject::clear()
{
    prototype = nullptr;
    if (m_holdsElements) {
        m_room.elements.~ESElementVector();
        m_holdsElements = false;
    }
    m_room.value = ESValue();
    callCode = nullptr;
    constructible = false;
    cls = nullptr;
    properties.release();
    builtinIndex = -1;
    length = 0;
    data = nullptr;
}

} // namespace zim::script
