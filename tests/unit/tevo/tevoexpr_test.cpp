// Expression evaluation, error values and listing texts.
#include "tevo/tevoexpr.h"
#include "tevo/tevoinsn.h"
#include "tevo/tevomodule.h"
#include "tevo/tevosection.h"
#include "tevo/tevosymbol.h"
#include "unit/tevo/tevotestutil.h"

#include <gtest/gtest.h>

namespace zim::tevo {
namespace {

class ExprTest : public testing::Test
{
protected:
    zim::tevo::TEVOExpr *num(int64_t v) { return m.pool().make<zim::tevo::TEVOConstExpr>(v); }
    zim::tevo::TEVOExpr *bin(uint8_t op, zim::tevo::TEVOExpr *l, zim::tevo::TEVOExpr *r) { return m.pool().make<zim::tevo::TEVOBinaryExpr>(op, l, r); }
    const zim::tevo::TEVOString *str(const char *s)
    {
        return m.pool().make<zim::tevo::TEVOString>(reinterpret_cast<const uint8_t *>(s), uint32_t(strlen(s)));
    }
    zim::tevo::TEVOSymbol *symbol(const char *name, zim::tevo::TEVOExpr *definition)
    {
        zim::tevo::TEVOSymbol *s = m.pool().make<zim::tevo::TEVOSymbol>(str(name));
        s->setDefinition(definition);
        return s;
    }
    zim::tevo::TEVOExpr *ref(zim::tevo::TEVOSymbol *s) { return m.pool().make<zim::tevo::TEVOSymbolExpr>(s); }
    // A marker placed in section "CODE" at address.
    zim::tevo::TEVOExpr *label(uint32_t number, uint32_t address)
    {
        zim::tevo::TEVOMarker *marker = m.marker(number);
        marker->setAddress(address);
        m.section(str("CODE"))->append(marker);
        return m.pool().make<zim::tevo::TEVOMarkerExpr>(marker);
    }

    zim::tevo::TEVOModule m;
};

struct BinaryCase
{
    const char *name;
    uint8_t op;
    int64_t left;
    int64_t right;
    int64_t result;
};

class BinaryOperators : public ExprTest, public testing::WithParamInterface<BinaryCase>
{
};

TEST_P(BinaryOperators, Evaluate)
{
    const BinaryCase &c = GetParam();
    const zim::tevo::TEVOValue v = bin(c.op, num(c.left), num(c.right))->evaluate();
    ASSERT_FALSE(v.error) << v.message.toStdString();
    EXPECT_EQ(v.value, c.result);
    EXPECT_EQ(v.base, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Expr, BinaryOperators,
    testing::Values(BinaryCase{"SubtractionGoesNegative", 0x0C, 8, 10, -2},
                    BinaryCase{"DivisionTruncatesTowardZero", 0x0E, -7, 2, -3},
                    BinaryCase{"RemainderKeepsSign", 0x0F, -7, 2, -1},
                    BinaryCase{"MostNegativeOverMinusOneDoesNotTrap", 0x0E, INT64_MIN, -1, INT64_MIN},
                    BinaryCase{"ShiftRightBringsZeros", 0x14, -16, 60, 15},
                    BinaryCase{"ArithmeticShiftRepeatsSign", 0x55, -16, 2, -4},
                    BinaryCase{"ShiftBy64GivesZero", 0x13, 1, 64, 0},
                    BinaryCase{"ArithmeticShiftBy200KeepsSign", 0x55, -5, 200, -1},
                    BinaryCase{"GreaterComparesSigned", 0x17, -1, 1, 0},
                    BinaryCase{"LessOrEqualOnEqual", 0x1A, 3, 3, 1},
                    BinaryCase{"LogicalAndOfNonzero", 0x1B, 5, -3, 1},
                    BinaryCase{"LogicalOrOfZeros", 0x1C, 0, 0, 0},
                    BinaryCase{"WordAddressHalvesWithSign", 0x69, -6, 0, -3},
                    BinaryCase{"OperatorWithoutTextGivesLeft", 0x5E, 9, 4, 9}),
    [](const testing::TestParamInfo<BinaryCase> &info) { return std::string(info.param.name); });

TEST_F(ExprTest, TextsPrintSmallConstantsInDecimalAndOperatorsByTheirTexts)
{
    EXPECT_EQ(num(15)->text(), "15");
    EXPECT_EQ(num(16)->text(), "0x10");
    EXPECT_EQ(num(-2)->text(), "-2");
    EXPECT_EQ(bin(0x0D, bin(0x0B, num(1), num(2)), num(3))->text(), "(1 + 2) * 3");
    EXPECT_EQ(bin(0x1C, num(1), num(2))->text(), "1 || 2");
    EXPECT_EQ(bin(0x55, num(1), num(2))->text(), "1 ASHR 2");
    EXPECT_EQ(bin(0x5E, num(1), num(2))->text(), "1 ?? 2");
    EXPECT_EQ(bin(0x69, num(0x20), num(1))->text(), "W:(0x20, 1)");
}

TEST_F(ExprTest, DivisionAndModulusByZeroAreErrorValues)
{
    EXPECT_EQ(bin(0x0E, num(1), num(0))->evaluate().message, "division by zero");
    EXPECT_EQ(bin(0x0F, num(1), num(0))->evaluate().message, "modulus by zero");
}

TEST_F(ExprTest, TheLeftOperandsErrorComesFirst)
{
    zim::tevo::TEVOExpr *undefined = ref(symbol("nowhere", nullptr));
    const zim::tevo::TEVOValue v = bin(0x0E, undefined, num(0))->evaluate();
    EXPECT_TRUE(v.error);
    EXPECT_EQ(v.message, "undefined symbol nowhere");
    EXPECT_EQ(bin(0x0B, bin(0x0E, num(1), num(0)), undefined)->evaluate().message, "division by zero");
    EXPECT_EQ(bin(0x0B, num(1), undefined)->evaluate().message, "undefined symbol nowhere");
}

TEST_F(ExprTest, SelfAndMutualReferencesAreCircularReferences)
{
    zim::tevo::TEVOSymbol *s = symbol("loop", nullptr);
    s->setDefinition(bin(0x0B, ref(s), num(1)));
    const zim::tevo::TEVOValue v = ref(s)->evaluate();
    EXPECT_TRUE(v.error);
    EXPECT_TRUE(v.message.startsWith("circular reference to ")) << v.message.toStdString();
    // The symbol is usable again afterwards: evaluation leaves no flag behind.
    EXPECT_FALSE(s->isEvaluating());
    zim::tevo::TEVOSymbol *a = symbol("a", nullptr);
    zim::tevo::TEVOSymbol *b = symbol("b", ref(a));
    a->setDefinition(ref(b));
    EXPECT_TRUE(ref(a)->evaluate().message.startsWith("circular reference to "));
}

TEST_F(ExprTest, SymbolValuesCarryTheSymbolsAttributes)
{
    zim::tevo::TEVOSymbol *s = symbol("port", num(0x21));
    s->setAttributes(7, true, false);
    const zim::tevo::TEVOValue v = ref(s)->evaluate();
    EXPECT_EQ(v.value, 0x21);
    EXPECT_EQ(v.attribute, 7u);
    EXPECT_TRUE(v.flag1);
    EXPECT_FALSE(v.flag2);
}

TEST_F(ExprTest, LabelDifferenceHasNoBaseAndLabelPlusOffsetKeepsIt)
{
    zim::tevo::TEVOExpr *l1 = label(1, 0xF000);
    zim::tevo::TEVOExpr *l2 = label(2, 0xF010);
    const zim::tevo::TEVOValue difference = bin(0x0C, l2, l1)->evaluate();
    EXPECT_EQ(difference.value, 0x10);
    EXPECT_EQ(difference.base, nullptr);
    const zim::tevo::TEVOValue moved = bin(0x0B, l1, num(4))->evaluate();
    EXPECT_EQ(moved.value, 0xF004);
    EXPECT_EQ(moved.base, m.findSection("CODE"));
    EXPECT_EQ(bin(0x0D, num(2), l1)->evaluate().base, nullptr);
    // Marker addresses are sign-extended.
    EXPECT_EQ(label(3, 0xFFFF8000)->evaluate().value, -0x8000);
}

TEST_F(ExprTest, UnplacedMarkerIsAForwardReference)
{
    zim::tevo::TEVOMarker *unnamed = m.marker(8);
    EXPECT_EQ(m.pool().make<zim::tevo::TEVOMarkerExpr>(unnamed)->evaluate().message, "forward reference to label");
    zim::tevo::TEVOMarker *named = m.marker(9);
    named->setName(str("done"));
    EXPECT_EQ(m.pool().make<zim::tevo::TEVOMarkerExpr>(named)->evaluate().message, "forward reference to label done");
}

// A symbol chain where each symbol is the previous one added to itself is computed once per
// evaluation (sixty doublings would otherwise take 2^60 steps), and its value keeps the
// attributes of the symbol asked for.
TEST_F(ExprTest, SharedSubexpressionsAreComputedOnce)
{
    zim::tevo::TEVOSymbol *s = symbol("s", num(1));
    for (int i = 1; i <= 60; ++i)
        s = symbol("s", bin(0x0B, ref(s), ref(s)));
    s->setAttributes(5, false, true);
    const zim::tevo::TEVOValue v = ref(s)->evaluate();
    ASSERT_FALSE(v.error) << v.message.toStdString();
    EXPECT_EQ(v.value, int64_t(1) << 60);
    EXPECT_EQ(v.attribute, 5u);
    EXPECT_TRUE(v.flag2);
}

// Errors inside shared subexpressions read as they do without sharing: the first error met,
// and a circular reference only where the symbol is being computed.
TEST_F(ExprTest, SharedSubexpressionsKeepTheirErrors)
{
    zim::tevo::TEVOExpr *undefined = ref(symbol("nowhere", nullptr));
    zim::tevo::TEVOExpr *e = bin(0x0B, num(1), undefined);
    for (int i = 0; i < 60; ++i)
        e = bin(0x0B, e, e);
    EXPECT_EQ(e->evaluate().message, "undefined symbol nowhere");

    zim::tevo::TEVOExpr *quotient = bin(0x0E, num(1), num(0));
    zim::tevo::TEVOExpr *both = bin(0x0C, num(1), quotient);
    for (int i = 0; i < 60; ++i)
        both = bin(0x0B, both, both);
    EXPECT_EQ(both->evaluate().message, "division by zero");

    // loop = shared + 1 with shared = 2 * loop: the shared part is an error inside loop's own
    // computation, and so is every value reached from loop.
    zim::tevo::TEVOSymbol *loop = symbol("loop", nullptr);
    zim::tevo::TEVOExpr *shared = bin(0x0D, num(2), ref(loop));
    loop->setDefinition(bin(0x0B, shared, num(1)));
    EXPECT_EQ(bin(0x0B, ref(loop), shared)->evaluate().message, "circular reference to loop");
    EXPECT_EQ(bin(0x0B, shared, shared)->evaluate().message, "circular reference to loop");
    EXPECT_FALSE(loop->isEvaluating());

    // A value computed near the top and met again deeper down is as deep there as it would be
    // computed afresh.
    zim::tevo::TEVOExpr *tall = num(1);
    for (int i = 0; i < 600; ++i)
        tall = bin(0x0B, tall, num(1));
    zim::tevo::TEVOExpr *longWay = tall;
    for (int i = 0; i < 600; ++i)
        longWay = bin(0x0B, longWay, num(0));
    EXPECT_EQ(tall->evaluate().value, 601);
    EXPECT_EQ(bin(0x0B, tall, longWay)->evaluate().message, "expression nested too deeply");
    EXPECT_EQ(bin(0x0B, tall, bin(0x0B, tall, num(0)))->evaluate().value, 1202);
}

TEST_F(ExprTest, DeepNestingIsAnErrorValueNotACrash)
{
    zim::tevo::TEVOExpr *e = num(1);
    for (int i = 0; i < 200000; ++i)
        e = bin(0x0B, e, num(1));
    EXPECT_EQ(e->evaluate().message, "expression nested too deeply");
    EXPECT_FALSE(e->text().isEmpty());
    e->mark(true);
    EXPECT_TRUE(e->isMarked());
}

} // namespace
} // namespace zim::tevo
