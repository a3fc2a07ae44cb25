// ESObject: the property vector with its linear search and, for large objects, a hashed index.
#include "script/esobject.h"

#include <algorithm>

namespace zim::script {

namespace {
constexpr size_t IndexThreshold = 12;

inline uint32_t hashAtom(const ESAtom *a)
{
    return a->index * 2654435761u;
}
} // namespace

int ESObject::find(ESAtom *key) const
{
    if (properties.size() >= IndexThreshold && (!m_index || m_index->covered < properties.size())) {
        if (m_index && properties.size() * 2 <= m_index->table.size()) {
            for (size_t i = m_index->covered; i < properties.size(); ++i)
                if (properties[i].key)
                    indexAppend(int(i));
            m_index->covered = properties.size();
        } else {
            rebuildIndex();
        }
    }
    if (m_index) {
        const ESPropertyIndex &ix = *m_index;
        for (uint32_t h = hashAtom(key) & ix.mask;; h = (h + 1) & ix.mask) {
            const int32_t s = ix.table[h];
            if (s < 0)
                return -1;
            if (properties[size_t(s)].key == key)
                return s;
        }
    }
    const size_t n = properties.size();
    for (size_t i = 0; i < n; ++i)
        if (properties[i].key == key)
            return int(i);
    return -1;
}

void ESObject::rebuildIndex() const
{
    if (properties.size() < IndexThreshold) {
        m_index.reset();
        return;
    }
    if (!m_index)
        m_index = std::make_unique<ESPropertyIndex>();
    uint32_t cap = 32;
    while (cap < properties.size() * 2)
        cap *= 2;
    m_index->table.assign(cap, -1);
    m_index->mask = cap - 1;
    for (size_t i = 0; i < properties.size(); ++i)
        if (properties[i].key)
            indexAppend(int(i));
    m_index->covered = properties.size();
}

void ESObject::indexAppend(int slot) const
{
    ESPropertyIndex &ix = *m_index;
    uint32_t h = hashAtom(properties[size_t(slot)].key) & ix.mask;
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
        properties[size_t(i)].attributes = attributes;
        return;
    }
    if (properties.capacity() <= properties.size())
        properties.reserve(properties.size() + (properties.size() < 8 ? 4 : properties.size() / 2 + 50));
    properties.push_back(ESProperty{key, attributes, value});
    if (m_index && properties.size() * 2 <= m_index->table.size())
        indexAppend(int(properties.size() - 1));
    else if (properties.size() >= IndexThreshold)
        rebuildIndex();
}

void ESObject::putOwn(ESAtom *key, const ESValue &value, uint32_t attributes)
{
    const int i = find(key);
    if (i >= 0) {
        ESProperty &p = properties[size_t(i)];
        if (!(p.attributes & ReadOnly))
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
    if (p.attributes & DontDelete)
        return false;
    p.key = nullptr;
    p.attributes = 0;
    p.value = ESValue();
    if (m_index)
        rebuildIndex();
    return true;
}

void ESObject::clear()
{
    prototype = nullptr;
    internalValue = ESValue();
    callCode = nullptr;
    constructible = false;
    cls = nullptr;
    std::vector<ESProperty>().swap(properties);
    std::vector<ESValue>().swap(elements);
    builtinIndex = -1;
    length = 0;
    data = nullptr;
    m_index.reset();
}

} // namespace zim::script
