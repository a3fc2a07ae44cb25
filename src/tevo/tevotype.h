// TEVO types: simple, floating, untyped, pointer, qualified, array, structure and function
// types, all in one class told apart by their kind.
#pragma once

#include "tevo/tevoobject.h"

#include <QByteArray>
#include <cstdint>
#include <memory>
#include <vector>

namespace zim::tevo {

class TEVOExpr;
class TEVOSymbol;

class TEVOType : public TEVONamedObject
{
public:
    enum class TypeKind : uint8_t {
        Int, Unsigned, Float, Untyped, Pointer, Qualified, Array, CountedArray, Structure,
        Function, Member, Forward
    };

    struct Field
    {
        const TEVOString *name;
        TEVOType *type;
        TEVOExpr *address;   // static fields
        uint64_t offset;     // dynamic fields
        uint64_t bits;
    };

    TEVOType(TypeKind typeKind, uint64_t size) : TEVONamedObject(Kind::Type), m_typeKind(typeKind), m_size(size) {}

    TypeKind typeKind() const { return m_typeKind; }
    uint64_t size() const { return m_size; }

    // The target, element, qualified or member type; the second one of a pointer or
    // counted array.
    TEVOType *inner() const { return m_inner; }
    TEVOType *second() const { return m_second; }
    void setInner(TEVOType *inner, TEVOType *second = nullptr)
    {
        m_inner = inner;
        m_second = second;
    }
    // The memory space of a qualified type, the number of a forward type.
    uint32_t qualifier() const { return m_qualifier; }
    void setQualifier(uint32_t qualifier) { m_qualifier = qualifier; }

    const std::vector<Field> &fields() const { return m_fields; }
    void addField(const Field &field) { m_fields.push_back(field); }
    const std::vector<TEVOSymbol *> &inputs() const { return m_inputs; }
    const std::vector<TEVOSymbol *> &outputs() const { return m_outputs; }
    void addParameter(TEVOSymbol *symbol, bool output) { (output ? m_outputs : m_inputs).push_back(symbol); }

    // "INT(2)", "UNSIGNED(1)", "FLOAT(4)", "VOID", "PTR", ...; made on first use and kept.
    const TEVOString *name() override;

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    QByteArray typeText() const;

    QByteArray m_nameText;
    TEVOType *m_inner = nullptr;
    TEVOType *m_second = nullptr;
    std::vector<Field> m_fields;
    std::vector<TEVOSymbol *> m_inputs;
    std::vector<TEVOSymbol *> m_outputs;
    std::unique_ptr<TEVOString> m_nameString;
    TypeKind m_typeKind;
    uint32_t m_qualifier = 0;
    uint64_t m_size;
};

} // namespace zim::tevo
