// ESObject: the pooled record behind every script object, with its property vector.
#pragma once

#include "script/esvalue.h"

#include <memory>
#include <vector>

namespace zim::script {

class ESClass;
struct ESCompiledFunction;

enum ESPropertyAttribute : uint32_t {
    ReadOnly = 1,
    DontEnum = 2,
    DontDelete = 4,
};

struct ESProperty
{
    ESAtom *key;         // null marks a deleted entry
    uint32_t attributes;
    ESValue value;
};

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

class ESObject
{
public:
    ESObject *prototype = nullptr;
    ESValue internalValue;
    ESClosure *callCode = nullptr;
    bool constructible = false;
    ESClass *cls = nullptr;
    std::vector<ESProperty> properties;
    int32_t builtinIndex = -1;

    // Dense elements of an array (holes marked ESHole) and its length.
    std::vector<ESValue> elements;
    uint32_t length = 0;
    // Class-specific data, freed by the class's finalize.
    void *data = nullptr;

    // Pool links and collector state.
    ESObject *nextFree = nullptr;
    bool inUse = false;
    bool marked = false;

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
    void indexAppend(int slot) const;
    void rebuildIndex() const;
    // Built on the first search of an object past the threshold, and brought up to date when
    // entries were appended to the vector directly (as a call's variable object is filled).
    mutable std::unique_ptr<ESPropertyIndex> m_index;
    friend class ESContext;
};

} // namespace zim::script
