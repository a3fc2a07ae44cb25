// The machine: completion values, stack limits, stopping, and errors crossing native calls.
#include "scripttestutil.h"

#include "common/hexception.h"
#include "script/scriptsystem.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace zim::script;

namespace {

TEST(Machine, CompletionValueIsTheLastExpressionStatement)
{
    EXPECT_EQ(scripttest::run("var a = 2; if (a) { a * 21; }"), "42");
}

TEST(Machine, DeepRecursionRunsOutOfStack)
{
    zim::script::ESContext context;
    try {
        context.evaluate("function r(n) { return r(n + 1); } r(0)");
        FAIL() << "no fault";
    } catch (const zim::script::ESFatalError &e) {
        EXPECT_EQ(e.text(), QStringLiteral("virtual machine stack too small"));
    }
    // The context is usable afterwards.
    EXPECT_EQ(scripttest::run(context, "1 + 1"), "2");
}

TEST(Machine, RecursionThroughNativesRunsOutOfStack)
{
    zim::script::ESContext context;
    EXPECT_THROW(context.evaluate("var a = []; a[0] = a; a.toLocaleString()"), zim::script::ESFatalError);
    EXPECT_THROW(context.evaluate("var o = {}; o.toString = function () { return '' + o; }; '' + o"), zim::script::ESFatalError);
}

class Stopping : public zim::script::ESContext
{
public:
    bool keepRunning() override { return ++polls < 1000; }
    int polls = 0;
};

TEST(Machine, KeepRunningHookEndsAnEndlessLoop)
{
    Stopping context;
    EXPECT_THROW(context.evaluate("while (true) {}"), zim::script::ESFatalError);
    EXPECT_GE(context.polls, 1000);
}

TEST(Machine, RequestStopEndsTheEvaluation)
{
    zim::script::ScriptSystem system;
    system.requestStop();
    EXPECT_THROW(system.evaluate("for (;;) {}"), zim::script::ESFatalError);
}

TEST(Machine, MissingArgumentsAreUndefinedAndExtrasAreKept)
{
    EXPECT_EQ(scripttest::run("function f(a, b) { return typeof b; } f(1)"), "undefined");
    EXPECT_EQ(scripttest::run("function f(a) { function g() { return a; } return arguments[2] + g(); } f(1, 2, 3)"),
              "4");
}

TEST(Machine, IncrementInCapturedFunctionUpdatesTheActivation)
{
    EXPECT_EQ(scripttest::run("function f() { var n = 1; function g() { return n; } n++; n--; n++; return g(); } f()"),
              "2");
}

TEST(Machine, CallingANonFunctionIsATypeError)
{
    EXPECT_EQ(scripttest::run("var x = 1; try { x(); } catch (e) { e.name + ' ' + e.message }"),
              "TypeError line 1: not a function object");
    EXPECT_EQ(scripttest::run("try { new 5; } catch (e) { e.message }"),
              "line 1: new must be given a constructor object");
}

TEST(Machine, ForInSkipsPropertiesDeletedDuringTheLoop)
{
    EXPECT_EQ(scripttest::run("var o = {a: 1, b: 2, c: 3}, s = ''; for (var k in o) { s += k; delete o.c; } s"), "ab");
}

TEST(Machine, BreakOutOfNestedForInAndWithLeavesAConsistentStack)
{
    EXPECT_EQ(scripttest::run("var n = 0; for (var i = 0; i < 50; i++) { for (var k in {a: 1, b: 2}) { with ({}) {"
                              " try { n++; break; } finally { n++; } } } } n"),
              "100");
}

} // namespace
