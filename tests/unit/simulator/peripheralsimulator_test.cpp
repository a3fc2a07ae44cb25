// The peripheral script bridge: call texts, result conversion, failures, and how the core's
// loads, stores, polls and resets reach the script.
#include "simulatortestutil.h"

#include "common/boundedread.h"
#include "common/hexception.h"
#include "platform/fileidentity.h"
#include "simulator/peripheralsimulator.h"

#include <QFile>
#include <QTemporaryDir>
#include <gmock/gmock.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>


namespace {

using zim::common::HException;
using zim::simulator::PeripheralSimulator;
using Call = PeripheralSimulator::Call;

constexpr int PC = 0, SR = 2;

// Records every call in globals the tests read back.
const char *const kRecorder = R"(
var calls = [];
function reset() { calls.push("reset"); }
function pollForInterrupts(c) { calls.push("poll " + c); return pollResult; }
function loadPeripheral(a) { calls.push("load " + a.toString(16)); return 0x42; }
function storePeripheral(a, v) { calls.push("store " + a.toString(16) + " " + v.toString(16)); }
var pollResult;
)";

class PeripheralTest : public testing::Test
{
protected:
    PeripheralSimulator &make(const QString &text)
    {
        m_peripherals = std::make_unique<PeripheralSimulator>(text + QLatin1Char('\n'), m_sim);
        return *m_peripherals;
    }
    QString evaluate(const QString &expression)
    {
        auto &context = m_peripherals->context();
        return context.toString(context.evaluate(expression).value);
    }

    TestSimulator<> m_simulator;
    TestEnvironment &m_state = m_simulator.state;
    zim::simulator::MSP430Monitor &m_sim = m_simulator.sim;
    std::unique_ptr<PeripheralSimulator> m_peripherals;
};

struct CallTextCase
{
    const char *name;
    Call call;
    uint32_t first, second;
    const char *text;
};

class CallText : public testing::TestWithParam<CallTextCase>
{
};

TEST_P(CallText, IsLowerCaseHexWithoutLeadingZeros)
{
    EXPECT_EQ(PeripheralSimulator::callText(GetParam().call, GetParam().first, GetParam().second).toStdString(),
              GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Calls, CallText,
                         testing::Values(CallTextCase{"ByteRead", Call::Load, 0x21, 0, "loadPeripheral(0x21)\n"},
                                         CallTextCase{"WordWrite", Call::Store, 0x160, 0x1234,
                                                      "storePeripheral(0x160, 0x1234)\n"},
                                         CallTextCase{"ZeroValue", Call::Store, 0x7F, 0, "storePeripheral(0x7f, 0x0)\n"},
                                         CallTextCase{"Poll", Call::Poll, 0xABCD, 0, "pollForInterrupts(0xabcd)\n"},
                                         CallTextCase{"Reset", Call::Reset, 0, 0, "reset()\n"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(PeripheralTest, CallsPassTheirNumbers)
{
    PeripheralSimulator &p = make(QString::fromLatin1(kRecorder));
    p.reset();
    EXPECT_EQ(p.loadPeripheral(0x21), 0x42u);
    p.storePeripheral(0x160, 0x1234);
    p.pollForInterrupts(100);
    EXPECT_EQ(evaluate(QStringLiteral("calls.join()")), QStringLiteral("reset,load 21,store 160 1234,poll 100"));
}

TEST_F(PeripheralTest, MissingFunctionFailsAsTheCallTextDoesAndNamesTheFunction)
{
    PeripheralSimulator &p = make(QStringLiteral("var loadPeripheral = 5;"));
    EXPECT_THAT([&] { p.loadPeripheral(0x21); },
                testing::ThrowsMessage<HException>(testing::StrEq(
                    "line 1: not a function object (the peripheral file defines no function loadPeripheral)")));
    EXPECT_THAT([&] { p.reset(); }, testing::ThrowsMessage<HException>(testing::EndsWith("no function reset)")));
}

struct ResultCase
{
    const char *name;
    const char *result; // the script expression loadPeripheral returns
    uint32_t load;
    int poll;
};

class Results : public PeripheralTest, public testing::WithParamInterface<ResultCase>
{
};

TEST_P(Results, ConvertToANumberTruncatedTowardZero)
{
    const QString body = QStringLiteral("return %1;").arg(QLatin1String(GetParam().result));
    PeripheralSimulator &p = make(QStringLiteral("function loadPeripheral(a) { %1 }\nfunction pollForInterrupts(c) { %1 }")
                                      .arg(body));
    EXPECT_EQ(p.loadPeripheral(0x10), GetParam().load);
    EXPECT_EQ(p.pollForInterrupts(1), GetParam().poll);
}

INSTANTIATE_TEST_SUITE_P(
    Values, Results,
    testing::Values(ResultCase{"UndefinedIsTheFillValue", "undefined", 0xCD, -1},
                    ResultCase{"SmallNumber", "3", 3, 3},
                    ResultCase{"FractionTruncates", "15.9", 15, 15},
                    ResultCase{"NegativeFractionTruncatesTowardZero", "-0.5", 0, 0},
                    ResultCase{"SixteenIsNoInterrupt", "16", 16, -1},
                    ResultCase{"NegativeWrapsForLoadsAndIsNoInterrupt", "-1", 0xFFFF, -1},
                    ResultCase{"LoadIsModulo0x10000", "0x12345", 0x2345, -1},
                    ResultCase{"HugeNumber", "1e20 + 5", 0, -1},
                    ResultCase{"HugeNumberIsNotAWrappedVector", "4294967299", 3, -1},
                    ResultCase{"Infinity", "1 / 0", 0, -1},
                    ResultCase{"NumericString", "'0x0a'", 10, 10},
                    ResultCase{"OtherStringIsNaN", "'abc'", 0, -1},
                    ResultCase{"ObjectThroughValueOf", "{ valueOf: function () { return 7; } }", 7, 7},
                    ResultCase{"PlainObjectIsNaN", "{}", 0, -1},
                    ResultCase{"True", "true", 1, 1},
                    ResultCase{"Null", "null", 0, 0}),
    [](const auto &info) { return std::string(info.param.name); });

struct FailureCase
{
    const char *name;
    const char *script;
    const char *message;
};

class Failures : public PeripheralTest, public testing::WithParamInterface<FailureCase>
{
};

TEST_P(Failures, ReportTheScriptsMessage)
{
    const auto run = [&] {
        PeripheralSimulator &p = make(QLatin1String(GetParam().script));
        p.setCallBudget(100000);
        p.reset();
        p.pollForInterrupts(100);
        p.loadPeripheral(0x21);
        p.storePeripheral(0x21, 1);
    };
    EXPECT_THAT(run, testing::ThrowsMessage<HException>(testing::StrEq(GetParam().message)));
}

INSTANTIATE_TEST_SUITE_P(
    Throws, Failures,
    testing::Values(
        FailureCase{"StringInReset", "function reset() { throw 'no clock'; }", "Uncaught exception: no clock"},
        FailureCase{"TypeErrorInPoll", "function reset() {} function pollForInterrupts() { throw new TypeError('no clock'); }",
                    "no clock"},
        FailureCase{"ThrowAtTopLevel", "throw new Error('no device');", "no device"},
        FailureCase{"EndlessLoad", "function reset() {} function pollForInterrupts() {}\n"
                                   "function loadPeripheral(a) { for (;;) {} }",
                    "peripheral script did not return from loadPeripheral(0x21) within 100,000 loop iterations and calls"},
        FailureCase{"EndlessRecursion", "function reset() { reset(); }", "line 1: virtual machine stack too small"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(PeripheralTest, WritesRawBytesToTheOutputFile)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("uart.bin"));
    m_sim.setPeripheralOutputFile(out);
    make(QStringLiteral("Simulator.write(0x41); Simulator.write(0x100 + 10); Simulator.write('\u00e9');"));
    m_peripherals.reset();
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("A\n\xC3\xA9"));
}

TEST_F(PeripheralTest, ReadsTheInputFileThenMinusOne)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("rx.bin"));
    QFile file(in);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write("\xFFz"), 2);
    file.close();
    m_sim.setPeripheralInputFile(in);
    make(QStringLiteral("var got = [Simulator.read(), Simulator.read(), Simulator.read()];"));
    EXPECT_EQ(evaluate(QStringLiteral("got.join()")), QStringLiteral("255,122,-1"));
}

TEST_F(PeripheralTest, InputFileLargerThanTheCeilingFailsConstruction)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("rx.bin"));
    QFile file(in);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(zim::common::kMaxScriptFileSize + 1)); // sparse: no disk space taken
    file.close();
    m_sim.setPeripheralInputFile(in);
    EXPECT_THAT([&] { make(QString()); },
                testing::ThrowsMessage<HException>(testing::StrEq(
                    zim::common::tooLargeMessage(in, zim::common::kMaxScriptFileSize,
                                                 QStringLiteral("a peripheral input file may have"))
                        .toStdString())));
}

TEST_F(PeripheralTest, FifoInputIsReadAsItComesAndEndsWithMinusOne)
{
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("rx")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    std::thread writer([&] {
        const int fd = ::open(fifo.constData(), O_WRONLY);
        if (fd >= 0) {
            [[maybe_unused]] const ssize_t n = ::write(fd, "ab", 2);
            ::close(fd);
        }
    });
    m_sim.setPeripheralInputFile(QFile::decodeName(fifo));
    make(QString());
    writer.join();
    EXPECT_EQ(evaluate(QStringLiteral("[Simulator.read(), Simulator.read(), Simulator.read(), Simulator.read()].join()")),
              QStringLiteral("97,98,-1,-1"));
}

TEST(FileIdentity, FindsTheSameFileThroughLinksButNotACopy)
{
    QTemporaryDir dir;
    const QString original = dir.filePath(QStringLiteral("a.hex"));
    const QString copy = dir.filePath(QStringLiteral("b.hex"));
    const QString hardLink = dir.filePath(QStringLiteral("c.hex"));
    const QString symLink = dir.filePath(QStringLiteral("d.hex"));
    for (const QString &path : {original, copy}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write("same"), 4);
    }
    ASSERT_EQ(::link(QFile::encodeName(original).constData(), QFile::encodeName(hardLink).constData()), 0);
    ASSERT_TRUE(QFile::link(original, symLink));
    using zim::platform::sameFileAsAny;
    EXPECT_EQ(sameFileAsAny(hardLink, {copy, original}), original);
    EXPECT_EQ(sameFileAsAny(symLink, {dir.filePath(QStringLiteral("none")), hardLink}), hardLink);
    EXPECT_EQ(sameFileAsAny(copy, {original, hardLink, symLink}), QString());
    EXPECT_EQ(sameFileAsAny(dir.filePath(QStringLiteral("new.bin")), {original}), QString());
}

TEST_F(PeripheralTest, MissingInputFileFailsConstruction)
{
    m_sim.setPeripheralInputFile(QStringLiteral("/nonexistent/rx.bin"));
    EXPECT_THAT([&] { make(QString()); },
                testing::ThrowsMessage<HException>(testing::HasSubstr("cannot open peripheral input file")));
}

// A simulator whose peripheral file comes from the test.
class ScriptedMonitorTest : public testing::Test, protected SimulatorFixture
{
protected:
    void connectWith(const QString &script) { usePeripheralFile(script.toUtf8().constData()); }
};

TEST_F(ScriptedMonitorTest, WithGIEClearLoadsAndStoresReachTheScriptButPollsDoNot)
{
    connectWith(QString::fromLatin1(kRecorder) + QStringLiteral("pollResult = 10;"));
    poke(0xFFF4, {0xF100});
    // MOV.B &0x0021,R5; MOV.B R5,&0x0022; JMP $
    load({0x4255, 0x0021, 0x45C2, 0x0022, 0x3FFF});
    sim.runFor(1000);
    EXPECT_EQ(regs().read(5), 0x42u);
    EXPECT_EQ(evaluate(QStringLiteral("calls.join()")), QStringLiteral("reset,load 21,load 22,store 22 42"));
}

TEST_F(ScriptedMonitorTest, APollResultMakesItsVectorPendingWithGIESet)
{
    connectWith(QString::fromLatin1(kRecorder) + QStringLiteral("pollResult = 10;"));
    poke(0xFFF4, {0xF100});
    poke(0xF100, {0x3FFF});
    load({0xD232, 0x3FFF}); // EINT; JMP $
    sim.runFor(150);
    EXPECT_EQ(regs().read(PC), 0xF100u);
    EXPECT_EQ(regs().read(SR) & 8, 0u);
    EXPECT_EQ(evaluate(QStringLiteral("calls[calls.length - 1]")), QStringLiteral("poll 101"));
}

TEST_F(ScriptedMonitorTest, ResetTargetRestartsFromTheResetVector)
{
    connectWith(QStringLiteral("var resets = 0; function reset() { ++resets; }\nfunction loadPeripheral(a) { return 0; }\n"
                               "function storePeripheral(a, v) { Simulator.resetTarget(); }"));
    load({0x4303, 0x43C2, 0x0021, 0x3FFF}); // NOP; MOV.B #0,&0x0021; JMP $
    sim.step();
    sim.step();
    EXPECT_EQ(regs().read(PC), kCode + 6);
    sim.step();
    EXPECT_EQ(regs().read(PC), kCode + 2) << "the reset was taken before the next instruction, which ran";
    EXPECT_EQ(evaluate(QStringLiteral("resets")), QStringLiteral("2"));
}

TEST_F(ScriptedMonitorTest, CtrlCEndsARunThatNeverReachesThePeripherals)
{
    connectWith(QString::fromLatin1(kRecorder));
    load({0x4303, 0x3FFE}); // NOP; JMP back to the NOP, with GIE clear: no poll, load or store
    std::raise(SIGINT);
    EXPECT_THAT([&] { sim.runFor(200'000'000); },
                testing::ThrowsMessage<HException>(testing::StrEq("peripheral simulation interrupted (Ctrl-C)")));
}

TEST_F(ScriptedMonitorTest, CaughtPeripheralFailureKeepsItsCyclesAndAResetStartsFromZero)
{
    connectWith(QStringLiteral("var seen = []; function reset() { seen.push(Simulator.cycles()); }\n"
                               "function loadPeripheral(a) { return 0; }\n"
                               "function storePeripheral(a, v) { throw new Error('bad port'); }"));
    load({0x4303, 0x4303, 0x43C2, 0x0021, 0x3FFF}); // NOP; NOP; MOV.B #0,&0x0021 (4 cycles); JMP $
    EXPECT_THROW(sim.runFor(1000), HException);
    EXPECT_EQ(sim.cycles(), 6u) << "the cycles run before the failure still count";
    sim.reset(true);
    EXPECT_EQ(sim.cycles(), 0u);
    EXPECT_EQ(evaluate(QStringLiteral("seen.join()")), QStringLiteral("0,0"));
}

TEST_F(ScriptedMonitorTest, AnAccessSeesTheCycleCountAtTheEndOfItsInstruction)
{
    connectWith(QStringLiteral("var seen = []; function reset() {}\n"
                               "function loadPeripheral(a) { seen.push(Simulator.cycles()); return 0; }"));
    // MOV.B &0x0021,R5 (3 cycles) three times, then JMP $.
    load({0x4255, 0x0021, 0x4255, 0x0021, 0x4255, 0x0021, 0x3FFF});
    sim.runFor(20);
    EXPECT_EQ(evaluate(QStringLiteral("seen.join()")), QStringLiteral("3,6,9"));
}

} // namespace
