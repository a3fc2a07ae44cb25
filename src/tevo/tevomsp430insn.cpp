// Sizes and bytes of MSP430 instruction records.
#include "tevo/tevomsp430insn.h"

#include "tevo/tevoexpr.h"

namespace zim::tevo {

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
    if (TEVOExpr *operand = first())
        text += ", " + operand->text();
    if (TEVOExpr *operand = second())
        text += ", " + operand->text();
    return text;
}

void TEVOMSP430Insn::appendReferences(std::vector<TEVOObject *> &out) const
{
    TEVOInsn::appendReferences(out);
    out.push_back(first());
    out.push_back(second());
}

} // namespace zim::tevo
