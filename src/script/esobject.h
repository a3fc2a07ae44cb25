// ESObject: the pooled record behind every script object, with its property vector.
#pragma once

#include "script/eselementvector.h"
#include "script/esvalue.h"

#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

namespace zim::script {

class ESClass;
struct ESCompiledFunction;

enum ESPropertyAttribute : uint32_t {
    ReadOnly = 1,
    DontEnum = 2,
    DontDelete = 4,
};

// One entry of an object: its name, attributes and value. Atoms are 8-byte aligned, so the three
// attribute bits ride in the low bits of the name's pointer and an entry takes 24 bytes: the small
// objects a program makes by the hundred thousand keep two entries in their record.
class ESProperty
{
public:
    static constexpr uintptr_t AttributeBits = ReadOnly | DontEnum | DontDelete;

    ESProperty(ESAtom *key, uint32_t attributes, const ESValue &value)
        : m_keyAndAttributes(reinterpret_cast<uintptr_t>(key) | (attributes & AttributeBits)), value(value)
    {
    }

    // The name; null marks a deleted entry.
    ESAtom *key() const { return reinterpret_cast<ESAtom *>(m_keyAndAttributes & ~AttributeBits); }
    uint32_t attributes() const { return uint32_t(m_keyAndAttributes & AttributeBits); }
    void setAttributes(uint32_t attributes)
    {
        m_keyAndAttributes = (m_keyAndAttributes & ~AttributeBits) | (attributes & AttributeBits);
    }
    // Marks the entry deleted.
    void erase() { m_keyAndAttributes = 0; }

private:
    uintptr_t m_keyAndAttributes;

public:
    ESValue value;
};
// Entries move between the record and the heap as plain bytes.
static_assert(std::is_trivially_copyable_v<ESProperty>);
static_assert(sizeof(ESProperty) == 24);
static_assert(alignof(ESAtom) > ESProperty::AttributeBits);

// What calling or constructing a function object runs: a compiled script function with the
// scope chain it closed over, or (for native functions) nothing beyond the object's class.
struct ESClosure
{
    std::shared_ptr<ESCompiledFunction> function;
    int parameterCount = 0;
    ESObject *scope = nullptr;
};

// An open-addressed index from atom to property slot, built for objects with many properties.
struct ESPropertyIndex
{
    std::vector<int32_t> table;   // -1 empty; capacity is a power of two
    uint32_t mask = 0;
    size_t covered = 0;           // the slots below this one are in the table
};

// The property entries of an object. The first few live inside the record itself, so that the
// many small objects a program makes need no allocation of their own; past those the entries move
// to one block on the heap, which also carries the hashed index of a large object.
class ESPropertyVector
{
public:
    static constexpr uint32_t InlineCapacity = 2;

    ESPropertyVector() = default;
    ~ESPropertyVector() { release(); }
    ESPropertyVector(const ESPropertyVector &) = delete;
    ESPropertyVector &operator=(const ESPropertyVector &) = delete;

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    size_t capacity() const { return m_capacity; }
    ESProperty *data() { return onHeap() ? m_storage.heap.entries : inlineEntries(); }
    const ESProperty *data() const { return onHeap() ? m_storage.heap.entries : inlineEntries(); }
    ESProperty &operator[](size_t i) { return data()[i]; }
    const ESProperty &operator[](size_t i) const { return data()[i]; }
    ESProperty *begin() { return data(); }
    ESProperty *end() { return data() + m_size; }
    const ESProperty *begin() const { return data(); }
    const ESProperty *end() const { return data() + m_size; }

    void reserve(size_t count)
    {
        if (count > m_capacity)
            reallocate(count);
    }
    void push_back(const ESProperty &property)
    {
        if (m_size == m_capacity)
            reallocate(m_capacity < 8 ? size_t(m_capacity) * 2 : size_t(m_capacity) + m_capacity / 2);
        data()[m_size++] = property;
    }
    // Drops every entry and gives the heap block back: the record is inline again.
    void release();

    // The hashed index, kept only by entries on the heap (an object with few entries has none).
    ESPropertyIndex *index() const { return onHeap() ? m_storage.heap.index : nullptr; }
    ESPropertyIndex &makeIndex() const;
    void dropIndex() const;

private:
    bool onHeap() const { return m_capacity > InlineCapacity; }
    ESProperty *inlineEntries() { return reinterpret_cast<ESProperty *>(m_storage.entries); }
    const ESProperty *inlineEntries() const { return reinterpret_cast<const ESProperty *>(m_storage.entries); }
    void reallocate(size_t capacity);

    uint32_t m_size = 0;
    uint32_t m_capacity = InlineCapacity;
    union Storage {
        alignas(ESProperty) unsigned char entries[InlineCapacity * sizeof(ESProperty)];
        struct
        {
            ESProperty *entries;
            ESPropertyIndex *index;
        } heap;
    };
    // The index is made on a search, which does not change the entries.
    mutable Storage m_storage;
};

class ESObject
{
public:
    ESObject() {}
    ~ESObject()
    {
        if (m_holdsElements)
            m_room.elements.~ESElementVector();
    }
    ESObject(const ESObject &) = delete;
    ESObject &operator=(const ESObject &) = delete;

    ESObject *prototype = nullptr;

    // One room of the record holds either the dense elements of an array (holes marked ESHole,
    // with the array's length below) or, for any other object, its internal value: the primitive
    // of a Boolean, Number, String or Date, the object of a scope link, the activation of an
    // arguments object, the record of a bound function. Arrays are the only objects with
    // elements, and they have no internal value (Array's own natives share the array class and
    // so go without one); the array class makes its records hold elements when they are made.
    bool holdsElements() const { return m_holdsElements; }
    ESValue &internalValue()
    {
        Q_ASSERT(!m_holdsElements);
        return m_room.value;
    }
    const ESValue &internalValue() const
    {
        Q_ASSERT(!m_holdsElements);
        return m_room.value;
    }
    ESElementVector &elements()
    {
        Q_ASSERT(m_holdsElements);
        return m_room.elements;
    }
    const ESElementVector &elements() const
    {
        Q_ASSERT(m_holdsElements);
        return m_room.elements;
    }

private:
    union Room {
        Room() : value() {}
        ~Room() {}
        ESValue value;
        ESElementVector elements;
    } m_room;

public:
    ESClosure *callCode = nullptr;
    ESClass *cls = nullptr;
    ESPropertyVector properties;

    // The length of an array (of a for-in state, the position of the next name).
    uint32_t length = 0;
    // The member number of a native function (native classes and hosts number their members
    // from 0 up, in the hundreds at most), -1 for other objects.
    int16_t builtinIndex = -1;
    bool constructible : 1 = false;
    // Pool and collector state.
    bool inUse : 1 = false;
    bool marked : 1 = false;
private:
    // Which use of the room is live: set once, for a record of the array class.
    bool m_holdsElements : 1 = false;

public:
    union {
        // Class-specific data, freed by the class's finalize.
        void *data = nullptr;
        // The pool's link while the record is free.
        ESObject *nextFree;
    };

    bool isCallable() const { return callCode != nullptr; }

    // Own-vector operations (no class behaviour). find returns the slot or -1.
    int find(ESAtom *key) const;
    ESProperty *findProperty(ESAtom *key)
    {
        const int i = find(key);
        return i < 0 ? nullptr : &properties[size_t(i)];
    }
    // Replaces the value of an own entry, or appends one; a read-only entry keeps its value.
    void putOwn(ESAtom *key, const ESValue &value, uint32_t attributes = 0);
    // Appends or overwrites regardless of ReadOnly, setting the attributes.
    void define(ESAtom *key, const ESValue &value, uint32_t attributes);
    // Marks the entry deleted: false when it is DontDelete.
    bool removeOwn(ESAtom *key);
    void clear();

private:
    // Gives the room to elements, once, while the record is new.
    void holdElements();
    // The index is built on the first search of an object past the threshold, and brought up to
    // date when entries were appended to the vector directly (as a call's variable object is filled).
    void indexAppend(int slot) const;
    void rebuildIndex() const;
    friend class ESContext;
};

// Programs hold up to millions of records, so their size is watched: a field added is noticed here.
static_assert(sizeof(ESObject) == 112);

} // namespace zim::script
