// The two dialects: how a text chooses one, what stays as it was in the loader dialect, and the
// natives of the standard dialect where the conformance scripts cannot reach (collections
// during callbacks, stop requests inside native loops, the report of an uncaught value).
#include "scripttestutil.h"

#include "script/esexception.h"

#include <gtest/gtest.h>

namespace {

using scripttest::run;
using zim::script::ESContext;
using zim::script::ESDialect;

QString runStandard(const QString &text)
{
    ESContext context;
    context.setDialect(ESDialect::Standard);
    return run(context, text);
}

TEST(Dialect, DirectiveChoosesTheLoaderDialect)
{
    const struct
    {
        const char *text;
        ESDialect expected;
    } cases[] = {
        {"\"use loader\";\nx()", ESDialect::Loader},
        {"'use loader'\nx()", ESDialect::Loader},
        {"// a note\n/* and another */ \"use loader\"", ESDialect::Loader},
        {"\xEF\xBB\xBF\"use loader\";", ESDialect::Loader},
        {"\"use loader\" // why\n", ESDialect::Loader},
        {"var a; \"use loader\";", ESDialect::Standard},
        {"\"use loaders\";", ESDialect::Standard},
        {"\"use loader'", ESDialect::Standard},
        {"\"use loader\" + 1;", ESDialect::Standard},
        {"/* never closed \"use loader\";", ESDialect::Standard},
        {"", ESDialect::Standard},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ESContext::requestedDialect(QString::fromUtf8(c.text), ESDialect::Standard), c.expected) << c.text;
}

TEST(Dialect, ContextsStartInTheLoaderDialectWithoutES5)
{
    ESContext context;
    EXPECT_EQ(context.dialect(), ESDialect::Loader);
    EXPECT_EQ(run(context, "typeof JSON + ' ' + typeof [].map + ' ' + (null == undefined) + ' ' + 1 / 3"),
              "undefined undefined false 0.333333");
    EXPECT_EQ(run(context, "notDeclared"), "undefined");
    EXPECT_EQ(run(context, "var n = 3;\nn()"), "thrown: line 2: not a function object");
    EXPECT_EQ(run(context, "var u; u.x"), "thrown: line 1: can't convert undefined to an object");
}

TEST(Dialect, ScopeRestoresTheDialectAndKeepsTheBuiltIns)
{
    ESContext context;
    {
        const ESContext::DialectScope scope(context, ESDialect::Standard);
        EXPECT_EQ(run(context, "null == undefined"), "true");
    }
    EXPECT_EQ(context.dialect(), ESDialect::Loader);
    EXPECT_EQ(run(context, "null == undefined"), "false");
}

TEST(Dialect, ShortestNumberTexts)
{
    const struct
    {
        double value;
        const char *text;
    } cases[] = {
        {0.1, "0.1"}, {-0.0, "0"}, {1e21, "1e+21"}, {123e18, "123000000000000000000"}, {1.5e-7, "1.5e-7"},
        {0.000001, "0.000001"}, {-2.5e300, "-2.5e+300"}, {5e-324, "5e-324"}, {4294967295.5, "4294967295.5"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ESContext::formatShortest(c.value), QString::fromLatin1(c.text)) << c.text;
}

TEST(Dialect, StandardMessagesCarryNoLinePrefix)
{
    EXPECT_EQ(runStandard("try { var n = 3;\nn(); } catch (e) { e.message + ' @' + e.lineNumber }"),
              "n is not a function @2");
    EXPECT_EQ(runStandard("try { (1).toFixed(99) } catch (e) { e.message }"), "fraction digits should 0 through 20");
}

// A context that collects at every stop check, to catch values a native loop leaves unrooted.
class CollectingContext : public ESContext
{
public:
    bool keepRunning() override
    {
        collectGarbage();
        return true;
    }
};

TEST(Dialect, ArrayExtrasKeepTheirResultsThroughCollections)
{
    CollectingContext context;
    context.setDialect(ESDialect::Standard);
    EXPECT_EQ(run(context, "var a = []; for (var i = 0; i < 3000; i++) a.push(i);"
                           "var m = a.map(function (v) { var junk = []; for (var j = 0; j < 20; j++) junk.push({}); "
                           "return {v: v}; });"
                           "var f = Array.prototype.filter.call('abcabc', function (c) { return c != 'b'; });"
                           "var s = 0; for (var k = 0; k < m.length; k++) s += m[k].v; s + ' ' + f.join('')"),
              "4498500 acac");
    EXPECT_EQ(run(context, "JSON.stringify(JSON.parse('[' + new Array(400).join('{\"a\":[1,2],\"b\":\"x\"},') + '0]'))"
                           ".length"),
              "7983");
    EXPECT_EQ(run(context, "var n = 0; JSON.stringify({a: {toJSON: function () {"
                           " var o = {}; for (var i = 0; i < 300; i++) o['k' + i] = [i, {d: i}]; return o; }}}).length"),
              "6577");
}

// A context whose host asks to stop after a number of checks.
class StoppingContext : public ESContext
{
public:
    bool keepRunning() override { return --m_left > 0; }

private:
    int m_left = 100;
};

TEST(Dialect, NativeLoopsStopWhenTheHostAsks)
{
    // A Date in the chain may answer for any index, so every index is asked in turn.
    for (const char *loop : {"forEach.call(a, function () {})", "indexOf.call(a, 1)", "lastIndexOf.call(a, 1)",
                             "reduce.call(a, function (x, y) { return y; }, 0)",
                             "some.call(a, function () { return false; })"}) {
        StoppingContext context;
        context.setDialect(ESDialect::Standard);
        EXPECT_THROW(context.evaluate(QStringLiteral("var a = Object.create(new Date(0)); a.length = 4294967295; "
                                                     "Array.prototype.")
                                      + QLatin1String(loop)),
                     zim::script::ESFatalError)
            << loop;
    }
    StoppingContext context;
    context.setDialect(ESDialect::Standard);
    EXPECT_THROW(context.evaluate(QStringLiteral("var a = []; a.length = 30000000; JSON.stringify(a)")),
                 zim::script::ESFatalError);
}

TEST(Dialect, SparseArraysSkipTheirHoles)
{
    EXPECT_EQ(runStandard("var a = [1, 2]; a.length = 4294967295; a[4000000000] = 7; var seen = [];"
                          "a.forEach(function (v, i) { seen.push(i + '=' + v); });"
                          "[seen.join(' '), a.indexOf(7), a.lastIndexOf(1), a.reduce(function (x, y) { return x + y; }),"
                          " a.reduceRight(function (x, y) { return x + y; }), a.map(function (v) { return v * 2; })[4000000000],"
                          " a.filter(function () { return true; }).length, a.every(function (v) { return v < 7; })].join()"),
              "0=1 1=2 4000000000=7,4000000000,0,10,10,14,3,false");
    EXPECT_EQ(runStandard("var a = [1]; a.length = 4294967295; try { JSON.stringify(a) } catch (e) { e.name }"), "RangeError");
    EXPECT_EQ(runStandard("Array.prototype[3] = 'p'; var a = [0]; a.length = 5; var r = a.map(function (v) { return v; });"
                          "delete Array.prototype[3]; r.join('|')"),
              "0|||p|");
}

TEST(Dialect, UncaughtReportNamesPlaceAndType)
{
    ESContext context;
    context.setDialect(ESDialect::Standard);
    auto report = [&](const QString &text) {
        const zim::script::ESEvaluation result = context.evaluate(text);
        return context.standardUncaughtMessage(result.value);
    };
    EXPECT_EQ(report("\n\nnull.f()"), "line 3: TypeError: cannot read property 'f' of null");
    EXPECT_EQ(report("\nthrow 'text\\n\\n'"), "line 2: uncaught exception - text");
    EXPECT_EQ(report("throw new Error('')"), "line 1: Error");
    EXPECT_EQ(report("throw {toString: function () { throw 'inner'; }}"), "uncaught exception - inner");
}

} // namespace
