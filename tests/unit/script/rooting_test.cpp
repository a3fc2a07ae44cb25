// Engine objects a host holds while script code runs and collects: a thrown value reported
// after its conversions ran, an object held through a root, and what arrays and wrappers hold.
#include "scripttestutil.h"

#include <gtest/gtest.h>

using namespace zim::script;

namespace {

// An Error thrown out of every frame, whose name converts through a function that makes enough
// garbage to force collections; its message is read only after that.
const char *const kThrowsWithCollectingName =
    "function fail() {\n"
    "    var e = new Error('kept message');\n"
    "    e.name = { toString: function () {\n"
    "        var junk;\n"
    "        for (var i = 0; i < 300000; i++) junk = { index: i };\n"
    "        return 'Named';\n"
    "    } };\n"
    "    throw e;\n"
    "}\n"
    "fail();\n";

TEST(Rooting, ThrownErrorSurvivesCollectionsWhileTheHostReportsIt)
{
    ESContext context;
    context.setDialect(ESDialect::Standard);
    const ESEvaluation result = context.evaluate(QString::fromLatin1(kThrowsWithCollectingName));
    ASSERT_EQ(result.status, ESEvaluation::Thrown);
    const size_t before = context.liveObjects();
    EXPECT_EQ(context.standardUncaughtMessage(result.value), QStringLiteral("line 2: Named: kept message"));
    // The conversion did collect: the garbage it made is gone, the thrown error is not.
    EXPECT_LT(context.liveObjects(), before + 300000);
    EXPECT_EQ(context.standardUncaughtMessage(result.value), QStringLiteral("line 2: Named: kept message"));
}

TEST(Rooting, ThrownObjectSurvivesCollectionsInTheLoaderReport)
{
    ESContext context;
    const ESEvaluation result = context.evaluate(QStringLiteral(
        "(function () { throw { message: { toString: function () {\n"
        "    for (var i = 0; i < 300000; i++) ({});\n"
        "    return 'text';\n"
        "} }, code: 7 }; })();"));
    ASSERT_EQ(result.status, ESEvaluation::Thrown);
    EXPECT_EQ(context.uncaughtMessage(result.value), QStringLiteral("text"));
    ASSERT_TRUE(result.value.isObject());
    EXPECT_EQ(context.toNumber(context.get(result.value.object, atoms::intern("code"))), 7);
}

TEST(Rooting, RootedObjectSurvivesForcedCollectionAndGoesAfterRelease)
{
    ESContext context;
    context.collectGarbage();
    const size_t baseline = context.liveObjects();
    ESObject *held = context.newPlainObject();
    held->define(atoms::intern("answer"), ESValue::fromNumber(42), 0);
    {
        ESRoot root(context, ESValue::fromObject(held));
        ESRoot second(context, ESValue::fromObject(held));   // protections are counted
        second.release();
        ESRoot moved(std::move(root));
        context.collectGarbage();
        EXPECT_EQ(context.liveObjects(), baseline + 1);
        EXPECT_EQ(context.toNumber(context.get(held, atoms::intern("answer"))), 42);
    }
    context.collectGarbage();
    EXPECT_EQ(context.liveObjects(), baseline);
}

// Arrays keep their elements and wrappers their internal values in the same room of a record:
// collections in the middle of a for-in loop, with records recycled between arrays and Number
// wrappers, keep what each kind holds (the loop's object, a bound function's record, elements).
TEST(Rooting, CollectionsKeepElementsAndInternalValuesOfLiveObjects)
{
    ESContext context;
    context.setDialect(ESDialect::Standard);
    EXPECT_EQ(scripttest::run(context,
                  "var keep = { date: new Date(86400000), num: new Number(42), str: new String('ab' + 'cd'),\n"
                  "             list: [{ v: 'first' }, 'x' + 1, [2]], bool: new Boolean(true),\n"
                  "             bound: function (a, b) { return this.p + a + b; }.bind({ p: 'P' }, 'A') };\n"
                  "var walked = [], junk;\n"
                  "for (var name in { one: { v: 1 }, two: 2 }) {\n"
                  "    for (var i = 0; i < 200000; i++) junk = (i & 1) ? [i, { i: i }] : new Number(i);\n"
                  "    walked.push(name);\n"
                  "}\n"
                  "var fresh = 0; for (var i = 0; i < 1000; i++) fresh += new Number(i).valueOf() + [i][0];\n"
                  "[keep.date.getTime(), +keep.num, String(keep.str), keep.list[0].v, keep.list[1], keep.list[2][0],\n"
                  " keep.bool.valueOf(), keep.bound('B'), walked.join('+'), junk[1].i, fresh].join()"),
              "86400000,42,abcd,first,x1,2,true,PAB,one+two,199999,999000");
}

} // namespace
