// Sizes and bytes of MSP430 instruction records.
#include "tevo/tevomsp430insn.h"

#include "tevo/tevoexpr.h"

namespace zim::tevo {

uint32_t TEVOMSP430Insn::sizeFor(uint32_t code, bool hasFirst, bool hasSecond)
{
    const uint32_t operands = (hasFirst ? 2 : 0) + (hasSecond ? 2 : 0);
    if (code >= 0x18000000)
        return 4 + operands;
    if (code >= 0x20000)
        return 8;
    if (code >= 0x10000)
        return 6;
    if ((code & 0xFFFF) >= 0x2000 && (code & 0xFFFF) <= 0x3FFF)
        return 2;
    return 2 + operands;
}

QString TEVOMSP430Insn::problem()
{
    if (storedSize() >= size())
        return QString();
    return QStringLiteral("bad object file: instruction at 0x%1 has %2 of its %3 bytes")
        .arg(address(), 4, 16, QLatin1Char('0'))
        .arg(storedSize())
        .arg(size());
}

QByteArray TEVOMSP430Insn::listingText()
{
    QByteArray text = "\tINSN\t0x" + QByteArray::number(m_code, 16);
    if (m_first)
        text += ", " + m_first->text();
    if (m_second)
        text += ", " + m_second->text();
    return text;
}

void TEVOMSP430Insn::appendReferences(std::vector<TEVOObject *> &out) const
{
    TEVOInsn::appendReferences(out);
    out.push_back(m_first);
    out.push_back(m_second);
}

} // namespace zim::tevo
