// Real firmware on the simulator with the shipped peripheral model: Contiki images of x1xx, x2xx
// and F5xx devices run as their device has it: the vector layout of their family, and no
// peripherals at all for the F5xx family. (The cputest image's transcript is a golden case.)
#include "testsimulator.h"
#include "simulatortestutil.h"

#include "loadfile/intelhexloadfile.h"
#include "project/propertygroups.h"

#include <QFile>
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
