// Engine objects a host holds while script code runs and collects: a thrown value reported
// after its conversions ran, and an object held through a root.
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

} // namespace
