// Evaluation and printing of TEVO expressions.
#include "tevo/tevoexpr.h"

#include "tevo/tevoinsn.h"
#include "tevo/tevosymbol.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

namespace zim::tevo {

// One evaluation: the values of the subexpressions computed so far that took more than a few
// steps, so that one met again (both operands of DUP then ADD, a symbol several others use)
// is not computed again. Only values without an error are kept: an error can depend on where
// the subexpression is met (a circular reference only while its symbol is being computed),
// and errors end an evaluation early, along one path, so they are never computed twice over.
class TEVOEvaluation
{
public:
    struct Kept
    {
        TEVOValue value;
        // How much deeper than the subexpression itself its computation checked the depth.
        int height;
    };
    std::unordered_map<const TEVOExpr *, Kept> kept;
    // The deepest depth checked so far in the subexpression being computed; -1 for none.
    int deepest = -1;

    void reached(int depth) { deepest = std::max(deepest, depth); }
};

namespace {

const QString tooDeep = QStringLiteral("expression nested too deeply");

bool isLeaf(const TEVOExpr *expr)
{
    return expr->exprKind() != TEVOExpr::ExprKind::Binary && expr->exprKind() != TEVOExpr::ExprKind::Symbol;
}

// Whether computing the expression takes more than a few steps: it refers to a binary
// expression or a symbol whose value has to be computed in turn.
bool worthKeeping(const TEVOExpr *expr)
{
    switch (expr->exprKind()) {
    case TEVOExpr::ExprKind::Binary: {
        const auto *binary = static_cast<const TEVOBinaryExpr *>(expr);
        return !isLeaf(binary->left()) || !isLeaf(binary->right());
    }
    case TEVOExpr::ExprKind::Symbol: {
        const TEVOExpr *definition = static_cast<const TEVOSymbolExpr *>(expr)->symbol()->definition();
        return definition && !isLeaf(definition);
    }
    default:
        return false;
    }
}

// Wrapping arithmetic without signed overflow.
int64_t wrap(uint64_t v) { return int64_t(v); }

QByteArray operandText(TEVOExpr *expr, int depth, int &budget)
{
    if (!expr)
        return QByteArrayLiteral("?");
    QByteArray text = expr->textAt(depth + 1, budget);
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

TEVOValue TEVOExpr::evaluate()
{
    TEVOEvaluation evaluation;
    return evaluateIn(evaluation, 0);
}

TEVOValue TEVOExpr::evaluateIn(TEVOEvaluation &evaluation, int depth)
{
    // The expression evaluated first is met only once, unless it is an error.
    if (depth == 0 || !worthKeeping(this))
        return compute(evaluation, depth);
    const auto found = evaluation.kept.find(this);
    if (found != evaluation.kept.end()) {
        // Computed afresh here, it would check the depth this much further down.
        const int deepest = depth + found->second.height;
        if (deepest >= maxDepth)
            return TEVOValue::failure(tooDeep);
        evaluation.reached(deepest);
        return found->second.value;
    }
    const int outside = evaluation.deepest;
    evaluation.deepest = -1;
    TEVOValue v = compute(evaluation, depth);
    const int deepest = evaluation.deepest;
    evaluation.deepest = std::max(outside, deepest);
    if (!v.error)
        evaluation.kept.emplace(this, TEVOEvaluation::Kept{v, deepest - depth});
    return v;
}

QByteArray TEVOExpr::text()
{
    int budget = maxTextOperators;
    return textAt(0, budget);
}

TEVOValue TEVOConstExpr::compute(TEVOEvaluation &, int)
{
    TEVOValue v;
    v.value = m_value;
    return v;
}

QByteArray TEVOConstExpr::textAt(int, int &)
{
    if (m_value < 16)
        return QByteArray::number(qlonglong(m_value));
    return "0x" + QByteArray::number(qulonglong(m_value), 16);
}

TEVOValue TEVOSymbolExpr::compute(TEVOEvaluation &evaluation, int depth)
{
    const QString name = QString::fromLatin1(nameText(m_symbol->name()));
    if (m_symbol->isEvaluating())
        return TEVOValue::failure(QStringLiteral("circular reference to ") + name);
    if (!m_symbol->definition())
        return TEVOValue::failure(QStringLiteral("undefined symbol ") + name);
    if (depth >= maxDepth)
        return TEVOValue::failure(tooDeep);
    evaluation.reached(depth);
    m_symbol->setEvaluating(true);
    TEVOValue v = m_symbol->definition()->evaluateIn(evaluation, depth + 1);
    m_symbol->setEvaluating(false);
    v.attribute = m_symbol->attribute();
    v.flag1 = m_symbol->flag1();
    v.flag2 = m_symbol->flag2();
    return v;
}

QByteArray TEVOSymbolExpr::textAt(int, int &)
{
    return nameText(m_symbol->name());
}

void TEVOSymbolExpr::appendReferences(std::vector<TEVOObject *> &out) const
{
    out.push_back(m_symbol);
}

TEVOValue TEVOMarkerExpr::compute(TEVOEvaluation &, int)
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

QByteArray TEVOMarkerExpr::textAt(int, int &)
{
    if (m_marker->name())
        return nameText(m_marker->name());
    return "L" + QByteArray::number(m_marker->number());
}

void TEVOMarkerExpr::appendReferences(std::vector<TEVOObject *> &out) const
{
    out.push_back(m_marker);
}

TEVOValue TEVORegisterExpr::compute(TEVOEvaluation &, int)
{
    TEVOValue v;
    v.value = m_number;
    return v;
}

QByteArray TEVORegisterExpr::textAt(int, int &)
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

TEVOValue TEVOBinaryExpr::compute(TEVOEvaluation &evaluation, int depth)
{
    if (depth >= maxDepth)
        return TEVOValue::failure(tooDeep);
    evaluation.reached(depth);
    TEVOValue l = m_left->evaluateIn(evaluation, depth + 1);
    if (l.error)
        return l;
    TEVOValue r = m_right->evaluateIn(evaluation, depth + 1);
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

QByteArray TEVOBinaryExpr::textAt(int depth, int &budget)
{
    if (depth >= maxDepth || --budget < 0)
        return QByteArrayLiteral("...");
    if (m_op == 0x69) {
        QByteArray left = m_left->textAt(depth + 1, budget);
        return "W:(" + left + ", " + m_right->textAt(depth + 1, budget) + ")";
    }
    QByteArray left = operandText(m_left, depth, budget);
    return left + operatorText(m_op) + operandText(m_right, depth, budget);
}

void TEVOBinaryExpr::appendReferences(std::vector<TEVOObject *> &out) const
{
    out.push_back(m_left);
    out.push_back(m_right);
}

} // namespace zim::tevo
