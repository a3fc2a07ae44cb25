// Native objects: the behaviours that native code could get wrong beyond the conformance scripts.
#include "scripttestutil.h"

#include <gtest/gtest.h>

namespace {

TEST(Natives, SortSurvivesAnInconsistentComparison)
{
    EXPECT_EQ(scripttest::run("var a = []; for (var i = 0; i < 500; i++) a.push(i % 17);"
                              "a.sort(function () { return Math.random() - 0.5; }); a.length"),
              "500");
}

TEST(Natives, ErrorInsideSortComparisonPropagates)
{
    EXPECT_EQ(scripttest::run("try { [3, 2, 1].sort(function () { throw 'stop'; }); } catch (e) { e }"), "stop");
}

TEST(Natives, ArrayIndexesFarApartStaySparse)
{
    EXPECT_EQ(scripttest::run("var a = []; a[4000000000] = 1; a[2] = 2; a.length + ' ' + a[4000000000]"),
              "4000000001 1");
}

TEST(Natives, StringBuiltByAppendsReadsBack)
{
    EXPECT_EQ(scripttest::run("var s = ''; for (var i = 0; i < 5000; i++) s += i % 10; s.length + s.substring(0, 12)"),
              "5000012345678901");
}

TEST(Natives, DateTimeValueCountsFromJulianDayZero)
{
    EXPECT_EQ(scripttest::run("new Date(2000, 0, 1).getTime() / 86400000"), "2451545");
}

TEST(Natives, ReplaceFunctionGetsGroupsOffsetAndInput)
{
    EXPECT_EQ(scripttest::run("'ab12'.replace(new RegExp('(\\\\d)(\\\\d)'), function (m, a, b, at, s) {"
                              " return [m, a, b, at, s].join('|'); })"),
              "ab12|1|2|2|ab12");
}

TEST(Natives, LoadOfAMissingFileIsFalse)
{
    EXPECT_EQ(scripttest::run("load('no/such/file.js')"), "false");
}

} // namespace
