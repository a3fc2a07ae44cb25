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

struct MalformedUri
{
    const char *name;
    const char *call;
};

class UriErrors : public testing::TestWithParam<MalformedUri>
{
};

TEST_P(UriErrors, ThrowAUriErrorThatIsAnError)
{
    const QString text = QStringLiteral("try { %1; 'no error' } catch (e) {"
                                        " [e instanceof URIError, e instanceof Error, e.name, e.message].join() }")
                             .arg(QString::fromUtf8(GetParam().call));
    EXPECT_EQ(scripttest::run(text), "true,true,URIError,line 1: URI malformed");
}

INSTANTIATE_TEST_SUITE_P(
    Natives, UriErrors,
    testing::Values(MalformedUri{"PercentAtTheEnd", "decodeURI('abc%')"},
                    MalformedUri{"PercentWithOneDigit", "decodeURI('%4')"},
                    MalformedUri{"PercentWithoutHex", "decodeURIComponent('%G0')"},
                    MalformedUri{"ContinuationByteFirst", "decodeURIComponent('%80')"},
                    MalformedUri{"TruncatedSequence", "decodeURIComponent('%E4%B8')"},
                    MalformedUri{"SequenceBrokenByAPlainCharacter", "decodeURI('%E4%B8x')"},
                    MalformedUri{"OverlongEncoding", "decodeURIComponent('%C0%80')"},
                    MalformedUri{"EncodedSurrogate", "decodeURIComponent('%ED%A0%80')"},
                    MalformedUri{"LoneHighSurrogate", "encodeURI('a\\uD800')"},
                    MalformedUri{"HighSurrogateBeforeNonLow", "encodeURIComponent('\\uD800x')"},
                    MalformedUri{"LoneLowSurrogate", "encodeURIComponent('\\uDC00')"}),
    [](const testing::TestParamInfo<MalformedUri> &info) { return std::string(info.param.name); });

TEST(Natives, UriErrorIsAFullErrorClass)
{
    EXPECT_EQ(scripttest::run("[typeof URIError, URIError.length, URIError.prototype.name, URIError('m').message,"
                              " URIError.prototype.constructor === URIError, URIError.prototype instanceof Error,"
                              " String(new URIError('x')), Object.prototype.toString.call(new URIError())].join()"),
              "function,1,URIError,m,true,true,URIError: x,[object Error]");
}

TEST(Natives, WellFormedUrisRoundTrip)
{
    EXPECT_EQ(scripttest::run("var s = 'a b/\\u00e4\\u4e2d\\ud83d\\ude00?x=1&y=#z';"
                              "[decodeURI(encodeURI(s)) == s, decodeURIComponent(encodeURIComponent(s)) == s,"
                              " decodeURI('%3B%2F%41')].join()"),
              "true,true,%3B%2FA");
}

TEST(Natives, MethodsSharingAStringOrArrayClassHaveTheirOwnLength)
{
    EXPECT_EQ(scripttest::run("[String.prototype.indexOf.length, String.fromCharCode.length, String.length,"
                              " Array.prototype.push.length, Array.prototype.splice.length, Array.length,"
                              " String.prototype.charAt[0]].join()"),
              "1,1,1,1,2,1,");
}

TEST(Natives, ErrorInstancesOfEveryClassAreOfClassError)
{
    EXPECT_EQ(scripttest::run("var s = ''; var all = [Error, EvalError, RangeError, ReferenceError, SyntaxError,"
                              " TypeError, URIError]; for (var i = 0; i < all.length; i++)"
                              " s += Object.prototype.toString.call(new all[i]()) == '[object Error]'; s"),
              "truetruetruetruetruetruetrue");
}

} // namespace
