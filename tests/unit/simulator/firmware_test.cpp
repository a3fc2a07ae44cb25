// Real firmware on the simulator: the cputest image checks the CPU itself and reports on USART1,
// which a small stand-in for the peripherals records. Its tests 1 to 7 exercise only the CPU;
// test 8 onwards needs USART interrupts and timers, which the shipped peripheral model supplies.
#include "fakes/teststate.h"
#include "simulatortestutil.h"

#include "loadfile/intelhexloadfile.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

namespace {

const QString kShared = QStringLiteral(ZIM_SHARED_DIR "/firmware/");

// Just enough of an MSP430F1611's peripherals for cputest: USART1 is always ready and its
// transmit buffer is recorded; Timer_A capture 2 always has a capture, 600 clocks after the
// previous one, so that the DCO calibration ends at once. Other registers hold what was written.
class CputestPeripherals : public zim::simulator::PeripheralBus
{
public:
    explicit CputestPeripherals(QByteArray &uart) : m_uart(uart) {}
    void reset() override {}
    int pollForInterrupts(uint32_t) override { return -1; }
    uint32_t loadPeripheral(uint32_t address) override
    {
        switch (address) {
        case 0x0003: // IFG2: UTXIFG1
            return 0x20;
        case 0x0166: // TACCTL2: CCIFG
            return m_registers.value(address) | 0x0001;
        case 0x0176: // TACCR2
            m_capture += 600;
            return m_capture;
        default:
            return m_registers.value(address);
        }
    }
    void storePeripheral(uint32_t address, uint32_t value) override
    {
        if (address == 0x007F) // U1TXBUF
            m_uart.append(char(value));
        m_registers[address] = value;
    }

private:
    QByteArray &m_uart;
    QMap<uint32_t, uint32_t> m_registers;
    uint32_t m_capture = 0;
};

class CputestMonitor : public zim::simulator::MSP430Monitor
{
public:
    explicit CputestMonitor(zim::target::ProgramState &state) : zim::simulator::MSP430Monitor(state) {}
    QByteArray uart;

protected:
    std::unique_ptr<zim::simulator::PeripheralBus> loadPeripherals() override { return std::make_unique<CputestPeripherals>(uart); }
};

TEST(Firmware, CputestPassesItsCpuChecks)
{
    const QString hex = kShared + QStringLiteral("mspsim-cputest-f1611.hex");
    QFile expectedFile(kShared + QStringLiteral("mspsim-cputest-f1611.uart-expected.txt"));
    if (!QFile::exists(hex) || !expectedFile.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "no firmware in " << kShared.toStdString();

    TestState state;
    CputestMonitor sim(state);
    sim.connect();
    zim::loadfile::IntelHexLoadFile file(hex);
    sim.reset(true);
    sim.download(file, hex, true);
    sim.reset(true);
    const QByteArray lastCpuTest = "TEST 8: Bit USART Operations\n";
    for (int slice = 0; slice < 100 && !sim.uart.contains(lastCpuTest); ++slice)
        sim.runFor(100000);

    auto upToUsartTest = [&](QByteArray text) {
        const qsizetype end = text.indexOf(lastCpuTest);
        return end < 0 ? text : text.left(end + lastCpuTest.size());
    };
    const QByteArray output = upToUsartTest(sim.uart);
    EXPECT_EQ(output.toStdString(), upToUsartTest(expectedFile.readAll()).toStdString());
    EXPECT_EQ(output.count("OK: "), 40);
    EXPECT_EQ(output.count("FAIL"), 0);
    EXPECT_EQ(sim.errorKind(), zim::simulator::SimulatorError::None);
}

// With the shipped peripheral model the whole firmware runs: USART0 and Timer_B interrupts, the
// timed checks and the DCO calibrations, and its transcript is the reference one byte for byte.
// The reference ends with an empty line that the firmware never sends: after "EXIT" it sleeps.
// Its timed checks count cycles, so the run takes the PUSH timing of silicon with the CPU4 erratum.
TEST(Firmware, CputestWithThePeripheralModelPrintsTheReferenceTranscript)
{
    const QString hex = kShared + QStringLiteral("mspsim-cputest-f1611.hex");
    QFile expectedFile(kShared + QStringLiteral("mspsim-cputest-f1611.uart-expected.txt"));
    if (!QFile::exists(hex) || !expectedFile.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "no firmware in " << kShared.toStdString();
    const QByteArray expected = expectedFile.readAll();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString uart = dir.filePath(QStringLiteral("uart.txt"));

    TestState state;
    state.setSelectedDevice(QStringLiteral("MSP430F1611"));
    zim::simulator::MSP430Monitor sim(state);
    sim.setEnablePeripheralFile(true);
    sim.setPeripheralFile(QStringLiteral(ZIM_SOURCE_DIR "/data/targets/msp430peripherals.js"));
    sim.setPeripheralOutputFile(uart);
    sim.setInterruptPollInterval(1);
    sim.setCpu4PushTiming(true); // the reference was recorded with silicon's PUSH timing
    sim.connect();
    zim::loadfile::IntelHexLoadFile file(hex);
    sim.reset(true);
    sim.download(file, hex, true);
    sim.reset(true);
    sim.runFor(4000000);
    sim.disconnect();

    QFile uartFile(uart);
    ASSERT_TRUE(uartFile.open(QIODevice::ReadOnly));
    const QByteArray output = uartFile.readAll();
    EXPECT_EQ(output.count("OK: "), 50);
    EXPECT_EQ(output.count("FAIL"), 0);
    const QByteArray reference = expected.endsWith("\n\n") ? expected.chopped(1) : expected;
    EXPECT_EQ(output.toStdString(), reference.toStdString());
}


// Contiki idles with BIS #LPM1+GIE,SR and wakes on its clock's timer interrupt: with the shipped
// peripheral model both images sleep and wake for as long as they run, and never turn the CPU off
// for good.
struct ContikiImage
{
    const char *file;
    const char *device;
    // Vector of the interrupt that drives Contiki's clock, or 0 where the model does not raise it.
    uint32_t clockVector;
};

class Contiki : public testing::TestWithParam<ContikiImage>
{
};

TEST_P(Contiki, SleepsAndWakesUntilTheCycleLimit)
{
    const QString hex = kShared + QString::fromLatin1(GetParam().file);
    if (!QFile::exists(hex))
        GTEST_SKIP() << "no firmware in " << kShared.toStdString();
    TestState state;
    state.setSelectedDevice(QString::fromLatin1(GetParam().device));
    zim::simulator::MSP430Monitor sim(state);
    sim.setEnablePeripheralFile(true);
    sim.setPeripheralFile(QStringLiteral(ZIM_SOURCE_DIR "/data/targets/msp430peripherals.js"));
    sim.connect();
    zim::loadfile::IntelHexLoadFile file(hex);
    sim.reset(true);
    sim.download(file, hex, true);
    sim.reset(true);
    using Stop = zim::simulator::SimulatedHMonitor::StopReason;
    EXPECT_EQ(sim.runFor(20000000), Stop::CycleLimit);
    EXPECT_EQ(sim.cycles(), 20000000u);
    if (GetParam().clockVector != 0) {
        uint8_t vector[2];
        sim.simulatedMemory()->readBytes(GetParam().clockVector, 2, vector);
        EXPECT_GT(sim.profileCount(vector[0] | (uint32_t(vector[1]) << 8)), 100u) << "the clock interrupt woke the CPU";
    }
}

INSTANTIATE_TEST_SUITE_P(Images, Contiki,
                         testing::Values(ContikiImage{"mspsim-contiki-sensordemo-esb-f149.hex", "MSP430F149", 0xFFEA},
                                         ContikiImage{"mspsim-contiki-blink-z1-f2617.hex", "MSP430F2617", 0}),
                         [](const auto &info) { return std::string(info.param.device); });

} // namespace
