// TEVO expressions and the value record their evaluation yields. Evaluation never throws:
// errors travel inside the value record.
#pragma once

#include "tevo/tevoobject.h"

#include <QString>
#include <cstdint>

namespace zim::tevo {

class TEVOEvaluation;
class TEVOMarker;
class TEVOSection;
class TEVOSymbol;

// What evaluating an expression yields.
struct TEVOValue
{
    bool error = false;
    int64_t value = 0;
    uint32_t attribute = 0xFFFFFFFF;
    bool flag1 = false;
    bool flag2 = false;
    QString message;
    // The section the value is relative to; null for an absolute value.
    TEVOSection *base = nullptr;

    static TEVOValue failure(const QString &message);
};

class TEVOExpr : public TEVOObject
{
public:
    enum class ExprKind : uint8_t { Const, Symbol, Marker, Register, Binary };

    // Expressions nested deeper than this evaluate to an error value (and print as "...") so
    // that a crafted stream cannot exhaust the stack.
    static constexpr int maxDepth = 1000;
    static constexpr int maxTextOperators = 4096;

    explicit TEVOExpr(ExprKind exprKind) : TEVOObject(Kind::Expr), m_exprKind(exprKind) {}

    ExprKind exprKind() const { return m_exprKind; }
    const TEVOString *name() override { return m_name; }
    void setName(const TEVOString *name) override { m_name = name; }

    // The value of the expression. A subexpression met more than once (an expression that
    // uses itself twice, a symbol used by several others) is computed once per call.
    TEVOValue evaluate();
    // The listing text of the expression. Past maxTextOperators operators, or maxDepth levels,
    // the rest prints as "...": an expression that uses itself twice, sixty times over, would
    // otherwise print 2^60 operators.
    QByteArray text();

    // The value at the given nesting depth, within one evaluation.
    TEVOValue evaluateIn(TEVOEvaluation &evaluation, int depth);
    // The text at the given nesting depth; budget is the number of operators left to print.
    virtual QByteArray textAt(int depth, int &budget) = 0;

protected:
    // Computes the value; evaluateIn() keeps the values worth keeping.
    virtual TEVOValue compute(TEVOEvaluation &evaluation, int depth) = 0;

private:
    // The kind first, so that it shares the padding at the end of TEVOObject.
    ExprKind m_exprKind;
    const TEVOString *m_name = nullptr;
};

class TEVOConstExpr : public TEVOExpr
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOConstExpr(int64_t value) : TEVOExpr(ExprKind::Const), m_value(value) {}

    int64_t value() const { return m_value; }
    TEVOValue compute(TEVOEvaluation &evaluation, int depth) override;
    // "%lld" for negative values and values below 16, "0x%llx" otherwise.
    QByteArray textAt(int depth, int &budget) override;

private:
    int64_t m_value;
};

class TEVOSymbolExpr : public TEVOExpr
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOSymbolExpr(TEVOSymbol *symbol) : TEVOExpr(ExprKind::Symbol), m_symbol(symbol) {}

    TEVOSymbol *symbol() const { return m_symbol; }
    // The symbol's defining expression; "circular reference to NAME" when the symbol is reached
    // again while its own value is computed, "undefined symbol NAME" without a definition.
    TEVOValue compute(TEVOEvaluation &evaluation, int depth) override;
    QByteArray textAt(int depth, int &budget) override;

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    TEVOSymbol *m_symbol;
};

class TEVOMarkerExpr : public TEVOExpr
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOMarkerExpr(TEVOMarker *marker) : TEVOExpr(ExprKind::Marker), m_marker(marker) {}

    TEVOMarker *marker() const { return m_marker; }
    void bind(TEVOMarker *marker) { m_marker = marker; }
    // The marker's address with its section as base; "forward reference to label" (and the
    // marker's name) while the marker has no address.
    TEVOValue compute(TEVOEvaluation &evaluation, int depth) override;
    QByteArray textAt(int depth, int &budget) override;

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    TEVOMarker *m_marker;
};

class TEVORegisterExpr : public TEVOExpr
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVORegisterExpr(int number) : TEVOExpr(ExprKind::Register), m_number(number) {}

    int number() const { return m_number; }
    TEVOValue compute(TEVOEvaluation &evaluation, int depth) override;
    QByteArray textAt(int depth, int &budget) override;

private:
    int m_number;
};

// A binary operator applied to two expressions; the operator is the reader's opcode
// (0x0B-0x1C, 0x55, 0x5E, and 0x69 for a word address).
class TEVOBinaryExpr : public TEVOExpr
{
public:
    static constexpr bool ownsNothing = true;
    TEVOBinaryExpr(uint8_t op, TEVOExpr *left, TEVOExpr *right)
        : TEVOExpr(ExprKind::Binary), m_op(op), m_left(left), m_right(right)
    {
    }

    uint8_t op() const { return m_op; }
    TEVOExpr *left() const { return m_left; }
    TEVOExpr *right() const { return m_right; }

    TEVOValue compute(TEVOEvaluation &evaluation, int depth) override;
    QByteArray textAt(int depth, int &budget) override;

    // The listing text of an operator (" + ", " ?? " for one without text).
    static const char *operatorText(uint8_t op);

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    uint8_t m_op;
    TEVOExpr *m_left;
    TEVOExpr *m_right;
};

} // namespace zim::tevo
