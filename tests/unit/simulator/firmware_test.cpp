// Real firmware on the simulator: the cputest image checks the CPU itself and reports on USART1,
// which a small stand-in for the peripherals records. Its tests 1 to 7 exercise only the CPU;
// test 8 onwards needs USART interrupts and timers, which the shipped peripheral model supplies.
// Contiki images of x1xx, x2xx and F5xx devices run with the shipped model as their device has
// it: the vector layout of their family, and no peripherals at all for the F5xx family.
#include "testsimulator.h"
#include "simulatortestutil.h"

#include "loadfile/intelhexloadfile.h"
#include "project/propertygroups.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <vector>

namespace {

const QString kShared = QStringLiteral(ZIM_SHARED_DIR "/firmware/");
const QString kModel = QStringLiteral(ZIM_SOURCE_DIR "/data/targets/msp430peripherals.js");

struct ModelRun
{
    QByteArray output; // what the peripheral file wrote to its output
    zim::simulator::SimulatedHMonitor::StopReason stop = zim::simulator::SimulatedHMonitor::StopReason::None;
    uint32_t cycles = 0;
    uint64_t vectorEntries = 0; // instructions run at the routine of the vector asked for
};

// Downloads an Intel hex image into a simulated device and runs it from reset with a peripheral
// file (the shipped model unless told) for at most maxCycles, at the default poll interval.
// With countVector set, also counts the instructions run at the entry of that vector's routine.
ModelRun runWithPeripherals(const QString &hex, const QString &device, uint64_t maxCycles,
                            const QString &peripheralFile = kModel, uint32_t countVector = 0)
{
    QTemporaryDir dir;
    EXPECT_TRUE(dir.isValid());
    const QString outputName = dir.filePath(QStringLiteral("output.txt"));
    TestSimulator<> simulator;
    TestEnvironment &state = simulator.state;
    // A project device of that name whose identify string is the device table's name.
    zim::project::PropertyGroup target{QStringLiteral("Target"), {}};
    target.entries.append({device, {{QStringLiteral("msp430_identify_string"), device}}});
    state.propertyGroups().addGroup(target);
    state.setSelectedDevice(device);
    zim::simulator::MSP430Monitor &sim = simulator.sim;
    sim.setEnablePeripheralFile(true);
    sim.setPeripheralFile(peripheralFile);
    sim.setPeripheralOutputFile(outputName);
    sim.connect();
    zim::loadfile::IntelHexLoadFile file(hex);
    sim.reset(true);
    simulator.target.download(file, hex, true);
    sim.reset(true);
    EXPECT_EQ(sim.deviceType(), device);
    ModelRun run;
    run.stop = sim.runFor(maxCycles);
    run.cycles = sim.currentCycles();
    if (countVector != 0) {
        uint8_t vector[2];
        sim.simulatedMemory()->readBytes(countVector, 2, vector);
        run.vectorEntries = sim.profileCount(vector[0] | (uint32_t(vector[1]) << 8));
    }
    sim.disconnect();
    QFile output(outputName);
    EXPECT_TRUE(output.open(QIODevice::ReadOnly));
    run.output = output.readAll();
    return run;
}

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
    CputestMonitor(zim::target::TargetEnvironment &state, zim::msp430::MSP430DeviceLibrary &devices)
        : zim::simulator::MSP430Monitor(state, devices)
    {
    }
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

    TestSimulator<CputestMonitor> simulator;
    CputestMonitor &sim = simulator.sim;
    sim.connect();
    zim::loadfile::IntelHexLoadFile file(hex);
    sim.reset(true);
    simulator.target.download(file, hex, true);
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

    TestSimulator<> simulator;
    simulator.state.setSelectedDevice(QStringLiteral("MSP430F1611"));
    zim::simulator::MSP430Monitor &sim = simulator.sim;
    sim.setEnablePeripheralFile(true);
    sim.setPeripheralFile(QStringLiteral(ZIM_SOURCE_DIR "/data/targets/msp430peripherals.js"));
    sim.setPeripheralOutputFile(uart);
    sim.setInterruptPollInterval(1);
    sim.setCpu4PushTiming(true); // the reference was recorded with silicon's PUSH timing
    sim.connect();
    zim::loadfile::IntelHexLoadFile file(hex);
    sim.reset(true);
    simulator.target.download(file, hex, true);
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

// The F5xx devices have their own watchdog (at 0x15C) and power management module where the x1xx
// watchdog sits (0x120): the model leaves them alone, so their writes there reset nothing. A file
// around the model notes every reset the model asks for.
TEST(Firmware, F5xxImagesAreNotResetByTheModel)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString counting = dir.filePath(QStringLiteral("counting.js"));
    QFile file(counting);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_GT(file.write(QStringLiteral("load(\"%1\");\n"
                                        "var modelResetTarget = Simulator.resetTarget;\n"
                                        "Simulator.resetTarget = function () { Simulator.write(\"model reset\\n\"); modelResetTarget(); };\n")
                             .arg(kModel)
                             .toUtf8()),
              0);
    file.close();

    const struct { const char *image, *device; } images[] = {
        {"mspsim-contiki-blink-wismote-f5437.hex", "MSP430F5437"},
        {"mspsim-blink-tyndall-f5438x.hex", "MSP430F5438"},
        {"mspsim-testcase-bits-exp5438-f5438x.hex", "MSP430F5438"},
    };
    for (const auto &image : images) {
        SCOPED_TRACE(image.image);
        const QString hex = kShared + QLatin1String(image.image);
        if (!QFile::exists(hex))
            GTEST_SKIP() << "no firmware in " << kShared.toStdString();
        const ModelRun run = runWithPeripherals(hex, QLatin1String(image.device), 5000000, counting);
        EXPECT_EQ(run.output.count("model reset"), 0);
        EXPECT_EQ(run.stop, zim::simulator::SimulatedHMonitor::StopReason::CycleLimit);
    }
}

// Contiki idles with BIS #LPM1+GIE,SR and wakes on its clock's timer interrupt: with the shipped
// peripheral model each image starts its application, then sleeps and wakes up to the cycle
// limit without turning the CPU off for good. The ESB sensor demo (an MSP430F149) ticks on
// Timer_A at the x1xx vector 0xFFEA. The Z1 image (an MSP430F2617) takes its ticks from Timer_A
// at the x2xx vectors 8 and 9; with the x1xx layout it never got one and printed nothing. Its
// serial port is USCI_A0.
struct ContikiImage
{
    const char *file;
    const char *device;
    uint64_t cycles;
    std::vector<const char *> lines;  // printed on the serial port, in any order
    // Vector of the interrupt that drives Contiki's clock, or 0 where it is not counted.
    uint32_t clockVector;
};

class Contiki : public testing::TestWithParam<ContikiImage>
{
};

TEST_P(Contiki, StartsAndSleepsAndWakesUntilTheCycleLimit)
{
    const ContikiImage &image = GetParam();
    const QString hex = kShared + QString::fromLatin1(image.file);
    if (!QFile::exists(hex))
        GTEST_SKIP() << "no firmware in " << kShared.toStdString();
    const ModelRun run = runWithPeripherals(hex, QString::fromLatin1(image.device), image.cycles, kModel,
                                            image.clockVector);
    for (const char *line : image.lines)
        EXPECT_TRUE(run.output.contains(line)) << run.output.toStdString();
    EXPECT_EQ(run.stop, zim::simulator::SimulatedHMonitor::StopReason::CycleLimit);
    EXPECT_GE(run.cycles, image.cycles);
    if (image.clockVector != 0) {
        EXPECT_GT(run.vectorEntries, 100u) << "the clock interrupt woke the CPU";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Images, Contiki,
    testing::Values(ContikiImage{"mspsim-contiki-sensordemo-esb-f149.hex", "MSP430F149", 12000000,
                                 {"Contiki 2.0 started"}, 0xFFEA},
                    ContikiImage{"mspsim-contiki-blink-z1-f2617.hex", "MSP430F2617", 8000000,
                                 {"Rime started with address 0.0\n", "Starting 'Blink'\n"}, 0}),
    [](const auto &info) { return std::string(info.param.device); });

} // namespace
