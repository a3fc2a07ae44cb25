// The stream reader: constants, tables, every error message and hostile input.
#include "loadfile/hbytestream.h"
#include "tevo/tevoexpr.h"
#include "tevo/tevoinsn.h"
#include "tevo/tevomodule.h"
#include "tevo/tevomsp430insn.h"
#include "tevo/tevomsp430reader.h"
#include "tevo/tevosection.h"
#include "tevo/tevosymbol.h"
#include "unit/tevo/tevotestutil.h"

#include <QFile>
#include <QTemporaryFile>
#include <gtest/gtest.h>

namespace zim::tevo {
namespace {

using Op = zim::tevo::TEVOOpcode;

QByteArray bytes(std::initializer_list<uint8_t> list)
{
    QByteArray b;
    for (uint8_t v : list)
        b += char(v);
    return b;
}

// A module with section "CODE" selected.
QByteArray inSection(const std::function<void(zim::tevo::TEVOWriter &)> &body)
{
    return moduleStream([&](zim::tevo::TEVOWriter &w) {
        w.string("CODE");
        w.op(Op::MKSECTION);
        w.op(Op::SECTION);
        body(w);
    });
}

struct ErrorCase
{
    const char *name;
    std::function<QByteArray()> stream;
    const char *message;
};

void PrintTo(const ErrorCase &c, std::ostream *os) { *os << c.name; }

class ReaderErrors : public testing::TestWithParam<ErrorCase>
{
};

TEST_P(ReaderErrors, Message)
{
    EXPECT_EQ(readError(GetParam().stream()), GetParam().message);
}

const char *const premature = "premature end of TEVO file";
const char *const outOfRange = "bad object file: operand value error (constant out of range)";

INSTANTIATE_TEST_SUITE_P(
    Reader, ReaderErrors,
    testing::Values(
        ErrorCase{"EndInsideLitxValue", [] { return bytes({0x08, 0x03, 0x12, 0x34}); }, premature},
        ErrorCase{"StringPoolLargerThanFile", [] { return bytes({0x08, 0x03, 0xFF, 0xFF, 0xFF, 0x26, 'a', 'b'}); },
                  premature},
        ErrorCase{"StringPoolAboveSixteenMegabytes", [] { return bytes({0x08, 0x04, 0x01, 0, 0, 0, 0x26}); },
                  outOfRange},
        ErrorCase{"DropOnEmptyStack", [] { return bytes({0x4F}); }, "bad object file: reader empty stack"},
        ErrorCase{"OneHundredAndFirstPush", [] { return QByteArray(101, char(0x00)); },
                  "bad object file: reader stack overflow"},
        ErrorCase{"DupOnAFullStack", [] { return QByteArray(100, char(0x01)) + char(0x4E); },
                  "bad object file: reader stack overflow"},
        ErrorCase{"ValueLeftAtEnd", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.constant(1); }); },
                  "bad object file: stack not empty at EOF"},
        ErrorCase{"NoModuleScope", [] { return bytes({0x53, 0x66}); }, "bad object file: no module defined"},
        ErrorCase{"DefbytesOfFiveBytes", [] { return inSection([](zim::tevo::TEVOWriter &w) { w.constant(1); w.constant(5); w.op(Op::DEFBYTES); }); },
                  outOfRange},
        ErrorCase{"DefbytesOfNoBytes", [] { return inSection([](zim::tevo::TEVOWriter &w) { w.constant(1); w.constant(0); w.op(Op::DEFBYTES); }); },
                  outOfRange},
        ErrorCase{"DefbytesOfAString", [] { return inSection([](zim::tevo::TEVOWriter &w) { w.string("ab"); w.constant(2); w.op(Op::DEFBYTES); }); },
                  "bad object file: operand type error (expression expected)"},
        ErrorCase{"DefbytesWithoutSection", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.constant(1); w.constant(2); w.op(Op::DEFBYTES); }); },
                  "bad object file: no defined section"},
        ErrorCase{"DefbytesOfOneOperand", [] { return inSection([](zim::tevo::TEVOWriter &w) { w.constant(2); w.op(Op::DEFBYTES); }); },
                  "bad object file: reader empty stack"},
        ErrorCase{"SetpcOnEmptyStack", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.op(Op::SETPC); }); },
                  "bad object file: reader empty stack"},
        ErrorCase{"MkstringOffsetBeyondPool",
                  [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.string("ab"); w.op(Op::DROP); w.constant(3); w.op(Op::MKSTRINGZ); }); },
                  outOfRange},
        ErrorCase{"MkstringLengthPastPoolEnd",
                  [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.string("abcd"); w.op(Op::DROP); w.constant(2); w.constant(3); w.op(Op::MKSTRING); }); },
                  outOfRange},
        ErrorCase{"ConstantAbove32Bits", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.constant(0x100000000ull); w.op(Op::SETPC); }); },
                  outOfRange},
        ErrorCase{"UnknownTagAboveTable", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.raw(bytes({0x72})); }); },
                  "bad object file: unknown tag"},
        ErrorCase{"AliasNotDefined", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.constant(9); w.op(Op::ALIAS); w.op(Op::DROP); }); },
                  "bad object file: alias not defined"},
        ErrorCase{"AliasTwice",
                  [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.constant(1); w.constant(9); w.op(Op::MKALIAS); w.constant(2); w.constant(9); w.op(Op::MKALIAS); }); },
                  "bad object file: alias defined more than once"},
        ErrorCase{"RecordWithoutSection", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.constant(2); w.op(Op::ALIGN); }); },
                  "bad object file: no defined section"},
        ErrorCase{"SetbytesBeforeAnyInstruction", [] { return inSection([](zim::tevo::TEVOWriter &w) { w.string("ab"); w.op(Op::SETBYTES); }); },
                  "bad object file: no instruction defined"},
        ErrorCase{"InstrumentationBeforeAnyInstruction",
                  [] { return inSection([](zim::tevo::TEVOWriter &w) { w.constant(1); w.op(Op::INSTRUMENTATION_DATA); }); },
                  "bad object file: no instruction defined"},
        ErrorCase{"SymbolExpected", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.constant(1); w.op(Op::PUBLIC); }); },
                  "operand type error: symbol expected"},
        ErrorCase{"TypeExpected", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.constant(1); w.op(Op::MEMBER); w.op(Op::DROP); }); },
                  "bad object file: operand type error (type expected)"},
        ErrorCase{"SectionExpected", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.op(Op::NULL_); w.op(Op::SECTION); }); },
                  "bad object file: operand type error (section expected)"},
        ErrorCase{"StringExpected", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.constant(1); w.op(Op::MKSYMBOL); w.op(Op::DROP); }); },
                  "bad object file: operand type error (string expected)"},
        ErrorCase{"ScopeExpected", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.constant(1); w.string("s"); w.op(Op::MKSYMBOL); w.op(Op::SETSCOPE); w.op(Op::DROP); }); },
                  "bad object file: operand type error (scope expected)"},
        ErrorCase{"ExpressionExpected", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.string("a"); w.constant(1); w.op(Op::ADD); w.op(Op::DROP); }); },
                  "bad object file: operand type error (expression expected)"},
        // A scope's address range is two expressions; only its parent may be null.
        ErrorCase{"BlockScopeWithoutLow", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.op(Op::NULL_NULL); w.constant(4); w.op(Op::SCOPE_BLOCK); w.op(Op::DROP); }); },
                  "bad object file: operand type error (expression expected)"},
        ErrorCase{"FunctionScopeWithoutHigh", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.op(Op::NULL_); w.constant(4); w.op(Op::NULL_); w.op(Op::SCOPE_FUNCTION); w.op(Op::DROP); }); },
                  "bad object file: operand type error (expression expected)"},
        ErrorCase{"FileExpected", [] { return inSection([](zim::tevo::TEVOWriter &w) { w.string("f"); w.constant(1); w.op(Op::LOCUS); }); },
                  "bad object file: operand type error (file expected)"},
        ErrorCase{"ConstantExpected", [] { return moduleStream([](zim::tevo::TEVOWriter &w) { w.string("a"); w.op(Op::SETPC); }); },
                  "bad object file: operand type error (constant expression expected)"}),
    [](const testing::TestParamInfo<ErrorCase> &info) { return std::string(info.param.name); });

TEST(Reader, LitxIsBigEndian)
{
    auto value = [](const QByteArray &litx) {
        auto m = readStream(moduleStream([&](zim::tevo::TEVOWriter &w) {
            w.string("v");
            w.op(Op::MKSYMBOL);
            w.op(Op::DUP);
            w.op(Op::PUBLIC);
            w.raw(litx);
            w.op(Op::SYMBOLDEF);
        }));
        return m->publicSymbols().value("v")->definition()->evaluate().value;
    };
    EXPECT_EQ(value(bytes({0x08, 0x02, 0x12, 0x34})), 0x1234);
    EXPECT_EQ(value(bytes({0x08, 0x00})), 0);
    // Beyond eight bytes the leading ones are shifted out.
    EXPECT_EQ(value(bytes({0x08, 0x0A, 0xAA, 0xBB, 0, 0, 0, 0, 0, 0, 0x12, 0x34})), 0x1234);
}

// A constant of more than eight bytes keeps its last eight, whether its bytes are read in the
// window or across reads.
TEST(Reader, LongestLitxKeepsItsLastEightBytes)
{
    QByteArray constant(255, char(0xFF));
    constant.replace(255 - 4, 4, bytes({0x12, 0x34, 0x56, 0x78}));
    const QByteArray stream = inSection([&](zim::tevo::TEVOWriter &w) {
        w.raw(bytes({0x08, 0xFF}) + constant);
        w.constant(4);
        w.op(Op::DEFBYTES);
    });
    auto module = readStream(stream);
    zim::tevo::TEVOInsn *record = recordsOf(module->findSection("CODE")->fragments()[0])[0];
    EXPECT_EQ(record->bytesText(), "78563412");
}

// Makes the public symbol "target" whose value is marker 7, before the marker is placed.
void defineTargetAtMarker7(zim::tevo::TEVOWriter &w)
{
    w.string("target");
    w.op(Op::MKSYMBOL);
    w.op(Op::DUP);
    w.op(Op::PUBLIC);
    w.constant(7);
    w.op(Op::MARKERREF);
    w.op(Op::SYMBOLDEF);
}

TEST(Reader, MarkersResolveForwardReferences)
{
    auto module = readStream(inSection([](zim::tevo::TEVOWriter &w) {
        defineTargetAtMarker7(w);
        w.constant(0xF010);
        w.op(Op::SETPC);
        w.stringZ("done");
        w.constant(7);
        w.op(Op::MARKERDEF);
    }));
    const zim::tevo::TEVOValue v = module->publicSymbols().value("target")->definition()->evaluate();
    EXPECT_FALSE(v.error);
    EXPECT_EQ(v.value, 0xF010);
    EXPECT_EQ(v.base, module->findSection("CODE"));
}

// A marker placed twice is in both places, each record in one fragment only, and its
// references see the last place.
TEST(Reader, MarkerPlacedTwiceIsReferencedAtItsLastPlace)
{
    auto module = readStream(inSection([](zim::tevo::TEVOWriter &w) {
        defineTargetAtMarker7(w);
        for (uint32_t address : {0xF010u, 0xF020u}) {
            w.constant(address);
            w.op(Op::SETPC);
            w.stringZ("done");
            w.constant(7);
            w.op(Op::MARKERDEF);
            w.op(Op::BREAK);
        }
    }));
    const auto &fragments = module->findSection("CODE")->fragments();
    ASSERT_EQ(fragments.size(), 2u);
    EXPECT_EQ(recordsOf(fragments[0]).size(), 1u);
    EXPECT_EQ(recordsOf(fragments[1]).size(), 1u);
    EXPECT_EQ(module->publicSymbols().value("target")->definition()->evaluate().value, 0xF020);
}

TEST(Reader, AliasesReturnTheSameObject)
{
    auto module = readStream(moduleStream([](zim::tevo::TEVOWriter &w) {
        w.string("s");
        w.op(Op::MKSYMBOL);
        w.constant(300);
        w.op(Op::MKALIAS);
        w.constant(300);
        w.op(Op::ALIAS);
        w.op(Op::PUBLIC);
    }));
    EXPECT_EQ(module->allSymbols().size(), 1u);
    EXPECT_TRUE(module->allSymbols()[0]->isPublic());
}

TEST(Reader, LocusIsKeptForLoadingAndDroppedByTheClearOpcode)
{
    auto module = readStream(inSection([](zim::tevo::TEVOWriter &w) {
        w.string("main.c");
        w.op(Op::MKFILENAME);
        w.constant(42);
        w.op(Op::LOCUS);
        for (int i = 0; i < 2; ++i) {
            w.op(Op::NULL_NULL);
            w.constant(0x4303);
            w.op(Op::INSN);
        }
        w.op(Op::CLEAR_LOCUS);
        w.op(Op::NULL_NULL);
        w.constant(0x4303);
        w.op(Op::INSN);
    }));
    const auto records = recordsOf(module->findSection("CODE")->fragments()[0]);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0]->recordKind(), zim::tevo::TEVOInsn::RecordKind::Locus);
    EXPECT_EQ(records[1]->locus(), records[0]);
    EXPECT_EQ(records[2]->locus(), records[0]);
    EXPECT_EQ(records[3]->locus(), nullptr);
}

// The mark and the operands share the record's flag byte; the words set after INSN land on
// the instruction just made.
TEST(Reader, InstructionKeepsItsOperandsMarkAndWords)
{
    auto module = readStream(inSection([](zim::tevo::TEVOWriter &w) {
        w.constant(0x10);
        w.op(Op::ADJUST_STACK);
        w.constant(0x1234);
        w.op(Op::NULL_);
        w.constant(0x4034);
        w.op(Op::INSN_MARKED);
        w.constant(7);
        w.op(Op::INSTRUMENTATION_DATA);
        w.op(Op::NULL_);
        w.constant(4);
        w.op(Op::REGISTER);
        w.constant(0x4303);
        w.op(Op::INSN);
        w.constant(0xABCD);
        w.op(Op::SET_INSN_ATTRIBUTE);
        w.op(Op::NULL_NULL);
        w.constant(0x4303);
        w.op(Op::INSN_MARKED);
    }));
    const auto records = recordsOf(module->findSection("CODE")->fragments()[0]);
    ASSERT_EQ(records.size(), 3u);
    auto *withFirst = static_cast<zim::tevo::TEVOMSP430Insn *>(records[0]);
    auto *withSecond = static_cast<zim::tevo::TEVOMSP430Insn *>(records[1]);
    auto *without = static_cast<zim::tevo::TEVOMSP430Insn *>(records[2]);
    EXPECT_TRUE(withFirst->isMarkedInsn());
    EXPECT_FALSE(withSecond->isMarkedInsn());
    EXPECT_TRUE(without->isMarkedInsn());
    EXPECT_EQ(withFirst->first()->text(), "0x1234");
    EXPECT_EQ(withFirst->second(), nullptr);
    EXPECT_EQ(withSecond->first(), nullptr);
    ASSERT_NE(withSecond->second(), nullptr);
    EXPECT_EQ(without->first(), nullptr);
    EXPECT_EQ(without->second(), nullptr);
    EXPECT_EQ(withFirst->size(), 4u);
    EXPECT_EQ(withSecond->size(), 4u);
    EXPECT_EQ(without->size(), 2u);
    EXPECT_EQ(withFirst->instrumentation(), 7u);
    EXPECT_EQ(withFirst->attribute(), 0xFFFFFFFFu);
    EXPECT_EQ(withSecond->attribute(), 0xABCDu);
    EXPECT_EQ(without->stackAdjustment(), 0x10);
}

TEST(Reader, TraceNamesOpcodesAndShowsTheStack)
{
    zim::loadfile::HByteStream stream;
    const QByteArray input = moduleStream([](zim::tevo::TEVOWriter &w) {
        w.string("x");
        w.op(Op::MKSYMBOL);
        w.op(Op::DROP);
        // An expression that uses itself twice, sixty times over, shows its first operators.
        w.constant(1);
        for (int i = 0; i < 60; ++i) {
            w.op(Op::DUP);
            w.op(Op::ADD);
        }
        w.op(Op::DROP);
    });
    stream.write(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
    QTemporaryFile out;
    ASSERT_TRUE(out.open());
    FILE *f = fdopen(dup(out.handle()), "w");
    ASSERT_TRUE(f);
    zim::tevo::TEVOMSP430Reader reader(stream, false);
    reader.readModule(true, f);
    fclose(f);
    QFile written(out.fileName());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray trace = written.readAll();
    EXPECT_TRUE(trace.contains("STRINGPOOL\n")) << trace.constData();
    EXPECT_TRUE(trace.contains(" SCOPE_MODULE\n\t[scp ]\n")) << trace.constData();
    EXPECT_TRUE(trace.contains(" MKSTRING\n\t[str:x]\n")) << trace.constData();
    EXPECT_TRUE(trace.contains(" MKSYMBOL\n\t[sym:x]\n")) << trace.constData();
    EXPECT_TRUE(trace.contains(" ADD\n\t[unk 1 + 1]\n")) << trace.constData();
    EXPECT_TRUE(trace.contains(" ADD\n\t[unk (((((")) << trace.constData();
    EXPECT_TRUE(trace.contains("...")) << trace.left(1000).constData();
}

// Every prefix of a complete executable either ends in one of the reader's messages or, cut
// at a record boundary, is itself an executable whose sections read.
TEST(Reader, EveryTruncationFails)
{
    zim::tevo::TEVOExecutablePlan plan;
    zim::tevo::TEVORecordPlan marker;
    marker.kind = zim::tevo::TEVORecordPlan::Marker;
    marker.number = 1;
    marker.name = "start";
    marker.address = 0x4400;
    plan.sections = {loadable("CODE", {marker, insnAt(0x4400, "\x31\x40\x00\x44"), dataAt(0x4404, 2, 0xBEEF)})};
    const QByteArray whole = zim::tevo::writeTEVOExecutable(plan);
    ASSERT_NO_THROW(readStream(whole));
    int failures = 0;
    for (int n = 0; n < whole.size(); ++n) {
        const QString message = readError(whole.left(n));
        if (message == "<no exception>")
            continue;
        ++failures;
        EXPECT_TRUE(message == premature || message.startsWith("bad object file: "))
            << n << ": " << message.toStdString();
    }
    EXPECT_GT(failures, whole.size() * 9 / 10);
}

TEST(Reader, HundredMegabyteStreamFailsAtItsBadTag)
{
    QByteArray big(100 * 1024 * 1024, char(0x01));
    for (qsizetype i = 1; i < big.size(); i += 2)
        big[i] = char(0x4F);   // LIT1 DROP pairs allocate nothing
    big[big.size() - 1] = char(0x1E);
    EXPECT_EQ(readError(big), "bad object file: unknown tag");
}

} // namespace
} // namespace zim::tevo
