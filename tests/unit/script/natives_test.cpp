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

struct PatternCase
{
    const char *name;
    const char *source;
    const char *flags;
    const char *input;
    const char *expected;   // the match joined with "|" and "@" index, "null", or the error's name
};

class Patterns : public testing::TestWithParam<PatternCase>
{
};

TEST_P(Patterns, MatchAsTheStandardReadsThem)
{
    zim::script::ESContext context;
    zim::script::ESObject *global = context.global();
    context.put(global, zim::script::atoms::intern("source"), context.newString(QString::fromUtf8(GetParam().source)));
    context.put(global, zim::script::atoms::intern("flags"), context.newString(QString::fromUtf8(GetParam().flags)));
    context.put(global, zim::script::atoms::intern("input"), context.newString(QString::fromUtf8(GetParam().input)));
    EXPECT_EQ(scripttest::run(context, "try { var m = new RegExp(source, flags).exec(input);"
                                       " m === null ? 'null' : m.join('|') + '@' + m.index } catch (e) { e.name }"),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Natives, Patterns,
    testing::Values(
        PatternCase{"DotSkipsCarriageReturn", ".", "", "\r", "null"},
        PatternCase{"DotSkipsLineSeparator", ".", "", "\u2028", "null"},
        PatternCase{"DotTakesOneCharacter", "a.c", "", "abc", "abc@0"},
        PatternCase{"DollarIsTheEndOnly", "a$", "", "a\n", "null"},
        PatternCase{"MultilineCaretAfterCarriageReturn", "^b", "m", "a\rb", "b@2"},
        PatternCase{"MultilineDollarBeforeLineSeparator", "a$", "m", "a\u2028b", "a@0"},
        PatternCase{"SpaceClassTakesNoBreakSpace", "\\s", "", "x\u00a0", "\u00a0@1"},
        PatternCase{"SpaceClassTakesByteOrderMark", "x[\\s]", "", "x\ufeff", "x\ufeff@0"},
        PatternCase{"NonSpaceClassSkipsEmSpace", "\\S", "", "\u2003y", "y@1"},
        PatternCase{"DigitsAreAscii", "\\d", "", "\u0663", "null"},
        PatternCase{"BackReferenceToAnUnmatchedGroupIsEmpty", "(a)?b\\1", "", "b", "b|@0"},
        PatternCase{"BackReferenceAheadOfItsGroupIsEmpty", "\\1(a)", "", "a", "a|a@0"},
        PatternCase{"LetterEscapeStandsForTheLetter", "\\A\\Q\\h", "", "AQh", "AQh@0"},
        PatternCase{"EmptyClassMatchesNothing", "a[]", "", "a", "null"},
        PatternCase{"NegatedEmptyClassMatchesAnything", "[^]", "", "\n", "\n@0"},
        PatternCase{"BracketInsideAClassIsPlain", "[[:a]+", "", "x:[a", ":[a@1"},
        PatternCase{"BackspaceInAClass", "[\\b]", "", "\b", "\b@0"},
        PatternCase{"ControlEscape", "\\cJ", "", "\n", "\n@0"},
        PatternCase{"VerticalTabEscape", "\\v", "", "\n\u000b", "\u000b@1"},
        PatternCase{"HexAndUnicodeEscapes", "\\x41\\u0042", "", "AB", "AB@0"},
        PatternCase{"BraceWithoutCountIsPlain", "a{,2}}", "", "a{,2}}", "a{,2}}@0"},
        PatternCase{"CountedRepetition", "a{2,3}", "", "aaaa", "aaa@0"},
        PatternCase{"LazyRepetition", "a+?", "", "aaa", "a@0"},
        PatternCase{"PossessiveIsRejected", "a++", "", "aa", "SyntaxError"},
        PatternCase{"NamedGroupIsRejected", "(?<n>a)", "", "a", "SyntaxError"},
        PatternCase{"InlineFlagIsRejected", "(?i)a", "", "A", "SyntaxError"},
        PatternCase{"LookbehindIsRejected", "(?<=a)b", "", "ab", "SyntaxError"},
        PatternCase{"UnterminatedClassIsRejected", "[a", "", "a", "SyntaxError"},
        PatternCase{"TrailingBackslashIsRejected", "a\\", "", "a", "SyntaxError"},
        PatternCase{"LookaheadsStay", "a(?=b)(?!c)", "", "abd", "a@0"}),
    [](const testing::TestParamInfo<PatternCase> &info) { return std::string(info.param.name); });

TEST(Natives, SplitMatchesWithTheTranslatedPattern)
{
    EXPECT_EQ(scripttest::run("['x y\\u00a0z'.split(new RegExp('\\\\s')).join('|'), 'ab'.split(new RegExp('[]')).join(),"
                              " 'a\\rb'.split(new RegExp('^', 'm')).length, 'aXbxc'.split(new RegExp('x', 'i')).join()]"
                              ".join(' ')"),
              "x|y|z ab 2 a,b,c");
}

TEST(Natives, PatternsOfTheSameSourceKeepTheirOwnFlags)
{
    // Compiled patterns are shared by source; the flags that change the compiled form must not be.
    EXPECT_EQ(scripttest::run("var r = []; for (var i = 0; i < 2; i++) r.push(new RegExp('^b', 'm').test('a\\nb'),"
                              " new RegExp('^b').test('a\\nb'), new RegExp('B', 'i').test('b'), new RegExp('B').test('b'),"
                              " /(x)|y/g.exec('y')[1] === undefined, 'a-b'.replace(/(-)/, '[$1$&$`$\\'$$]'));"
                              " r.join()"),
              "true,false,true,false,true,a[--ab$]b,true,false,true,false,true,a[--ab$]b");
}

} // namespace

// The matcher either answers right or throws a RangeError a script can catch; "no match" from a
// match the library gave up on was a wrong answer.
TEST(Matcher, DeepRepetitionIsAnsweredRight)
{
    EXPECT_EQ(scripttest::run("var s = new Array(8193).join('ab'); var m = new RegExp('(a|b)*').exec(s);"
                              " m === null ? 'null' : [m[0].length, m[1], /(?:a|b)+$/.exec('x' + s).index].join()"),
              "16384,b,1");
}

TEST(Matcher, DeepRepetitionPastTheMemoryCapIsARangeError)
{
    EXPECT_EQ(scripttest::run("var s = 'ab'; while (s.length < 1048576) s += s;"
                              " try { String(new RegExp('(a|b)*').exec(s)) } catch (e) { e.name }"),
              "RangeError");
}

TEST(Matcher, ExponentialBacktrackingIsRightOrARangeError)
{
    const QString result = scripttest::run("var s = new Array(24).join('a'); try { String(/^(?:(a+)+b|a+)$/.test(s)) }"
                                           " catch (e) { e.name }");
    EXPECT_TRUE(result == QLatin1String("true") || result == QLatin1String("RangeError")) << result.toStdString();
}

TEST(Matcher, LoneSurrogatesInTheSubjectKeepTheirPlaces)
{
    EXPECT_EQ(scripttest::run("var s = 'x\\ud800a\\udc00b'; [/a/.test(s), s.search(/b/), s.replace(/a|b/g, '-').length,"
                              " /x.a/.exec(s).index].join()"),
              "true,4,5,0");
}

class StopAfter : public zim::script::ESContext
{
public:
    bool keepRunning() override { return ++polls < 1000; }
    int polls = 0;
};

// One native call can run a million matches: a stop request must end it between matches.
TEST(Matcher, StopRequestEndsALongReplace)
{
    StopAfter context;
    EXPECT_THROW(context.evaluate("var s = 'a'; for (var i = 0; i < 20; i++) s += s; s.replace(/a/g, 'b'); s.split(/a/)"),
                 zim::script::ESFatalError);
    EXPECT_EQ(context.polls, 1000);
}

namespace {

TEST(Natives, JoinGivesHolesUndefinedAndNullAsEmptyTexts)
{
    EXPECT_EQ(scripttest::run("var a = [1, , undefined, null, 'x']; a.length = 7; a.join() + '|' + a.join('')"),
              "1,,,,x,,|1x");
    // The separator is converted once, from any value; undefined means a comma.
    EXPECT_EQ(scripttest::run("var a = [1, 2, 3]; var calls = 0;"
                              "var sep = { toString: function () { calls++; return '-'; } };"
                              "[a.join(undefined), a.join(null), a.join(0), a.join(sep), calls, a.join(true)].join('|')"),
              "1,2,3|1null2null3|10203|1-2-3|1|1true2true3");
    // Mostly empty storage gives separators alone, and arrays like objects are read by index.
    EXPECT_EQ(scripttest::run("var a = new Array(5); a[2] = 'm'; var b = new Array(100000); b[99999] = 'e';"
                              "var s = b.join('ab'); var o = {length: 3, 0: 'p', 2: null};"
                              "a.join('+') + ' ' + s.length + s.slice(-3) + ' ' + new Array(4).join('z') + ' '"
                              " + Array.prototype.join.call(o, ';') + ' ' + [].join() + '.' + [null].join() + '.'"),
              "++m++ 199999abe zzz p;; ..");
}

} // namespace
