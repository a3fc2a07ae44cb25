// Lexer, parser and code generator: the syntax error texts, nesting limits, statement shapes
// in the listing and the compiled-text cache.
#include "scripttestutil.h"

#include "script/escompiler.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace zim::script;

namespace {

struct ErrorCase
{
    const char *name;
    const char *source;
    const char *message;
};

class SyntaxErrors : public testing::TestWithParam<ErrorCase>
{
};

TEST_P(SyntaxErrors, AreSyntaxErrorObjectsWithTheLine)
{
    zim::script::ESContext context;
    const zim::script::ESEvaluation result = context.evaluate(QString::fromUtf8(GetParam().source));
    ASSERT_EQ(result.status, zim::script::ESEvaluation::Thrown);
    ASSERT_TRUE(result.value.isObject());
    EXPECT_EQ(result.value.object->cls, static_cast<zim::script::ESClass *>(context.syntaxErrorClass));
    EXPECT_EQ(result.message, QString::fromUtf8(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Compiler, SyntaxErrors,
    testing::Values(
        ErrorCase{"shortHexEscape", "\n'\\x4'", "line 2: malformed hex escape sequence"},
        ErrorCase{"newlineInString", "'abc\n'", "line 1: newline in string constant"},
        ErrorCase{"unterminatedString", "'abc", "line 1: end of file in string constant"},
        ErrorCase{"octalDigit", "x = 08", "line 1: digit '8' is not radix 8"},
        ErrorCase{"unknownCharacter", "x = #", "line 1: unknown character '#'"},
        ErrorCase{"missingExpression", "x = ;", "line 1: expected an expression, found ;"},
        ErrorCase{"expectedToken", "if (x {}", "line 1: expected ) found {"},
        ErrorCase{"continueOnBlock", "a: { continue a; }", "line 1: labeled 'continue' doesn't mark a loop"},
        ErrorCase{"breakOutsideLoop", "\n\nbreak;", "line 3: 'break' not in a 'for' or 'while' loop"},
        ErrorCase{"unknownLabel", "while (1) { break there; }", "line 1: can't find label there"},
        ErrorCase{"secondDefault", "switch (1) { default: default: }", "line 1: default case already defined"},
        ErrorCase{"badClause", "switch (1) { x; }", "line 1: expected 'case' or 'default' but found 'an identifier'"},
        ErrorCase{"tryAlone", "try {}", "line 1: 'catch' or 'finally' clause expected after 'try'"},
        ErrorCase{"forInTwoVariables", "for (var a, b in o) {}", "line 1: too many variables in for-in expression"},
        ErrorCase{"returnAtTopLevel", "return 1", "line 1: return not in a function"},
        ErrorCase{"badArrayInit", "[1 2]", "line 1: ']' or ',' expected, found a number"},
        ErrorCase{"badObjectKey", "x = {[1]: 2}", "line 1: number, string, or identifier expected in object initialiser"},
        ErrorCase{"regExpFlagTwice", "\nx = /a/gg", "line 2: invalid regular expression flags 'gg'"},
        ErrorCase{"regExpUnknownFlag", "x = /a/y", "line 1: invalid regular expression flags 'y'"},
        ErrorCase{"regExpBadGroup", "x = 1;\nx = /a(?<b)/", "line 2: invalid regular expression: unrecognized character after (?"},
        ErrorCase{"regExpBadPatternInDeadCode", "if (false) x = /a)/", "line 1: invalid regular expression: unmatched closing parenthesis"},
        ErrorCase{"regExpLineBreak", "x = /abc\n/", "line 1: unterminated regular expression literal"},
        ErrorCase{"regExpAtEnd", "x = /abc\\", "line 1: unterminated regular expression literal"},
        ErrorCase{"escapedSpaceInName", "a\\u0020b = 7", "line 1: '\\u0020' cannot appear in an identifier"},
        ErrorCase{"escapedDigitStartsName", "\\u0031a = 7", "line 1: '\\u0031' cannot appear in an identifier"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Compiler, DeepNestingIsASyntaxErrorNotACrash)
{
    for (const QString &source : {QString(100000, QLatin1Char('(')), QString(100000, QLatin1Char('{')),
                                  QStringLiteral("x = 1") + QStringLiteral("+1").repeated(100000),
                                  QStringLiteral("x") + QStringLiteral(".y").repeated(100000)}) {
        zim::script::ESContext context;
        const zim::script::ESEvaluation result = context.evaluate(source);
        EXPECT_EQ(result.status, zim::script::ESEvaluation::Thrown);
        EXPECT_EQ(result.value.object->cls, static_cast<zim::script::ESClass *>(context.syntaxErrorClass));
    }
}

TEST(Compiler, EmptyForIsAnUnconditionalBackwardJump)
{
    zim::script::ESContext context;
    auto program = context.compileCached("for (;;) {}", false);
    EXPECT_TRUE(context.listing(*program).contains(QStringLiteral("0005: J\t0005"))) << context.listing(*program).toStdString();
}

TEST(Compiler, LessThanConditionIsFusedIntoJlt)
{
    zim::script::ESContext context;
    auto program = context.compileCached("var n = 0; for (var i = 0; i < 3; i++) n++; n", false);
    const QString listing = context.listing(*program);
    EXPECT_TRUE(listing.contains(QStringLiteral("JLT\t"))) << listing.toStdString();
    EXPECT_TRUE(listing.contains(QStringLiteral("INCG\ti [idx="))) << listing.toStdString();
    EXPECT_EQ(scripttest::run(context, "var n = 0; for (var i = 0; i < 3; i++) n++; n"), "3");
}

TEST(Compiler, ListingShowsOperandsInTheirFormats)
{
    zim::script::ESContext context;
    auto program = context.compileCached("var a = 1.5; f(a, 'text'); function g(p) { var l = p; return l; }", false);
    const QString listing = context.listing(*program);
    for (const char *pattern : {R"(^0000: CLOSURE\t#0$)", R"(^[0-9a-f]{4}: NUM\t1\.5$)",
                                R"(^[0-9a-f]{4}: PUTG\ta \[idx=\d+\]$)", R"(^[0-9a-f]{4}: STR\ttext$)",
                                R"(^[0-9a-f]{4}: CALLG\tf \[idx=\d+\], #2$)"}) {
        EXPECT_TRUE(listing.contains(QRegularExpression(QString::fromLatin1(pattern),
                                                        QRegularExpression::MultilineOption)))
            << pattern << "\n" << listing.toStdString();
    }
    const QString inner = context.listing(*program->functions.at(0));
    EXPECT_TRUE(inner.contains(QStringLiteral("GETA\tp"))) << inner.toStdString();
    EXPECT_TRUE(inner.contains(QStringLiteral("PUTL\tl"))) << inner.toStdString();
}

TEST(Compiler, SameTextIsCompiledOnce)
{
    zim::script::ESContext context;
    EXPECT_EQ(context.compileCached("1 + 1", false), context.compileCached("1 + 1", false));
}

TEST(Compiler, FunctionConstructorBuildsAnonymousFunction)
{
    EXPECT_EQ(scripttest::run("var f = new Function('a, b', 'c', 'return a + b + c'); f.length + ':' + f(1, 2, 3)"),
              "3:6");
    EXPECT_EQ(scripttest::run("try { new Function('a-b', 'return 1'); 'no' } catch (e) { e.name }"), "SyntaxError");
}

TEST(Compiler, FunctionInBlockExistsOnceTheBlockRuns)
{
    EXPECT_EQ(scripttest::run("var r = typeof g; { function g() {} } r + ' ' + typeof g"), "undefined function");
}

TEST(Compiler, ALabelInsideTheSameLabelIsASyntaxError)
{
    EXPECT_EQ(scripttest::run("try { eval('L: L: 1'); 'accepted' } catch (e) { e.name }"), "SyntaxError");
    EXPECT_EQ(scripttest::run("try { eval('L: { L: for (;;) break L; }'); 'accepted' } catch (e) { e.name }"),
              "SyntaxError");
    EXPECT_EQ(scripttest::run("L: { break L; } L: for (;;) { break L; } function f() { L: return 1; } 'accepted'"),
              "accepted");
}

} // namespace

// Where an operand starts, a slash opens a regular-expression literal; after an operand it divides.
TEST(RegExpLiterals, SlashDividesAfterAnOperandAndOpensALiteralElsewhere)
{
    EXPECT_EQ(scripttest::run("var g = 2, i = 4; [i /2/g, typeof /2/g, (/=/).source, [/a/][0].source,"
                              " !/b/.test('a'), 1 ? /c/.source : 0].join()"),
              "1,object,=,a,true,c");
    EXPECT_EQ(scripttest::run("function f(s) { return /^[/\\]]+$/.test(s); } [f('/]'), f('x')].join()"),
              "true,false");
}

TEST(RegExpLiterals, EachEvaluationMakesAFreshObject)
{
    EXPECT_EQ(scripttest::run("function f() { return /a/g; } var a = f(); a.lastIndex = 3;"
                              " [a !== f(), f().lastIndex, a.global, /x/im.multiline].join()"),
              "true,0,true,true");
}

TEST(RegExpLiterals, UseTheOriginalConstructorWhateverTheGlobalNameHolds)
{
    EXPECT_EQ(scripttest::run("var saved = RegExp; RegExp = null; var r = /a/i.test('A');"
                              " [r, /b/ instanceof saved].join()"),
              "true,true");
}

TEST(Lexer, EscapedNameCharactersAndExtremeExponents)
{
    EXPECT_EQ(scripttest::run("var a\\u0062 = 3; \\u0061b + 1"), "4");
    EXPECT_EQ(scripttest::run("[1e400, 1E+400, 1e-400, 1 / 1e-400, -2.5e999, 0.1e-330].join()"),
              "Infinity,Infinity,0,Infinity,-Infinity,0");
}
