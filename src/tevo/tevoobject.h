// The common base of the TEVO object model, strings and file names.
#pragma once

#include "tevo/tevopool.h"

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace zim::tevo {

class TEVOString;

// Every object a TEVO stream can put on the operand stack. The kind lets the reader check an
// operand's class with one comparison.
class TEVOObject : public PoolObject
{
public:
    enum class Kind : uint8_t { String, Filename, Symbol, Type, Expr, Record, Section, Scope };

    explicit TEVOObject(Kind kind) : m_kind(kind) {}

    Kind kind() const { return m_kind; }

    // The object's name; computed on first use by the classes that have no given name. Records
    // other than markers never reach the operand stack, so they have no name to keep.
    virtual const TEVOString *name() { return nullptr; }
    // Objects without a name of their own (records, strings) ignore it.
    virtual void setName(const TEVOString *name) { (void)name; }

    // Sets the "used" mark on this object and everything it refers to (without recursion, so
    // deep expressions cannot exhaust the stack).
    void mark(bool used);
    bool isMarked() const { return m_marked; }

protected:
    // The objects this one refers to, for mark().
    virtual void appendReferences(std::vector<TEVOObject *> &out) const { (void)out; }

private:
    Kind m_kind;
    bool m_marked = false;
};

// An object that keeps the name SETNAME (or its maker) gives it.
class TEVONamedObject : public TEVOObject
{
public:
    explicit TEVONamedObject(Kind kind, const TEVOString *name = nullptr) : TEVOObject(kind), m_name(name) {}

    const TEVOString *name() override { return m_name; }
    void setName(const TEVOString *name) override { m_name = name; }

protected:
    const TEVOString *m_name;
};

// A byte string cut from a string pool; the bytes belong to the module's pool.
class TEVOString : public TEVOObject
{
public:
    static constexpr bool ownsNothing = true;
    TEVOString(const uint8_t *data, uint32_t size) : TEVOObject(Kind::String), m_data(data), m_size(size) {}

    const uint8_t *data() const { return m_data; }
    uint32_t size() const { return m_size; }
    QByteArray bytes() const { return QByteArray(reinterpret_cast<const char *>(m_data), qsizetype(m_size)); }
    const TEVOString *name() override { return this; }

private:
    const uint8_t *m_data;
    uint32_t m_size;
};

// The text of a possibly missing name, for messages and listings.
QByteArray nameText(const TEVOString *name);

// A source file name, as LOCUS and SYMBOL_LOCUS refer to it.
class TEVOFilename : public TEVONamedObject
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOFilename(const TEVOString *fileName) : TEVONamedObject(Kind::Filename, fileName) {}
};

} // namespace zim::tevo
