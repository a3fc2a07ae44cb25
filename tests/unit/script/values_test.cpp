// Values and objects: conversions, number formatting, equality, the property vector and the
// collector.
#include "scripttestutil.h"

#include <gtest/gtest.h>
#include <cmath>

using namespace zim::script;

namespace {

struct NumberCase
{
    const char *name;
    const char *text;
    double expected;
};

class StringToNumber : public testing::TestWithParam<NumberCase>
{
};

TEST_P(StringToNumber, Converts)
{
    const double v = zim::script::ESContext::parseNumber(QString::fromUtf8(GetParam().text));
    if (std::isnan(GetParam().expected))
        EXPECT_TRUE(std::isnan(v));
    else
        EXPECT_EQ(v, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, StringToNumber,
                         testing::Values(NumberCase{"hexBetweenBlanks", " 0x1F ", 31},
                                         NumberCase{"bareHexPrefix", "0x", NAN},
                                         NumberCase{"emptyIsZero", "", 0},
                                         NumberCase{"blanksAreZero", " \t\n", 0},
                                         NumberCase{"signedInfinity", "-Infinity", -INFINITY},
                                         NumberCase{"trailingGarbage", "1x", NAN},
                                         NumberCase{"libraryWordsRejected", "inf", NAN},
                                         NumberCase{"exponent", "2.5e2", 250},
                                         NumberCase{"leadingDot", ".5", 0.5}),
                         [](const auto &info) { return std::string(info.param.name); });

struct FormatCase
{
    const char *name;
    double value;
    int radix;
    const char *expected;
};

class NumberFormatting : public testing::TestWithParam<FormatCase>
{
};

TEST_P(NumberFormatting, Formats)
{
    EXPECT_EQ(zim::script::ESContext::formatNumber(GetParam().value, GetParam().radix), QString::fromLatin1(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Values, NumberFormatting,
                         testing::Values(FormatCase{"tenth", 0.1, 10, "0.1"}, FormatCase{"third", 1.0 / 3, 10, "0.333333"},
                                         FormatCase{"smallUsesExponent", 1e-7, 10, "1e-07"},
                                         FormatCase{"integral", 123456789, 10, "123456789"},
                                         FormatCase{"negativeZero", -0.0, 10, "0"},
                                         FormatCase{"hex", 255, 16, "ff"},
                                         FormatCase{"negativeHexKeepsSign", -255, 16, "-ff"},
                                         FormatCase{"hugeIntegralInFull", 1e21, 10, "1000000000000000000000"},
                                         FormatCase{"binaryFraction", 0.5, 2, "0.1"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Values, EqualityKeepsNullAndUndefinedApart)
{
    EXPECT_EQ(scripttest::run("null == undefined"), "false");
    EXPECT_EQ(scripttest::run("'1' == 1"), "true");
    EXPECT_EQ(scripttest::run("'10' < '9'"), "true");
    EXPECT_EQ(scripttest::run("NaN < 1 || 1 < NaN"), "false");
}

TEST(Values, Uint32ConversionWraps)
{
    zim::script::ESContext context;
    EXPECT_EQ(context.toUint32(zim::script::ESValue::fromNumber(-1)), 4294967295u);
    EXPECT_EQ(context.toUint32(zim::script::ESValue::fromNumber(4294967296.0 + 3)), 3u);
    EXPECT_EQ(context.toUint32(zim::script::ESValue::fromNumber(NAN)), 0u);
}

TEST(Values, AtomsAreInternedOnce)
{
    EXPECT_EQ(atoms::intern("someName"), atoms::intern(QStringLiteral("someName")));
    EXPECT_EQ(atoms::forIndex(42), atoms::intern("42"));
    EXPECT_EQ(atoms::intern("042")->arrayIndex, -1);
}

TEST(Values, ReadOnlyPutIsIgnoredAndDeleteAppendsAgain)
{
    zim::script::ESContext context;
    zim::script::ESObject *o = context.newPlainObject();
    zim::script::ESAtom *a = atoms::intern("a");
    o->define(a, zim::script::ESValue::fromNumber(1), ReadOnly);
    context.put(o, a, zim::script::ESValue::fromNumber(2));
    EXPECT_EQ(context.get(o, a).number, 1);

    zim::script::ESAtom *b = atoms::intern("b");
    context.put(o, b, zim::script::ESValue::fromNumber(3));
    EXPECT_TRUE(o->cls->deleteProperty(context, o, b));
    context.put(o, b, zim::script::ESValue::fromNumber(4));
    ASSERT_EQ(o->properties.size(), 3u);
    EXPECT_EQ(o->properties[1].key(), nullptr);
    EXPECT_EQ(o->properties[2].value.number, 4);
}

TEST(Values, ManyPropertiesAreFoundThroughTheIndex)
{
    EXPECT_EQ(scripttest::run("var o = {}; for (var i = 0; i < 500; i++) o['k' + i] = i; delete o.k7;"
                              "var s = 0; for (var i = 0; i < 500; i++) if (o['k' + i] !== undefined) s += o['k' + i]; s"),
              "124743");
}

TEST(Values, CollectorReclaimsUnreachableAndKeepsProtected)
{
    zim::script::ESContext context;
    zim::script::ESObject *kept = context.newPlainObject();
    context.protect(kept);
    context.put(kept, atoms::intern("child"), zim::script::ESValue::fromObject(context.newPlainObject()));
    context.collectGarbage();
    const size_t base = context.liveObjects();
    for (int i = 0; i < 1000; ++i)
        context.newPlainObject();
    EXPECT_EQ(context.liveObjects(), base + 1000);
    context.collectGarbage();
    EXPECT_EQ(context.liveObjects(), base);
    EXPECT_TRUE(context.get(kept, atoms::intern("child")).isObject());
    context.unprotect(kept);
}

TEST(Values, CollectorSweepsStringsAcrossBlocksAndKeepsTheHeldOnes)
{
    // More strings than several blocks of records hold, every other one dropped, then all but a
    // few, then as many made again: the count of live strings follows, and the held texts and
    // ropes read back whole however their records were reused.
    zim::script::ESContext context;
    context.collectGarbage();
    const size_t base = context.liveStrings();
    std::vector<zim::script::ESValue> held;
    zim::script::ESContext::TempRoot root(context, held);
    const QString wideText(300, QLatin1Char('w'));
    const zim::script::ESValue wide = context.newString(wideText);
    held.push_back(wide);
    auto makeHeld = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const zim::script::ESValue s = context.newString(QString::number(i));
            if (i % 2 == 0)
                held.push_back(i % 1000 == 0 ? context.concat(wide, s) : s);
        }
    };
    // Entry k after the first holds the number 2(k - 1), after the wide text every 500th.
    auto heldReadBack = [&]() {
        for (size_t k = 1; k < held.size(); ++k) {
            const int i = int(k - 1) * 2;
            if (held[k].text() != (i % 1000 == 0 ? wideText : QString()) + QString::number(i))
                return false;
        }
        return true;
    };
    makeHeld(30000);
    EXPECT_EQ(context.liveStrings(), base + 1 + 30000 + 30);
    // A rope held keeps its right part.
    context.collectGarbage();
    EXPECT_EQ(context.liveStrings(), base + 1 + 15000 + 30);
    for (int i = 0; i < 15000; ++i)
        context.newString(QStringLiteral("again"));
    context.collectGarbage();
    EXPECT_EQ(context.liveStrings(), base + 1 + 15000 + 30);
    EXPECT_TRUE(heldReadBack());

    // Read back, the ropes are flat and hold their parts no more.
    held.resize(1 + 1000);
    context.collectGarbage();
    EXPECT_EQ(context.liveStrings(), base + 1 + 1000);
    held.resize(1);
    makeHeld(60000);
    context.collectGarbage();
    EXPECT_EQ(context.liveStrings(), base + 1 + 30000 + 60);
    EXPECT_TRUE(heldReadBack());
}

TEST(Values, NamesOfComputedKeysNoOneHoldsAreReclaimed)
{
    zim::script::ESContext context;
    const uint32_t before = atoms::count();
    // Six rounds of fresh keys, each round's object garbage once the next begins.
    EXPECT_EQ(scripttest::run(context, "var held = {}; held['x' + 1] = 5;"
                                       "var z = {}; z['y' + 2] = 1; var keys = []; for (var k in z) keys.push(k);"
                                       "delete z['y' + 2];"
                                       "for (var r = 0; r < 6; r++) { var o = {}; for (var i = 0; i < 50000; i++)"
                                       " o['k' + r + '_' + i] = i; } o['k5_' + 49999]"),
              "49999");
    EXPECT_LT(atoms::count() - before, 200000u);
    context.collectGarbage();
    EXPECT_TRUE(context.reclaimAtoms());
    // Left: the last round's keys and the few names the script still holds.
    EXPECT_LT(atoms::count() - before, 50100u);
    // A name held only as a value, and one met later in source text, are the same names still.
    EXPECT_EQ(scripttest::run(context, "(keys[0] === 'y' + 2) + ' ' + held.x1 + ' ' + o.k5_49999 + ' ' + o['k5_' + 7]"),
              "true 5 49999 7");
}

TEST(Values, LengthOfAConcatenationLeavesItUnflattened)
{
    zim::script::ESContext context;
    const zim::script::ESValue a = context.newString(QString(300, QLatin1Char('a')));
    const zim::script::ESValue joined = context.concat(a, a);
    ASSERT_TRUE(joined.string->isRope());
    EXPECT_EQ(context.toNumber(context.getByValue(joined, zim::script::ESValue::fromAtom(context.lengthAtom))), 600);
    EXPECT_TRUE(joined.string->isRope());
}

TEST(Values, RepeatedEvaluationStaysBounded)
{
    zim::script::ESContext context;
    context.evaluate("var t = []; function f(a) { var o = {a: a, s: 'x' + a}; t[a & 7] = o; return o.s; }");
    for (int i = 0; i < 1000; ++i)
        context.evaluate("f(0x21)");
    const size_t after1000 = context.liveObjects() + context.liveStrings();
    for (int i = 0; i < 200000; ++i)
        context.evaluate("f(0x21)");
    EXPECT_LT(context.liveObjects() + context.liveStrings(), after1000 + 20000);
}

} // namespace
