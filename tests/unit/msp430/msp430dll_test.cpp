// The msp430_dll target over the stand-ins for TI's debug library (and over the real library
// where the shared folder has it): the call sequences the edge cases need, the failures that
// a download cannot reach, and why the generation of a library matters.
#include "common/hexception.h"
#include "fakes/fakeclock.h"
#include "fakes/testenvironment.h"
#include "loadfile/intelhexloadfile.h"
#include "msp430/msp430targetinterface.h"
#include "target/targetinterface.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

using zim::msp430::MSP430Dll;
using zim::msp430::MSP430DllGeneration;
using zim::msp430::MSP430TargetInterface;

namespace {

QString fakeLibrary(const char *variant)
{
    return QStringLiteral(ZIM_FAKE_MSP430DLL_DIR "/libfakemsp430%1.so").arg(QLatin1String(variant));
}

struct DllTarget : testing::Test
{
    QTemporaryDir dir;
    TestEnvironment environment;
    zim::fakes::FakeClock clock;
    std::unique_ptr<MSP430TargetInterface> target;

    // Sets the fake up with settings (besides its log) and makes a target over variant.
    void make(const QString &settings = QString(), const char *variant = "v2")
    {
        const QString all = QStringLiteral("log=") + logPath() + (settings.isEmpty() ? QString() : "," + settings);
        ::setenv("ZIM_FAKE_MSP430", all.toLocal8Bit().constData(), 1);
        environment.setClock(&clock);
        target = std::make_unique<MSP430TargetInterface>(environment);
        target->setTargetDllPath(fakeLibrary(variant));
    }
    void TearDown() override
    {
        if (target && target->isConnected())
            target->disconnect();
        ::unsetenv("ZIM_FAKE_MSP430");
    }
    QString logPath() const { return dir.filePath(QStringLiteral("calls.log")); }
    // The calls logged since the last clearLog.
    QStringList calls() const
    {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void clearLog() const { QFile::remove(logPath()); }
    QString failure(const std::function<void()> &action)
    {
        try {
            action();
        } catch (const zim::common::HException &e) {
            return e.message();
        }
        return QStringLiteral("(no failure)");
    }
};

TEST_F(DllTarget, ThreeBytesAtAnOddFlashAddressAreWrittenAsWords)
{
    make();
    target->connect();
    target->reset(true);
    clearLog();
    const uint8_t data[] = {0x11, 0x22, 0x33};
    target->writeBytes(0x1101, 3, data);
    EXPECT_EQ(calls(), QStringList({"MSP430_Memory(0x1100, 1, read)", "MSP430_Memory(0x1100, 2, write)",
                                    "MSP430_Memory(0x1102, 2, write)"}));
    const uint8_t four[] = {0x44, 0x55, 0x66, 0x77};
    clearLog();
    target->writeBytes(0x1201, 4, four);
    EXPECT_EQ(calls(), QStringList({"MSP430_Memory(0x1200, 1, read)", "MSP430_Memory(0x1200, 2, write)",
                                    "MSP430_Memory(0x1202, 2, write)", "MSP430_Memory(0x1205, 1, read)",
                                    "MSP430_Memory(0x1204, 2, write)"}));
    uint8_t back[6] = {};
    target->readBytes(0x1200, 6, back);
    EXPECT_EQ(QByteArray(reinterpret_cast<char *>(back), 6), QByteArray("\xff\x44\x55\x66\x77\xff", 6));
}

// The whole main FLASH of an F149 goes down and is verified in 8 KB library calls.
TEST_F(DllTarget, AFullFlashImageMovesInEightKilobyteCalls)
{
    make(QStringLiteral("dump=") + dir.filePath(QStringLiteral("flash.txt")));
    const QString hexPath = dir.filePath(QStringLiteral("full.hex"));
    {
        QFile hex(hexPath);
        ASSERT_TRUE(hex.open(QIODevice::WriteOnly));
        for (uint32_t address = 0x1100; address < 0x10000; address += 16) {
            QByteArray record;
            record.append(char(16)).append(char(address >> 8)).append(char(address & 0xFF)).append(char(0));
            for (int i = 0; i < 16; ++i)
                record.append(char((address + i) * 7));
            uint8_t sum = 0;
            for (char c : record)
                sum += uint8_t(c);
            record.append(char(-sum));
            ASSERT_GT(hex.write(":" + record.toHex().toUpper() + "\n"), 0);
        }
        ASSERT_GT(hex.write(":00000001FF\n"), 0);
    }
    zim::target::TargetInterface facade(std::move(target), QStringLiteral("msp430_dll"), &environment);
    facade.connect();
    facade.reset(true);
    zim::loadfile::IntelHexLoadFile file(hexPath);
    clearLog();
    facade.download(file, hexPath, false);
    EXPECT_TRUE(facade.verify(file, hexPath));
    const QStringList memoryCalls = calls().filter(QStringLiteral("MSP430_Memory"));
    EXPECT_EQ(memoryCalls.filter(QStringLiteral("write")).size(), 8);
    EXPECT_EQ(memoryCalls.filter(QStringLiteral("read")).size(), 8);
    facade.disconnect();
}

TEST_F(DllTarget, RamWritesAreOneCallWhateverTheirAlignment)
{
    make();
    target->connect();
    target->reset(true);
    clearLog();
    const uint8_t data[] = {1, 2, 3};
    target->writeBytes(0x0201, 3, data);
    EXPECT_EQ(calls(), QStringList({"MSP430_Memory(0x201, 3, write)"}));
}

TEST_F(DllTarget, AnOddEraseCoversWholeWordsFromOneLower)
{
    make();
    target->connect();
    clearLog();
    target->eraseSegment(0x1101, 3);
    target->eraseSegment(0x1200, 3);
    target->eraseSegment(0x0200, 2);
    EXPECT_EQ(calls(), QStringList({"MSP430_Erase(0, 0x1100, 4)", "MSP430_Erase(0, 0x1200, 4)"}));
}

TEST_F(DllTarget, OnlyTheExactNameHasSixtyFourByteInformationSegments)
{
    make(QStringLiteral("device=MSP430F2"));
    target->connect();
    EXPECT_EQ(target->deviceType(), QStringLiteral("MSP430F2"));
    EXPECT_EQ(target->infoSegmentSize(), 64u);
    target->disconnect();
    make(QStringLiteral("device=MSP430F2013"));
    target->connect();
    EXPECT_EQ(target->infoSegmentSize(), 128u);
    EXPECT_EQ(target->flashStart(), 0xF800u);
}

TEST_F(DllTarget, IdentifyOffWithNoMatchingNameUsesSetNumberZero)
{
    make();
    target->setIdentify(false);
    environment.setSelectedDevice(QStringLiteral("NoSuchDevice"));
    target->connect();
    const QStringList log = calls();
    EXPECT_TRUE(log.contains(QStringLiteral("MSP430_Device(3, 36) \"MSP430F5438A\""))) << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("MSP430_Device(4, 36) = -1")));
    EXPECT_TRUE(log.contains(QStringLiteral("MSP430_Identify(80, 0) \"MSP430F149\"")));
}

TEST_F(DllTarget, ExtendedMemoryComesFromTheThirtyTwoBitFlashEnd)
{
    make(QStringLiteral("device=MSP430F5438A"));
    target->connect();
    EXPECT_EQ(target->flashEnd(), 0x45BFFu);
    EXPECT_TRUE(target->hasExtendedMemory());
    EXPECT_EQ(target->formatAddress(0x1234), QStringLiteral("01234"));
    EXPECT_EQ(target->ramStart(), 0x1C00u);
    EXPECT_EQ(target->clockControl(), QStringLiteral("Extended"));
}

TEST_F(DllTarget, ConnectionStateFailuresUseTheirTexts)
{
    make();
    EXPECT_EQ(failure([&] { target->disconnect(); }), QStringLiteral("target interface not connected"));
    target->connect();
    EXPECT_EQ(target->version(), QStringLiteral("30401"));
    EXPECT_EQ(failure([&] { target->connect(); }), QStringLiteral("target interface already connected"));
    target->disconnect();
    EXPECT_EQ(target->version(), QString());
}

TEST_F(DllTarget, AnEmptyDriverPathIsRefusedBeforeAnyLoad)
{
    make();
    target->setTargetDllPath(QString());
    EXPECT_EQ(failure([&] { target->connect(); }), QStringLiteral("MSP430 target driver DLL path not specified"));
    EXPECT_FALSE(target->isConnected());
}

TEST_F(DllTarget, APollThatFailsSaysSo)
{
    make(QStringLiteral("fail=MSP430_State:1:29"));
    target->connect();
    EXPECT_EQ(failure([&] { target->isInState(MSP430TargetInterface::TargetStopped); }),
              QStringLiteral("Get processor state failed: Could not determine device state (error 29 in MSP430_State)"));
}

TEST_F(DllTarget, WaitingPollsEveryHalfSecondOnTheClockUntilTheTimeOut)
{
    make();
    target->connect();
    target->run(0, false);
    EXPECT_FALSE(target->waitForStop(1200));
    EXPECT_EQ(clock.sleeps(), (std::vector<unsigned>{500, 500, 500}));
}

// A counted breakpoint at the program counter lets the CPU run on until its last hit.
TEST_F(DllTarget, ACountedBreakpointRunsOnUntilItsLastHit)
{
    make();
    target->connect();
    target->reset(true);
    target->registers()->setPC(0x1234);
    zim::msp430::BreakpointRequest request;
    request.address = 0x1234;
    request.count = 2;
    target->setBreakpoint(request);
    clearLog();
    target->go();
    EXPECT_TRUE(target->waitForStop(1000));
    EXPECT_EQ(calls().filter(QStringLiteral("MSP430_Run")), QStringList({"MSP430_Run(3, 0)", "MSP430_Run(3, 0)"}));
    EXPECT_EQ(target->state(), MSP430TargetInterface::TargetStopped);
}

// While the program counter lies in the range of the breakpoint held without a trigger, the
// target steps instead of running.
TEST_F(DllTarget, TheStepRangeIsLeftBySingleSteps)
{
    make();
    target->connect();
    target->reset(true);
    target->registers()->setPC(0x1234);
    zim::msp430::BreakpointRequest range;
    range.address = 0x1230;
    range.length = 8;
    range.outsideRange = true;
    target->setBreakpoint(range);
    clearLog();
    target->go();
    EXPECT_TRUE(target->waitForStop(1000));
    EXPECT_EQ(calls().filter(QStringLiteral("MSP430_Run")), QStringList({"MSP430_Run(2, 0)", "MSP430_Run(2, 0)"}));
    EXPECT_EQ(target->registers()->pc(), 0x1238u);
}

TEST_F(DllTarget, ClockModuleNamesComeFromTheLibraryTableInReverse)
{
    make();
    target->connect();
    EXPECT_EQ(target->clockModuleCount(), 32u);
    EXPECT_EQ(target->clockModuleName(0), QStringLiteral("Module 0"));
    EXPECT_EQ(target->clockModuleName(15), QStringLiteral("Module 15"));
    EXPECT_EQ(target->clockModuleName(16), QStringLiteral("Module 16"));
    EXPECT_EQ(target->clockModuleName(31), QStringLiteral("Module 31"));
    EXPECT_EQ(target->clockModuleName(32), QString());
    target->disconnect();
    make(QString(), "v2nomodulenames");
    target->connect();
    EXPECT_EQ(target->clockModuleName(0), QString());
}

TEST_F(DllTarget, TheNewerCallSetHasNoEmulationModule)
{
    make(QString(), "v3");
    target->connect();
    EXPECT_EQ(target->library()->generation(), MSP430DllGeneration::V3);
    EXPECT_FALSE(target->eemAvailable());
    EXPECT_EQ(target->deviceType(), QStringLiteral("MSP430F149"));
}

// A newer library's -1 read through the older declarations is 4294967295: the generation
// decides how every result is read.
TEST_F(DllTarget, ANewerLibraryReadAsOlderMisreadsItsFailures)
{
    make(QStringLiteral("fail=MSP430_Initialize:1:57"), "v3");
    long long version = 0;
    {
        // x86-64 returns a 32-bit -1 in eax, which leaves the upper half of rax clear.
        zim::platform::LibraryLoadResult loaded =
            zim::platform::loadLibrary({fakeLibrary("v3")}, {zim::msp430::MSP430DllSymbols::common(), {}});
        ASSERT_TRUE(loaded.library);
        MSP430Dll wrong(std::move(loaded.library), MSP430DllGeneration::V2);
        EXPECT_EQ(wrong.initialize("USB", version), 4294967295LL);
    }
    std::unique_ptr<MSP430Dll> right = MSP430Dll::load(fakeLibrary("v3"));
    EXPECT_EQ(right->initialize("USB", version), -1);
    EXPECT_EQ(right->failureText(),
              QStringLiteral("Could not find MSP-FET430UIF on specified COM port (error 57 in MSP430_Initialize)"));
}

TEST(DllLoading, CandidatesAddTheLinuxNameAndTheSearchPath)
{
    EXPECT_EQ(MSP430Dll::candidates(QStringLiteral("/opt/x/bin/MSP430.dll")),
              QStringList({"/opt/x/bin/MSP430.dll", "/opt/x/bin/libmsp430.so", "libmsp430.so"}));
    EXPECT_EQ(MSP430Dll::candidates(QStringLiteral("libmsp430.so")), QStringList({"libmsp430.so"}));
    EXPECT_EQ(MSP430Dll::candidates(QStringLiteral("/lib/libother.so")),
              QStringList({"/lib/libother.so", "libmsp430.so"}));
}

TEST(DllLoading, EachGenerationIsToldByItsSymbols)
{
    EXPECT_EQ(MSP430Dll::load(fakeLibrary("v2"))->generation(), MSP430DllGeneration::V2);
    EXPECT_EQ(MSP430Dll::load(fakeLibrary("v3"))->generation(), MSP430DllGeneration::V3);
    EXPECT_FALSE(MSP430Dll::load(fakeLibrary("v2nofirmware"))->hasFirmwareCalls());
    EXPECT_TRUE(MSP430Dll::load(fakeLibrary("v2"))->hasFirmwareCalls());
}

// With no adapter attached the real library fails to initialise with its own number.
TEST(RealLibrary, ConnectWithoutAnAdapterReportsErrorFiftySeven)
{
    const QString path = QStringLiteral(ZIM_SHARED_DIR "/vendor/msp-debug-stack/libmsp430.so");
    if (!QFileInfo::exists(path))
        GTEST_SKIP() << "no real library at " << path.toStdString();
    TestEnvironment environment;
    MSP430TargetInterface target(environment);
    target.setTargetDllPath(path);
    QString text;
    try {
        target.connect();
    } catch (const zim::common::HException &e) {
        text = e.message();
    }
    if (text.startsWith(QLatin1String("Cannot load target driver DLL ")))
        GTEST_SKIP() << "the real library cannot load here (scripts/install-deps.sh installs what it needs): "
                     << text.toStdString();
    EXPECT_EQ(text, QStringLiteral("Can't connect to target: Could not find MSP-FET430UIF on specified COM port "
                                   "(error 57 in MSP430_Initialize)"));
    EXPECT_FALSE(target.isConnected());
}

} // namespace
