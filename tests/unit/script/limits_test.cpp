// The engine's limits: deep recursion, long argument lists, large functions and deep nesting
// either work or end in an error a script can catch, never in a fault of the process.
#include "scripttestutil.h"

#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A text of depth openings around a core and the matching closings.
QString nested(const QString &open, const QString &core, const QString &close, int depth)
{
    return open.repeated(depth) + core + close.repeated(depth);
}

// Script calls recurse on the native stack too, and the frames of a sanitizer or unoptimised
// build are several times larger, so the depth that fits there is smaller; both lie far past the
// old 1,024 slots (about 120 calls).
#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr int kDeepCalls = 1200;
#else
constexpr int kDeepCalls = 10000;
#endif

TEST(Limits, RecursionAndLongArgumentListsWorkWellPastAThousandSlots)
{
    EXPECT_EQ(scripttest::run(QStringLiteral("function f(n) { return n == 0 ? 0 : 1 + f(n - 1); } f(%1)").arg(kDeepCalls)),
              QString::number(kDeepCalls));
    EXPECT_EQ(scripttest::run("var a = []; for (var i = 0; i < 100000; i++) a.push(i);"
                              "var t = [1]; Array.prototype.push.apply(t, a); t.length + ' ' + Math.max.apply(null, a)"),
              "100001 99999");
    // A 16,384-element literal keeps every element on the stack at once in no form, but its
    // elements all reach the array.
    QString literal = QStringLiteral("var a = [");
    for (int i = 0; i < 16384; ++i)
        literal += QString::number(i % 256) + QLatin1Char(',');
    literal += QStringLiteral("7]; a.length + ' ' + a[16383] + ' ' + a[16384]");
    EXPECT_EQ(scripttest::run(literal), "16385 255 7");
}

TEST(Limits, RunningOutOfStackIsACatchableRangeErrorWithTheLine)
{
    EXPECT_EQ(scripttest::run("function f() { f(); }\n"
                              "try { f() } catch (e) { (e instanceof RangeError) + ' ' + e.message }"),
              "true line 1: virtual machine stack too small");
    // Recursion through natives: a conversion that calls itself, and a cycle of arrays.
    EXPECT_EQ(scripttest::run("var o = {}; o.toString = function () { return '' + o; };\n"
                              "try { '' + o } catch (e) { e instanceof RangeError }"),
              "true");
    EXPECT_EQ(scripttest::run("var a = []; a[0] = a; try { a.join() } catch (e) { e instanceof RangeError }"), "true");
    EXPECT_EQ(scripttest::run("var big = []; big.length = 4294967295;"
                              "try { Math.max.apply(null, big) } catch (e) { e instanceof RangeError }"),
              "true");
    // The context is whole afterwards.
    zim::script::ESContext context;
    EXPECT_TRUE(scripttest::run(context, "function g() { g(); } g()").startsWith("thrown: "));
    EXPECT_EQ(scripttest::run(context, QStringLiteral("function h(n) { return n ? h(n - 1) : 'back'; } h(%1)").arg(kDeepCalls)),
              "back");
}

TEST(Limits, LargeFunctionsCompileAndRun)
{
    // 5,400 calls at the top level, and a generated table of 70,000 distinct names and numbers:
    // far more code, constants and names than 16-bit operands reach.
    QString calls = QStringLiteral("var n = 0; function step(a, b) { n += a + b; }\n");
    for (int i = 0; i < 5400; ++i)
        calls += QStringLiteral("step(%1, 0.5);\n").arg(i);
    EXPECT_EQ(scripttest::run(calls + "n"), QString::number(5400 * 5399 / 2 + 2700));

    QString table = QStringLiteral("var t = {");
    for (int i = 0; i < 70000; ++i)
        table += QStringLiteral("k%1: %2,").arg(i).arg(2 * i + 1);
    table += QStringLiteral("end: 1}; var s = 0; for (var k in t) s += t[k]; t.k69999 + ' ' + s");
    EXPECT_EQ(scripttest::run(table), "139999 4900000001");

    // A loop whose body is larger than 64 KB jumps back over all of it.
    QString loop = QStringLiteral("var x = 0; for (var i = 0; i < 3; i++) {\n");
    for (int i = 0; i < 8000; ++i)
        loop += QStringLiteral("x = x + %1;\n").arg(i);
    EXPECT_EQ(scripttest::run(loop + "}\nx"), QString::number(3.0 * 7999 * 8000 / 2, 'g', 12));
}

TEST(Limits, AThousandLevelsOfNestingCompileAndDeeperIsASyntaxError)
{
    EXPECT_EQ(scripttest::run(nested("(", "42", ")", 1000)), "42");
    EXPECT_EQ(scripttest::run(nested("[", "7", "]", 1000) + QStringLiteral(".toString()")), "7");
    EXPECT_EQ(scripttest::run("var x = 0; " + nested("{", "x = 5;", "}", 1000) + " x"), "5");
    EXPECT_EQ(scripttest::run(nested("(function () { return ", "3", "; })()", 1000)), "3");
    EXPECT_EQ(scripttest::run("var v = " + nested("{a:", "1", "}", 1000) + "; typeof v.a.a"), "object");

    zim::script::ESContext context;
    const zim::script::ESEvaluation deep = context.evaluate(nested("(", "1", ")", 100000));
    ASSERT_EQ(deep.status, zim::script::ESEvaluation::Thrown);
    EXPECT_EQ(deep.message, QStringLiteral("line 1: statements or expressions nested too deeply"));
    EXPECT_TRUE(context.isError(deep.value));
    EXPECT_EQ(deep.value.object->cls, static_cast<zim::script::ESClass *>(context.syntaxErrorClass));
}

// Runs the texts on a thread with a small stack and collects what each gives.
class SmallStackRunner : public QThread
{
public:
    QStringList texts;
    QStringList results;

protected:
    void run() override
    {
        zim::script::ESContext context;
        for (const QString &text : texts)
            results << scripttest::run(context, text);
    }
};

TEST(Limits, ASmallNativeStackEndsDeepRecursionWithAnError)
{
    // 512 KB of stack: each deep text below needs several times more to run to its end, so each one
    // must stop on its own check and report it.
    SmallStackRunner runner;
    runner.setStackSize(512 * 1024);
    runner.texts << "var a = []; for (var i = 0; i < 1000; i++) a = [a, 1]; String(a).length"
                 << "function f(n) { return n == 0 ? 0 : 1 + f(n - 1); } f(10000)"
                 << nested("(", "1", ")", 1000) << nested("[", "1", "]", 1000) << "'still running'";
    runner.start();
    ASSERT_TRUE(runner.wait(60000));
    ASSERT_EQ(runner.results.size(), 5);
    EXPECT_EQ(runner.results[0], "thrown: line 1: virtual machine stack too small");
    EXPECT_EQ(runner.results[1], "thrown: line 1: virtual machine stack too small");
    EXPECT_EQ(runner.results[2], "thrown: line 1: statements or expressions nested too deeply");
    EXPECT_EQ(runner.results[3], "thrown: line 1: statements or expressions nested too deeply");
    EXPECT_EQ(runner.results[4], "still running");
}

} // namespace

namespace {

TEST(Limits, AStringPastTheLengthLimitIsACatchableRangeError)
{
    EXPECT_EQ(scripttest::run("var s = 'x';\n"
                              "try { for (;;) s = s + s; } catch (e) { (e instanceof RangeError) + ' ' + e.message }"),
              "true line 2: string too long");
}

// The virtual memory the process maps now, in bytes; 0 when unknown.
size_t mappedBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return size_t(statm.readLine().split(' ').value(0).toULongLong()) * size_t(sysconf(_SC_PAGESIZE));
}

TEST(Limits, RunningOutOfMemoryIsAnEngineFaultNotASignal)
{
    const size_t mapped = mappedBytes();
    if (mapped == 0)
        GTEST_SKIP() << "no /proc/self/statm to size the memory limit from";
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator aborts at an address-space limit instead of failing the allocation";
#endif
    // In a child with little memory to spare: scripts that fill the memory with objects and with
    // strings must end with the engine's fault, which every host reports as an error.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{mapped + (size_t(256) << 20), mapped + (size_t(256) << 20)};
        setrlimit(RLIMIT_AS, &limit);
        int failures = 0;
        for (const char *text : {"var a = []; for (;;) a.push({x: a.length, y: 'abc' + a.length});",
                                 "var a = []; for (;;) a.push('abcdefghijklmnopqrstuvwxyz'.split(''));"}) {
            zim::script::ESContext context;
            try {
                context.evaluate(QString::fromLatin1(text));
                ++failures;
            } catch (const zim::script::ESFatalError &e) {
                if (e.text() != QStringLiteral("out of memory"))
                    ++failures;
            }
        }
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace

namespace {

TEST(Limits, ArrayMethodsOnHugeSparseArraysVisitWhatIsThere)
{
    EXPECT_EQ(scripttest::run("var a = []; a.length = 4294967295; a[0] = 'x'; a[10] = 'y'; a[4294967294] = 'z';"
                              "a.reverse(); a[0] + a[4294967284] + a[4294967294] + ' ' + a.length"),
              "zyx 4294967295");
    EXPECT_EQ(scripttest::run("var b = []; b.length = 4294967295; b[3] = 'p'; b[7] = 'q'; var r = b.join('');"
                              "try { b.join(',') } catch (e) { r += ' ' + (e instanceof RangeError) }"
                              "b.sort(); r + ' ' + b[0] + b[1] + ' ' + (3 in b) + ' ' + b.length"),
              "pq true pq false 4294967295");
    EXPECT_EQ(scripttest::run("var c = []; c.length = 4294967290; c[5] = 1; c[100000] = 2; var s = c.slice(0);"
                              "var r = c.splice(4, 2, 'a', 'b', 'c');"
                              "s.length + ' ' + s[5] + s[100000] + ' ' + r.length + r[1] + ' ' + c[4] + c[5] + c[6]"
                              "+ ' ' + c[100001] + ' ' + c.length"),
              "4294967290 12 21 abc 2 4294967291");
    EXPECT_EQ(scripttest::run("var d = []; d.length = 4294967290; d[2] = 'm'; var n = d.unshift('u', 'v');"
                              "var e = []; e.length = 4294967290; e[2] = 'm'; var f = e.shift();"
                              "n + ' ' + d[0] + d[1] + d[4] + ' ' + f + ' ' + e[1] + ' ' + e.length"),
              "4294967292 uvm undefined m 4294967289");
}

TEST(Limits, ArrayMethodsRefuseALengthPastTheLastIndexBeforeChangingAnything)
{
    // The new length would wrap around 2^32: a RangeError, with the array as it was.
    EXPECT_EQ(scripttest::run("var a = []; a.length = 4294967295; a[7] = 'x'; var r;"
                              "try { r = a.unshift(1) } catch (e) { r = e instanceof RangeError }"
                              "r + ' ' + a.length + ' ' + a[7] + ' ' + a[8] + ' ' + a[0]"),
              "true 4294967295 x undefined undefined");
    EXPECT_EQ(scripttest::run("var a = []; a.length = 4294967295; a[7] = 'x'; var r;"
                              "try { r = a.splice(3, 0, 'p', 'q') } catch (e) { r = e instanceof RangeError }"
                              "r + ' ' + a.length + ' ' + a[7] + ' ' + a[3] + ' ' + a[9]"),
              "true 4294967295 x undefined undefined");
    EXPECT_EQ(scripttest::run("var a = []; a.length = 4294967295; a[7] = 'x'; var r;"
                              "try { r = a.concat([1]).length } catch (e) { r = e instanceof RangeError }"
                              "try { [].concat(a, 'y') } catch (e) { r += ' ' + (e instanceof RangeError) }"
                              "r + ' ' + a.length"),
              "true true 4294967295");
    // Up to the last index the lengths still add up.
    EXPECT_EQ(scripttest::run("var a = []; a.length = 4294967294; a[7] = 'x'; var n = a.unshift(1);"
                              "var b = []; b.length = 4294967293; var c = b.concat(['z'], 'w');"
                              "n + ' ' + a[8] + ' ' + c.length + ' ' + c[4294967293] + c[4294967294]"),
              "4294967295 x 4294967295 zw");
}

class StopAfterPolls : public zim::script::ESContext
{
public:
    bool keepRunning() override { return ++polls < 1000; }
    int polls = 0;
};

TEST(Limits, LongNativeLoopsAskWhetherToKeepRunning)
{
    // Objects with a huge length have no element storage to list: the loops walk every index and
    // must stop when the host says so.
    for (const char *text : {"Array.prototype.reverse.call({length: 4294967295})",
                             "Array.prototype.join.call({length: 4294967295}, '')",
                             "Array.prototype.sort.call({length: 4294967295})",
                             "Array.prototype.unshift.call({length: 4294967290}, 1)"}) {
        StopAfterPolls context;
        EXPECT_THROW(context.evaluate(QString::fromLatin1(text)), zim::script::ESFatalError) << text;
        EXPECT_GE(context.polls, 1000) << text;
    }
}

} // namespace

namespace {

TEST(Limits, ElementStorageOfGarbageArraysBringsOnACollection)
{
    // Each round leaves an ever larger array behind: a few thousand records, but hundreds of
    // megabytes of elements, which must bring on collections as they pile up.
    zim::script::ESContext context;
    const size_t before = context.liveObjects();
    EXPECT_EQ(scripttest::run(context, "var a = []; for (var i = 0; i < 3000; i++) a = a.concat([i, i + 1]); a.length"),
              "6000");
    EXPECT_LT(context.liveObjects(), before + 1000);
}

TEST(Limits, TextOfFlattenedConcatenationsBringsOnACollection)
{
    // Beside many objects held, the loop makes too few records to bring on a collection by their
    // count: the text each long concatenation gets when it is read must count toward one instead.
    zim::script::ESContext context;
    ASSERT_EQ(scripttest::run(context, "var kept = []; for (var i = 0; i < 100000; i++) kept.push({n: i});"
                                       "var big = 'x'; while (big.length < 20000) big += big; big.length"),
              "32768");
    const size_t before = context.liveStrings();
    EXPECT_EQ(scripttest::run(context, "var c = 0; for (var j = 0; j < 1500; j++) { var t = big + 'y'; c += t.charCodeAt(5) } c"),
              "180000");
    EXPECT_LT(context.liveStrings(), before + 1000);
}

TEST(Limits, GarbageBesideALargeLiveSetStaysWithinHalfOfIt)
{
    // A program holding many objects while it makes and drops others: the records in use, the
    // garbage not yet reclaimed included, stay within one and a half times the ones it holds.
    zim::script::ESContext context;
    ASSERT_EQ(scripttest::run(context, "var kept = []; for (var i = 0; i < 100000; i++) kept.push({n: i}); kept.length"),
              "100000");
    const size_t held = context.liveObjects();
    size_t most = 0;
    for (int round = 0; round < 60; ++round) {
        context.execute(QStringLiteral("for (var j = 0; j < 5000; j++) var g = {n: j};"));
        most = std::max(most, context.liveObjects());
    }
    EXPECT_LE(most, held + held / 2 + 6000);
}

} // namespace
