// Names and references of TEVO types.
#include "tevo/tevotype.h"

#include "tevo/tevoexpr.h"
#include "tevo/tevosymbol.h"

namespace zim::tevo {

const TEVOString *TEVOType::name()
{
    if (m_name)
        return m_name;
    if (!m_nameString) {
        m_nameText = typeText();
        m_nameString = std::make_unique<TEVOString>(reinterpret_cast<const uint8_t *>(m_nameText.constData()),
                                                    uint32_t(m_nameText.size()));
    }
    return m_nameString.get();
}

QByteArray TEVOType::typeText() const
{
    switch (m_typeKind) {
    case TypeKind::Int:
        return QByteArray("INT(") + QByteArray::number(qulonglong(m_size)) + ')';
    case TypeKind::Unsigned:
        return QByteArray("UNSIGNED(") + QByteArray::number(qulonglong(m_size)) + ')';
    case TypeKind::Float:
        return QByteArray("FLOAT(") + QByteArray::number(qulonglong(m_size)) + ')';
    case TypeKind::Untyped:
        return QByteArrayLiteral("VOID");
    case TypeKind::Pointer:
        return QByteArrayLiteral("PTR");
    case TypeKind::Qualified:
        return QByteArray("MEMSPACE(") + QByteArray::number(m_qualifier) + ')';
    case TypeKind::Array:
        return QByteArray("ARRAY[") + QByteArray::number(qulonglong(m_size)) + ']';
    case TypeKind::CountedArray:
        return QByteArrayLiteral("COUNTED_ARRAY");
    case TypeKind::Structure:
        return QByteArrayLiteral("STRUC");
    case TypeKind::Function:
        return QByteArrayLiteral("FUNCTION");
    case TypeKind::Member:
        return QByteArrayLiteral("MEMBER");
    case TypeKind::Forward:
        return QByteArray("FORWARD(") + QByteArray::number(m_qualifier) + ')';
    }
    return QByteArray();
}

void TEVOType::appendReferences(std::vector<TEVOObject *> &out) const
{
    out.push_back(m_inner);
    out.push_back(m_second);
    for (const Field &field : m_fields) {
        out.push_back(field.type);
        out.push_back(field.address);
    }
    out.insert(out.end(), m_inputs.begin(), m_inputs.end());
    out.insert(out.end(), m_outputs.begin(), m_outputs.end());
}

} // namespace zim::tevo
