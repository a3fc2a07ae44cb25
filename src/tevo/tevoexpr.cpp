// Evaluation and printing of TEVO expressions.
#include "tevo/tevoexpr.h"

#include "tevo/tevoinsn.h"
#include "tevo/tevosymbol.h"

#include <limits>

namespace zim::tevo {

namespace {

const QString tooDeep = QStringLiteral("expression nested too deeply");

// Wrapping arithmetic without signed overflow.
int64_t wrap(uint64_t v) { return int64_t(v); }

QByteArray operandText(TEVOExpr *expr, int depth)
{
    if (!expr)
        return QByteArrayLiteral("?");
    QByteArray text = expr->textAt(depth + 1);
    if (expr->exprKind() == TEVOExpr::ExprKind::Binary && static_cast<TEVOBinaryExpr *>(expr)->op() != 0x69)
        return '(' + text + ')';
    return text;
}

} // namespace

TEVOValue TEVOValue::failure(const QString &message)
{
    TEVOValue v;
    v.error = true;
    v.message = message;
    return v;
}

TEVOValue TEVOConstExpr::evaluateAt(int)
{
    TEVOValue v;
    v.value = m_value;
    return v;
}

QByteArray TEVOConstExpr::textAt(int)
{
    if (m_value < 16)
        return QByteArray::number(qlonglong(m_value));
    return "0x" + QByteArray::number(qulonglong(m_value), 16);
}

TEVOValue TEVOSymbolExpr::evaluateAt(int depth)
{
    const QString name = QString::fromLatin1(nameText(m_symbol->name()));
    if (m_symbol->isEvaluating())
        return TEVOValue::failure(QStringLiteral("circular reference to ") + name);
    if (!m_symbol->definition())
        return TEVOValue::failure(QStringLiteral("undefined symbol ") + name);
    if (depth >= maxDepth)
        return TEVOValue::failure(tooDeep);
    m_symbol->setEvaluating(true);
    TEVOValue v = m_symbol->definition()->evaluateAt(depth + 1);
    m_symbol->setEvaluating(false);
    v.attribute = m_symbol->attribute();
    v.flag1 = m_symbol->flag1();
    v.flag2 = m_symbol->flag2();
    return v;
}

QByteArray TEVOSymbolExpr::textAt(int)
{
    return nameText(m_symbol->name());
}

void TEVOSymbolExpr::appendReferences(std::vector<TEVOObject *> &out) const
{
    out.push_back(m_symbol);
}

TEVOValue TEVOMarkerExpr::evaluateAt(int)
{
    if (!m_marker->isPlaced() || m_marker->address() == TEVOInsn::noAddress) {
        QString message = QStringLiteral("forward reference to label");
        if (m_marker->name())
            message += QLatin1Char(' ') + QString::fromLatin1(nameText(m_marker->name()));
        return TEVOValue::failure(message);
    }
    TEVOValue v;
    v.value = int64_t(int32_t(m_marker->address()));
    v.base = m_marker->section();
    return v;
}

QByteArray TEVOMarkerExpr::textAt(int)
{
    if (m_marker->name())
        return nameText(m_marker->name());
    return "L" + QByteArray::number(m_marker->number());
}

void TEVOMarkerExpr::appendReferences(std::vector<TEVOObject *> &out) const
{
    out.push_back(m_marker);
}

TEVOValue TEVORegisterExpr::evaluateAt(int)
{
    TEVOValue v;
    v.value = m_number;
    return v;
}

QByteArray TEVORegisterExpr::textAt(int)
{
    return "R" + QByteArray::number(m_number);
}

const char *TEVOBinaryExpr::operatorText(uint8_t op)
{
    switch (op) {
    case 0x0B: return " + ";
    case 0x0C: return " - ";
    case 0x0D: return " * ";
    case 0x0E: return " / ";
    case 0x0F: return " % ";
    case 0x10: return " & ";
    case 0x11: return " | ";
    case 0x12: return " ^ ";
    case 0x13: return " << ";
    case 0x14: return " >> ";
    case 0x15: return " == ";
    case 0x16: return " != ";
    case 0x17: return " > ";
    case 0x18: return " < ";
    case 0x19: return " >= ";
    case 0x1A: return " <= ";
    case 0x1B: return " && ";
    case 0x1C: return " || ";
    case 0x55: return " ASHR ";
    default: return " ?? ";
    }
}

TEVOValue TEVOBinaryExpr::evaluateAt(int depth)
{
    if (depth >= maxDepth)
        return TEVOValue::failure(tooDeep);
    TEVOValue l = m_left->evaluateAt(depth + 1);
    if (l.error)
        return l;
    TEVOValue r = m_right->evaluateAt(depth + 1);
    if (r.error)
        return r;

    const int64_t L = l.value;
    const int64_t R = r.value;
    const uint64_t shift = uint64_t(R);
    TEVOValue v;
    switch (m_op) {
    case 0x0B:
        v.value = wrap(uint64_t(L) + uint64_t(R));
        v.base = l.base ? l.base : r.base;
        break;
    case 0x0C:
        v.value = wrap(uint64_t(L) - uint64_t(R));
        v.base = (l.base && r.base) ? nullptr : (l.base ? l.base : r.base);
        break;
    case 0x0D:
        v.value = wrap(uint64_t(L) * uint64_t(R));
        v.base = r.base ? nullptr : l.base;
        break;
    case 0x0E:
        if (R == 0)
            return TEVOValue::failure(QStringLiteral("division by zero"));
        v.value = (L == std::numeric_limits<int64_t>::min() && R == -1) ? L : L / R;
        break;
    case 0x0F:
        if (R == 0)
            return TEVOValue::failure(QStringLiteral("modulus by zero"));
        v.value = (R == -1) ? 0 : L % R;
        break;
    case 0x10: v.value = L & R; break;
    case 0x11: v.value = L | R; break;
    case 0x12: v.value = L ^ R; break;
    case 0x13: v.value = shift >= 64 ? 0 : wrap(uint64_t(L) << shift); break;
    case 0x14: v.value = shift >= 64 ? 0 : wrap(uint64_t(L) >> shift); break;
    case 0x55: v.value = shift >= 64 ? (L < 0 ? -1 : 0) : (L >> shift); break;
    case 0x15: v.value = L == R; break;
    case 0x16: v.value = L != R; break;
    case 0x17: v.value = L > R; break;
    case 0x18: v.value = L < R; break;
    case 0x19: v.value = L >= R; break;
    case 0x1A: v.value = L <= R; break;
    case 0x1B: v.value = (L != 0) && (R != 0); break;
    case 0x1C: v.value = (L != 0) || (R != 0); break;
    case 0x69:
        v.value = L >> 1;
        v.base = l.base;
        break;
    default:
        v.value = L;
        v.base = l.base;
        break;
    }
    return v;
}

QByteArray TEVOBinaryExpr::textAt(int depth)
{
    if (depth >= maxDepth)
        return QByteArrayLiteral("...");
    if (m_op == 0x69)
        return "W:(" + m_left->textAt(depth + 1) + ", " + m_right->textAt(depth + 1) + ")";
    return operandText(m_left, depth) + operatorText(m_op) + operandText(m_right, depth);
}

void TEVOBinaryExpr::appendReferences(std::vector<TEVOObject *> &out) const
{
    out.push_back(m_left);
    out.push_back(m_right);
}

} // namespace zim::tevo
