// ESClass: the behaviour shared by all objects of one kind, as virtual operations.
#pragma once

#include "script/esvalue.h"

#include <vector>

namespace zim::script {

class ESContext;
class ESObject;

class ESClass
{
public:
    explicit ESClass(const char *name) : m_name(name) {}
    virtual ~ESClass() = default;
    ESClass(const ESClass &) = delete;
    ESClass &operator=(const ESClass &) = delete;

    const char *className() const { return m_name; }

    // Looks the atom up along the prototype chain, each object answering through its own class.
    virtual ESValue get(ESContext &context, ESObject *object, ESAtom *atom);
    // Writes or appends an own property; a read-only entry keeps its value.
    virtual void put(ESContext &context, ESObject *object, ESAtom *atom, const ESValue &value);
    // Hooks without a caller; the base answers false / undefined.
    virtual bool hook2(ESContext &context, ESObject *object, ESAtom *atom);
    virtual bool hook3(ESContext &context, ESObject *object, ESAtom *atom);
    // Called by the Array length setter for each index cut off.
    virtual bool removeProperty(ESContext &context, ESObject *object, ESAtom *atom);
    virtual ESValue valueHook(ESContext &context, ESObject *object, const ESValue &a, const ESValue &b);
    // Calls a function object of this class; the result goes into args[0], which always exists.
    virtual void call(ESContext &context, ESObject *function, const ESValue &thisValue, int count, ESValue *args);
    // Constructs with a function object of this class; null when it is not a constructor.
    virtual ESObject *construct(ESContext &context, ESObject *function, int count, ESValue *args);

    // Own-property access as the class sees it (arrays, strings and arguments add their own).
    virtual bool getOwn(ESContext &context, ESObject *object, ESAtom *atom, ESValue &value);
    // The delete operator: false when the property may not be deleted.
    virtual bool deleteProperty(ESContext &context, ESObject *object, ESAtom *atom);
    // The enumerable own names, in the order for-in shows them.
    virtual void enumerate(ESContext &context, ESObject *object, std::vector<ESAtom *> &names);
    // Element access by number; the base goes through the index atom.
    virtual bool getIndex(ESContext &context, ESObject *object, uint32_t index, ESValue &value);
    virtual void putIndex(ESContext &context, ESObject *object, uint32_t index, const ESValue &value);
    // Values the object holds outside its properties, for the collector.
    virtual void markExtra(ESContext &context, ESObject *object);
    // Frees the class-specific data of an object that is being reclaimed.
    virtual void finalize(ESObject *object);

protected:
    void setClassName(const char *name) { m_name = name; }

private:
    const char *m_name;
};

} // namespace zim::script
