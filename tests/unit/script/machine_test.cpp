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

TEST(Machine, RemainderOfIntegersAgreesWithTheFloatingRemainder)
{
    // Integral operands take a shorter path; signs, zeros, fractions and huge values must not.
    EXPECT_EQ(scripttest::run("var r = [5 % 3, 7 % 1, 4294967297 % 4294967296, 9007199254740991 % 97, 1e300 % 7,"
                              " -5 % 3, 5 % -3, 0 % 5, 5.5 % 2, 5 % 0, 5 % 2.5, 12884901888 % 5];"
                              " r.join(' ') + ' ' + (1 / (-0 % 5)) + ' ' + (1 / (-4 % 2))"),
              QStringLiteral("2 0 1 31 1 -2 2 0 1.5 NaN 0 3 -Infinity -Infinity"));
}

TEST(Machine, DeepRecursionRunsOutOfStack)
{
    zim::script::ESContext context;
    EXPECT_EQ(scripttest::run(context, "function r(n) { return r(n + 1); } r(0)"),
              "thrown: line 1: virtual machine stack too small");
    // The context is usable afterwards.
    EXPECT_EQ(scripttest::run(context, "1 + 1"), "2");
}

TEST(Machine, RecursionThroughNativesRunsOutOfStack)
{
    zim::script::ESContext context;
    EXPECT_EQ(scripttest::run(context, "var a = []; a[0] = a; a.toLocaleString()"),
              "thrown: line 1: virtual machine stack too small");
    EXPECT_EQ(scripttest::run(context, "var o = {}; o.toString = function () { return '' + o; }; '' + o"),
              "thrown: line 1: virtual machine stack too small");
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

struct ScriptCase
{
    const char *name;
    const char *text;
    const char *expected;
};

std::string caseName(const testing::TestParamInfo<ScriptCase> &info)
{
    return info.param.name;
}

class EvaluationOrder : public testing::TestWithParam<ScriptCase>
{
};

TEST_P(EvaluationOrder, FollowsTheSourceLeftToRight)
{
    const QString prelude = QStringLiteral("var log = ''; function t(tag, v) { log += tag; return v; }\n");
    EXPECT_EQ(scripttest::run(prelude + QString::fromUtf8(GetParam().text)), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Machine, EvaluationOrder,
    testing::Values(
        ScriptCase{"IndexTargetBeforeValue", "var a = [0, 0, 0], i = 0; a[i++] = i; a.join()", "1,0,0"},
        ScriptCase{"MemberTargetBeforeValue", "var o = {}; t('o', o).p = t('v', 1); log + o.p", "ov1"},
        ScriptCase{"IndexTargetKeyValue", "t('f', {})[t('g', 'k')] = t('h', 1); log", "fgh"},
        ScriptCase{"MethodBaseBeforeArguments",
                   "var a = {f: function () { return 'a'; }}, b = {f: function () { return 'b'; }}, o = a; o.f(o = b)",
                   "a"},
        ScriptCase{"MethodThisIsTheEarlyBase",
                   "var a = {n: 'a', f: function () { return this.n; }}, o = a; o.f(o = {n: 'b'})", "a"},
        ScriptCase{"ComputedMethodBaseKeyArguments",
                   "t('o', {m: function (x, y) { return x + y; }})[t('k', 'm')](t('a', 1), t('b', 2)) + log",
                   "3okab"},
        ScriptCase{"ComputedMethodResultFeedsAnExpression",
                   "var o = {m: function (x) { return x * 2; }}; 1 + o['m'](3) + o['m'](o['m'](1))", "11"},
        ScriptCase{"CalleeExpressionBeforeArguments", "t('f', function (x) { return x; })(t('a', 5)) + log", "5fa"},
        ScriptCase{"ConstructorBeforeArguments",
                   "function F(x) { this.x = x; } new (t('F', F))(t('a', 4)).x + log", "4Fa"},
        ScriptCase{"CompoundMemberReadsBeforeRightSide", "var o = {x: 1}; o.x += (o.x = 5, 1); o.x", "2"},
        ScriptCase{"CompoundIndexReadsBeforeRightSide", "var a = [1]; a[0] *= (a[0] = 7, 3); a[0]", "3"},
        ScriptCase{"CompoundIndexOrder", "var o = {k: 1}; t('f', o)[t('g', 'k')] += t('h', 1); log + o.k", "fgh2"},
        ScriptCase{"CompoundVariableReadsBeforeRightSide",
                   "var x = 1; function g() { x = 10; return 1; } x += g(); x", "2"},
        ScriptCase{"AssignmentValueIsTheValue", "var o = {}, a = []; (o.p = a[0] = 7) + o.p + a[0]", "21"},
        ScriptCase{"CompoundAssignmentValue", "var o = {n: 2}; (o.n <<= 3) + ':' + o.n", "16:16"},
        ScriptCase{"ForInIntoMember", "var o = {}, s = ''; for (o.k in {a: 1, b: 2}) s += o.k; s", "ab"},
        ScriptCase{"ForInIntoIndex", "var a = [], n = 0; for (a[n++] in {a: 1, b: 2}); a.join()", "a,b"},
        ScriptCase{"ThrowInArgumentsLeavesTheStackSound",
                   "var o = {f: function (a, b) { return a + b; }}, s = 0;"
                   "for (var i = 0; i < 100; i++) { try { o.f(1, i % 2 ? null.x : 2); } catch (e) { s++; }"
                   " s += o.f(1, 2); } s",
                   "350"},
        ScriptCase{"NestedMethodCalls",
                   "var o = {f: function (a, b, c) { return '' + a + b + c; }, g: function (x) { return x + 1; }};"
                   "o.f(o.g(1), o['g'](o.g(2)), (function () { return o.g(9); })())",
                   "2410"}),
    caseName);

class Deletion : public testing::TestWithParam<ScriptCase>
{
};

TEST_P(Deletion, KeepsDeclaredNamesAndRemovesTheRest)
{
    EXPECT_EQ(scripttest::run(QString::fromUtf8(GetParam().text)), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Machine, Deletion,
    testing::Values(
        ScriptCase{"Parameter", "(function (p) { return delete p + ':' + p; })(3)", "false:3"},
        ScriptCase{"Local", "(function () { var v = 2; return delete v + ':' + v; })()", "false:2"},
        ScriptCase{"CapturedLocal",
                   "(function () { var v = 2; function g() { return v; } return delete v + ':' + g(); })()",
                   "false:2"},
        ScriptCase{"CapturedParameterThroughWith",
                   "(function (p) { with ({}) { return delete p + ':' + p; } })(4)", "false:4"},
        ScriptCase{"Arguments", "(function () { return delete arguments + ':' + typeof arguments; })()",
                   "false:object"},
        ScriptCase{"InnerFunction", "(function () { function g() {} return delete g + typeof g; })()",
                   "falsefunction"},
        ScriptCase{"DeclaredGlobal", "var g = 1; delete g + ':' + g", "false:1"},
        ScriptCase{"GlobalFunction", "function gf() {} delete gf + typeof gf", "falsefunction"},
        ScriptCase{"ImplicitGlobal", "ig = 1; delete ig + ':' + typeof ig", "true:undefined"},
        ScriptCase{"ImplicitGlobalAssignedAgain", "ig = 1; delete ig; ig = 2; ig", "2"},
        ScriptCase{"UnknownName", "delete neverMentioned", "true"},
        ScriptCase{"WithObjectProperty", "var o = {w: 1}; with (o) { delete w; } 'w' in o", "false"},
        ScriptCase{"GlobalEvalVariable", "eval('var ev = 1'); delete ev + ':' + typeof ev", "true:undefined"},
        ScriptCase{"FunctionEvalVariable", "(function () { eval('var ev = 1'); return delete ev; })()", "true"}),
    caseName);

class CollectionDuringCalls : public testing::TestWithParam<ScriptCase>
{
};

// The callee's base, key or constructor is reachable only from the stack while the call allocates.
TEST_P(CollectionDuringCalls, KeepsWhatTheCallStillNeeds)
{
    const QString churn = QStringLiteral("function churn() { var a = []; for (var i = 0; i < 40000; i++)"
                                         " a.push({n: i}); return a.length; }\n");
    EXPECT_EQ(scripttest::run(churn + QString::fromUtf8(GetParam().text)), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Machine, CollectionDuringCalls,
    testing::Values(
        ScriptCase{"MethodOfATemporaryObject", "({v: 7, f: function () { churn(); return this.v; }}).f()", "7"},
        ScriptCase{"ComputedMethodOfATemporaryObject",
                   "({v: 8, f: function (x) { churn(); return this.v + x; }})['f'](churn() - 40000)", "8"},
        ScriptCase{"TemporaryCallee", "(function (x) { churn(); return x * 2; })(churn())", "80000"},
        ScriptCase{"TemporaryConstructor",
                   "new (function (x) { churn(); this.x = x; })(churn()).x", "40000"},
        ScriptCase{"MemberStoreIntoATemporaryTarget",
                   "var keep = {}; ({inner: keep}).inner[String.fromCharCode(107)] = churn(); keep.k", "40000"}),
    caseName);

} // namespace
