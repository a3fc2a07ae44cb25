// The own JTAG driver end to end: MSP430TargetInterface2 with the generic sequences of its
// driver table, through an in-process pin-level transport onto the simulated JTAG MSP430.
#include "common/hexception.h"
#include "fakes/fakeclock.h"
#include "fakes/jtagdevice/simjtagtarget.h"
#include "fakes/testenvironment.h"
#include "loadfile/intelhexloadfile.h"
#include "msp430/deviceidentification.h"
#include "project/msp430projectsystem.h"
#include "target/targetinterface.h"
#include "target/targetscripthost.h"

#include <QFile>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <random>

using testing::HasSubstr;
using zim::fakes::SimJtagChip;
using zim::fakes::SimJtagDevice;
using zim::fakes::SimJtagFaults;
using zim::msp430::MSP430DeviceDatabase;

namespace {

class ProjectHost : public zim::target::TargetScriptHost
{
public:
    zim::project::ProjectElement *project = nullptr;
    QString configuration;
    zim::project::ProjectElement *currentProject() const override { return project; }
    const QString &configName() const override { return configuration; }
    bool evaluateScript(const QString &, const QString &) override { return true; }
};

// The chip a device record describes: its ID bytes and fuse as the record gives them.
SimJtagChip chipFor(MSP430DeviceDatabase *db, const char *name, bool family2xx)
{
    const int index = zim::msp430::findMSP430Device(db, QString::fromLatin1(name));
    EXPECT_GE(index, 0) << name;
    int pattern[9];
    db->identificationPattern(index, pattern);
    db->select(index);
    SimJtagChip chip;
    chip.name = name;
    for (int k = 0; k < 7; ++k)
        chip.idBytes[size_t(k)] = uint8_t(pattern[k] < 0 ? 0 : pattern[k]);
    chip.fuses = uint8_t(pattern[7] < 0 ? 0 : pattern[7]);
    chip.ramStart = db->ramStart();
    chip.ramEnd = db->ramEnd();
    chip.infoStart = db->infoStart();
    chip.infoSegmentSize = db->infoSegmentSize();
    chip.flashStart = db->flashStart();
    chip.family2xx = family2xx;
    return chip;
}

// An Intel hex file of the bytes given per address.
void writeHex(const QString &path, const std::map<uint32_t, uint8_t> &bytes)
{
    QByteArray text;
    auto it = bytes.begin();
    while (it != bytes.end()) {
        const uint32_t start = it->first;
        QByteArray data;
        while (it != bytes.end() && it->first == start + uint32_t(data.size()) && data.size() < 16)
            data.append(char((it++)->second));
        QByteArray record;
        record.append(char(data.size())).append(char(start >> 8)).append(char(start)).append('\0').append(data);
        uint8_t sum = 0;
        for (char c : record)
            sum = uint8_t(sum + uint8_t(c));
        record.append(char(uint8_t(-sum)));
        text += ':' + record.toHex().toUpper() + '\n';
    }
    text += ":00000001FF\n";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(text), text.size());
}

struct JtagDriver : testing::Test
{
    zim::fakes::FakeClock clock;
    TestEnvironment environment;
    zim::msp430::MSP430DeviceLibrary library{environment.environmentMacros()};
    zim::msp430::MSP430DevicesGuard devices{library};
    std::unique_ptr<SimJtagDevice> device;
    std::unique_ptr<zim::target::TargetInterface> target;
    SimJtagTarget *port = nullptr;
    QStringList messages;
    QTemporaryDir dir;

    void SetUp() override { environment.setClock(&clock); }

    void make(const SimJtagChip &chip, const SimJtagFaults &faults = {})
    {
        device = std::make_unique<SimJtagDevice>(chip, faults);
        auto p = std::make_unique<SimJtagTarget>(environment, library, *device);
        port = p.get();
        target = std::make_unique<zim::target::TargetInterface>(std::move(p), QStringLiteral("JTAG"), &environment);
        QObject::connect(target.get(), qOverload<const QString &>(&zim::target::TargetInterface::message),
                         target.get(), [this](const QString &text) { messages.append(text); });
    }
    void make(const char *name, bool family2xx, const SimJtagFaults &faults = {})
    {
        make(chipFor(devices.devices(), name, family2xx), faults);
    }
    QString connectError()
    {
        try {
            target->connect();
        } catch (const zim::common::HException &e) {
            return e.message();
        }
        return QString();
    }
    void download(const std::map<uint32_t, uint8_t> &image, const QString &name)
    {
        const QString path = dir.filePath(name);
        writeHex(path, image);
        zim::loadfile::IntelHexLoadFile file(path);
        target->download(file, name, true);
        EXPECT_TRUE(target->verify(file, name));
    }
};

// Random bytes over main FLASH and the information segments below segment A.
std::map<uint32_t, uint8_t> randomImage(uint32_t seed, uint32_t flashStart, uint32_t infoStart)
{
    std::mt19937 random(seed);
    std::map<uint32_t, uint8_t> image;
    for (uint32_t a = flashStart; a <= 0xFFFF; ++a)
        image[a] = uint8_t(random());
    for (uint32_t a = infoStart; a < infoStart + 0x80; ++a)
        image[a] = uint8_t(random());
    image[0xFFFE] = 0x00;
    image[0xFFFF] = uint8_t(0xF0 + seed);
    return image;
}

struct DeviceCase
{
    const char *name;
    bool family2xx;
};

class JtagDownload : public JtagDriver, public testing::WithParamInterface<DeviceCase>
{
};

TEST_P(JtagDownload, TwoImagesInTurnLandExactlyWithNoUnknownInstruction)
{
    make(GetParam().name, GetParam().family2xx);
    target->connect();
    EXPECT_EQ(target->deviceType(), GetParam().name);
    port->setBlockWrite(true);
    const uint32_t flashStart = port->flashStart();
    for (uint32_t seed : {1u, 2u}) {
        const auto image = randomImage(seed, flashStart, port->infoStart());
        download(image, QStringLiteral("image%1.hex").arg(seed));
        for (const auto &[address, value] : image)
            ASSERT_EQ(device->peek(address), value) << std::hex << address << " image " << seed;
    }
    EXPECT_EQ(device->counters().unknownInstructions, 0u);
    EXPECT_EQ(device->counters().unknownOpcodes, 0u);
    EXPECT_EQ(device->counters().flashViolations, 0u);
    EXPECT_EQ(device->counters().watchdogViolations, 0u);
}

INSTANTIATE_TEST_SUITE_P(Devices, JtagDownload,
                         testing::Values(DeviceCase{"MSP430F149", false}, DeviceCase{"MSP430F2274", true},
                                         DeviceCase{"MSP430F449", false}, DeviceCase{"MSP430F1612", false}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(JtagDriver, BlockModeCostsAtMost280PinWritesPerWordAndReadsNoTdo)
{
    make("MSP430F149", false);
    target->connect();
    port->setBlockWrite(true);
    std::vector<uint8_t> image(0xF000);
    std::mt19937 random(7);
    for (uint8_t &b : image)
        b = uint8_t(random());
    device->clearCounters();
    port->programBytes(0x1000 + 0x100 * 0 + 0x1000, uint32_t(image.size() - 0x1000), image.data());
    const uint64_t words = (image.size() - 0x1000) / 2;
    EXPECT_LE(device->counters().pinWrites, 280 * words);
    EXPECT_EQ(device->counters().flashWrites, words);
    std::cout << "pin writes per word in block mode: " << double(device->counters().pinWrites) / double(words) << "\n";
    EXPECT_EQ(device->counters().tdoReads, 0u);
    EXPECT_EQ(device->counters().flashViolations, 0u);
}

TEST_F(JtagDriver, BlownFuseFailsAfterTwoLineTogglesAndOnePowerCycle)
{
    SimJtagFaults faults;
    faults.fuseBlown = true;
    make("MSP430F149", false, faults);
    std::vector<zim::target::ProgressReport> progress;
    QObject::connect(target.get(), &zim::target::TargetInterface::progress, target.get(),
                     [&](const zim::target::ProgressReport &r) { progress.push_back(r); });
    EXPECT_EQ(connectError(), "Cannot connect to target. Check that the target is powered, the JTAG cable is "
                              "connected and that the JTAG fuse has not blown.");
    EXPECT_EQ(clock.totalSlept(), 3000u);
    ASSERT_EQ(progress.size(), 12u);
    EXPECT_STREQ(zim::target::progressTitle(progress.front()), "Power cycling target");
    EXPECT_TRUE(progress.front().opens);
    EXPECT_EQ(progress.back().done, 10u);
    EXPECT_EQ(port->closes, 1);
    EXPECT_FALSE(target->isConnected());
    // The retries reach the chip: two pulses of its reset line, then one more power-up.
    EXPECT_EQ(device->counters().resetPulses, 2u);
    EXPECT_EQ(device->counters().powerUps, 2u);
}

// ID bytes no record has, and identification turned off with a device no record names.
TEST_F(JtagDriver, UnknownIdBytesOrAnUnknownNamedDeviceAreAnUnknownDevice)
{
    SimJtagChip chip = chipFor(devices.devices(), "MSP430F149", false);
    chip.idBytes = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE};
    make(chip);
    EXPECT_EQ(connectError(), "Unknown MSP430 device");

    target.reset();
    make("MSP430F149", false);
    port->setIdentify(false);
    environment.setSelectedDevice(QStringLiteral("MSP430NOSUCH"));
    EXPECT_EQ(connectError(), "Unknown MSP430 device");
    environment.setSelectedDevice(QStringLiteral("MSP430F449"));
    EXPECT_EQ(connectError(), "");
    EXPECT_EQ(target->deviceType(), "MSP430F449");
}

TEST_F(JtagDriver, CpuXv2IsRefusedNamingTheLibraryTarget)
{
    SimJtagChip chip = chipFor(devices.devices(), "MSP430F149", false);
    chip.jtagId = 0x91;
    make(chip);
    EXPECT_EQ(connectError().toStdString(),
              "Cannot connect to target: the device reports JTAG ID 0x91, a CPUXv2 core (MSP430F5xx, MSP430F6xx "
              "and FRAM families), which this JTAG driver does not support. Use the \u201CTI MSP430.dll "
              "Interface\u201D target (-target msp430_dll) for it.");
}

TEST_F(JtagDriver, SpyBiWireIsRefusedBeforeTheTargetIsTouched)
{
    ProjectHost host;
    const QByteArray solution = "<!DOCTYPE Veltrix_Project_File>\n<solution Name=\"S\" version=\"2\">\n"
                                "<project Name=\"P\">\n<configuration Name=\"Common\" "
                                "msp430_debug_interface=\"SPY_BI_WIRE\"/>\n<configuration Name=\"Debug\"/>\n"
                                "</project>\n</solution>\n";
    QFile file(dir.filePath("s.hzp"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(solution), solution.size());
    file.close();
    environment.projectSystem().openSolution(dir.filePath("s.hzp"));
    host.project = environment.projectSystem().findInSolution(environment.projectSystem().solutionElement(), "P");
    ASSERT_NE(host.project, nullptr);
    host.configuration = QStringLiteral("Debug");
    environment.setScriptHost(&host);
    make("MSP430F149", false);
    EXPECT_EQ(connectError(), "Unsupported interface type SPY_BI_WIRE");
    EXPECT_EQ(device->counters().pinWrites, 0u);
    environment.setScriptHost(nullptr);
}

TEST_F(JtagDriver, FailedSegmentEraseNamesTheEvenRange)
{
    make("MSP430F149", false);
    target->connect();
    // A transport whose erase fails without a text of its own.
    port->driver().eraseSegment = [](zim::msp430::Msp430dDriver *, uint32_t) { return 0; };
    try {
        port->eraseSegment(0xF000, 3);
        FAIL() << "no failure";
    } catch (const zim::common::HException &e) {
        EXPECT_EQ(e.message(), "Erase bytes failed in range 0xF000 - 0xF003");
    }
    // The transport's own text follows the range.
    port->driver().eraseSegment = [](zim::msp430::Msp430dDriver *d, uint32_t) {
        d->lastError = "cable unplugged";
        return 0;
    };
    try {
        port->eraseSegment(0xF001, 2);
        FAIL() << "no failure";
    } catch (const zim::common::HException &e) {
        EXPECT_EQ(e.message(), "Erase bytes failed in range 0xF000 - 0xF003: cable unplugged");
    }
}

TEST_F(JtagDriver, TransportWithoutPinsFailsWithTheStubText)
{
    make("MSP430F149", false);
    port->wirePins = false;
    EXPECT_EQ(connectError(), "Cannot connect to target. Check that the target is powered, the JTAG cable is "
                              "connected and that the JTAG fuse has not blown.: msp430d function not implemented\n");
}

QString failure(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const zim::common::HException &e) {
        return e.message();
    }
    return QString();
}

TEST_F(JtagDriver, UnpoweredTargetCannotBeConnected)
{
    SimJtagFaults faults;
    faults.unpowered = true;
    make("MSP430F149", false, faults);
    EXPECT_THAT(connectError().toStdString(), HasSubstr("Check that the target is powered"));
}

TEST_F(JtagDriver, PulledCableAndStuckFlashBitAreCaughtByVerifyingWrites)
{
    make("MSP430F149", false);
    target->connect();
    port->setVerifyWrites(true);
    const std::vector<uint8_t> data(256, 0x3C);
    device->pullCableAfter(5000);
    EXPECT_EQ(failure([&] { port->programBytes(0xF000, 256, data.data()); }),
              "FLASH verification failed in range 0xF000 - 0xF0FF");

    target.reset();
    SimJtagFaults faults;
    faults.stuckAddress = 0xF010;
    faults.stuckMask = 0x01;
    make("MSP430F149", false, faults);
    target->connect();
    port->setVerifyWrites(true);
    const std::vector<uint8_t> zeros(32, 0x00);
    EXPECT_EQ(failure([&] { port->programBytes(0xF000, 32, zeros.data()); }),
              "FLASH verification failed in range 0xF000 - 0xF01F");
}

TEST_F(JtagDriver, TooFewEraseClocksLeaveBytesThatVerifyingEraseCatches)
{
    make("MSP430F149", false);
    target->connect();
    device->poke(0xF000, 0x00);
    port->setVerifyErase(true);
    // A transport that gives at most 1000 TCLK periods at a time.
    static auto pulse = port->driver().pulseTclk;
    port->driver().pulseTclk = [](zim::msp430::Msp430dDriver *d, uint32_t periods) {
        return pulse(d, std::min(periods, 1000u));
    };
    EXPECT_EQ(failure([&] { port->eraseSegment(0xF000, 512); }),
              "FLASH erase verification failed in range 0xF000 - 0xF1FF");
    EXPECT_EQ(device->peek(0xF000), 0x00);
    EXPECT_GT(device->counters().flashViolations, 0u);
}

TEST_F(JtagDriver, SignatureVerifyTellsEqualFromDifferentAndErasedFromNot)
{
    make("MSP430F149", false);
    target->connect();
    std::vector<uint8_t> data(0x200);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7);
    for (size_t i = 0; i < data.size(); ++i)
        device->poke(0xE000 + uint32_t(i), data[i]);
    device->clearCounters();
    EXPECT_TRUE(port->verifyBytes(0xE000, 0x200, data.data()));
    EXPECT_LT(device->counters().pinWrites, 8000u) << "two pin writes a word and the set-up";
    device->poke(0xE1FF, uint8_t(data[0x1FF] ^ 0x10));
    EXPECT_FALSE(port->verifyBytes(0xE000, 0x200, data.data()));
    auto &d = port->driver();
    EXPECT_EQ(d.verifySignature(&d, 0xF000, 0x200, nullptr), 1);
    EXPECT_EQ(d.verifySignature(&d, 0xE000, 0x200, nullptr), 0);
}

TEST_F(JtagDriver, WatchdogWordIsKeptAsTheShadowAndReadBackFromIt)
{
    make("MSP430F149", false);
    target->connect();
    const uint8_t data[6] = {0x11, 0x22, 0x08, 0x5A, 0x33, 0x44};
    port->writeBytes(0x011E, 6, data);
    EXPECT_EQ(device->peek(0x011E), 0x11);
    EXPECT_EQ(device->peek(0x0123), 0x44);
    EXPECT_EQ(port->watchdogShadow(), 0x5A08);
    EXPECT_EQ(device->watchdogControl() & 0x80, 0x80) << "the device watchdog stays held";
    uint8_t back[2] = {};
    port->readBytes(0x0120, 2, back);
    EXPECT_EQ(back[0], 0x08);
    EXPECT_EQ(back[1], 0x5A);
}

TEST_F(JtagDriver, EraseAllWithSegmentALockedLeavesIt)
{
    make("MSP430F2274", true);
    target->connect();
    for (uint32_t a = 0x1000; a < 0x1100; ++a)
        device->poke(a, 0x5A);
    device->poke(0x8000, 0x00);
    port->eraseAll();
    for (uint32_t a = 0x1000; a < 0x10C0; ++a)
        ASSERT_EQ(device->peek(a), 0xFF) << std::hex << a;
    for (uint32_t a = 0x10C0; a < 0x1100; ++a)
        ASSERT_EQ(device->peek(a), 0x5A) << std::hex << a;
    EXPECT_EQ(device->peek(0x8000), 0xFF);
    port->setUnlockSegmentA(true);
    port->eraseAll();
    EXPECT_EQ(device->peek(0x10C0), 0xFF);
    EXPECT_EQ(device->counters().flashViolations, 0u);
}

TEST_F(JtagDriver, RunStartsTheNewProgramFromItsResetVector)
{
    make("MSP430F149", false);
    target->connect();
    download({{0xF000, 0x31}, {0xF001, 0x40}, {0xFFFE, 0x00}, {0xFFFF, 0xF0}}, QStringLiteral("a.hex"));
    ASSERT_TRUE(target->run(0, false));
    EXPECT_TRUE(device->cpuRunning());
    EXPECT_EQ(device->registerValue(0), 0xF000u);
    EXPECT_EQ(device->watchdogControl() & 0x80, 0x00) << "the program's watchdog is let go";
}

TEST_F(JtagDriver, StepLeavesTriggerZeroAsItWasAndTheCpuHeld)
{
    make("MSP430F149", false);
    target->connect();
    port->writeEEMRegister(0, 0x1234);
    port->writeEEMRegister(4, 0x00FF);
    ASSERT_TRUE(port->step());
    EXPECT_EQ(device->eem(0), 0x1234u);
    EXPECT_EQ(device->eem(4), 0x00FFu);
    EXPECT_EQ(device->eem(0x80) & 1, 0u);
    EXPECT_FALSE(device->cpuRunning());
}

TEST_F(JtagDriver, ReleasedJtagSignalsAreReconnectedByTheNextAccess)
{
    make("MSP430F149", false);
    target->connect();
    port->setReleaseJTAG(true);
    ASSERT_TRUE(target->go());
    EXPECT_EQ(port->closes, 1);
    EXPECT_TRUE(device->cpuRunning());
    uint8_t id[2] = {};
    port->readBytes(0x0FF0, 2, id);
    EXPECT_EQ(id[0], 0xF1);
}

TEST_F(JtagDriver, BlinkyRunsFromItsResetVectorAfterADownload)
{
    make("MSP430F149", false);
    target->connect();
    zim::loadfile::IntelHexLoadFile file(QStringLiteral(ZIM_SOURCE_DIR "/examples/blinky.hex"));
    target->download(file, QStringLiteral("blinky.hex"), true);
    ASSERT_TRUE(target->run(0, false));
    device->runFor(200000);
    EXPECT_GE(device->portLog().size(), 2u);
    for (const auto &[address, value] : device->portLog())
        EXPECT_EQ(address, 0x21u);
    EXPECT_EQ(device->programErrors(), 0u);
}

// A counting loop: R15 counts the passes and each pass stores it at 0x0200.
//   F000 mov #0x0A00, SP          F00A clr R15
//   F004 mov #0x5A80, &WDTCTL     F00C inc R15
//   F00E mov R15, &0x0200         F012 jmp F00C
const std::map<uint32_t, uint8_t> kCountingLoop = {
    {0xF000, 0x31}, {0xF001, 0x40}, {0xF002, 0x00}, {0xF003, 0x0A}, {0xF004, 0xB2}, {0xF005, 0x40},
    {0xF006, 0x80}, {0xF007, 0x5A}, {0xF008, 0x20}, {0xF009, 0x01}, {0xF00A, 0x0F}, {0xF00B, 0x43},
    {0xF00C, 0x1F}, {0xF00D, 0x53}, {0xF00E, 0x82}, {0xF00F, 0x4F}, {0xF010, 0x00}, {0xF011, 0x02},
    {0xF012, 0xFC}, {0xF013, 0x3F}, {0xFFFE, 0x00}, {0xFFFF, 0xF0}};

// Run control against a program that runs on the simulated chip; host time passing in the
// driver's waits is the chip's time too.
struct JtagRunControl : JtagDriver
{
    void SetUp() override
    {
        JtagDriver::SetUp();
        make("MSP430F149", false);
        target->connect();
        download(kCountingLoop, QStringLiteral("loop.hex"));
        clock.setOnAdvance([this](uint64_t) { device->runFor(20000); });
    }
    zim::msp430::MSP430Registers &view()
    {
        return *static_cast<zim::msp430::MSP430Registers *>(port->registers());
    }
    zim::msp430::BreakpointId breakAt(uint32_t address, uint32_t count = 0)
    {
        zim::msp430::BreakpointRequest request;
        request.address = address;
        request.count = count;
        return port->setBreakpoint(request);
    }
    uint16_t eemRegister(uint32_t reg)
    {
        auto &d = port->driver();
        uint32_t value = 0;
        EXPECT_TRUE(d.readEem(&d, reg, 1, &value));
        return uint16_t(value);
    }
};

TEST_F(JtagRunControl, ChipStopsAtAFetchTriggerAndHoldsItsCpuWithTheStopFlagSet)
{
    breakAt(0xF00E);
    ASSERT_TRUE(target->run(0, false));
    device->runFor(5000);
    EXPECT_FALSE(device->cpuRunning());
    EXPECT_EQ(device->registerValue(0), 0xF00Eu) << "stopped before the instruction ran";
    EXPECT_EQ(device->registerValue(15), 1u);
    EXPECT_EQ(eemRegister(0x82) & 0x80, 0x80) << "the EEM shows the stop";
    EXPECT_TRUE(device->stoppedByTrigger());
    auto &d = port->driver();
    ASSERT_TRUE(d.shiftInstruction(&d, 0x14));
    EXPECT_EQ(d.shiftData16Capture(&d, 0) & 0x0100, 0x0100) << "the control signal register shows it too";
    device->runFor(5000);
    EXPECT_EQ(device->registerValue(0), 0xF00Eu) << "the CPU stays held";
}

TEST_F(JtagRunControl, ChipStopsAtADataWriteTriggerAfterTheInstruction)
{
    zim::msp430::BreakpointRequest request;
    request.address = 0x0200;
    request.length = 2;
    request.kind = zim::msp430::BreakpointRequest::DataWrite;
    try {
        port->setBreakpoint(request);
    } catch (const zim::common::HException &e) {
        GTEST_SKIP() << "this device's EEM takes no data triggers: " << e.message().toStdString();
    }
    ASSERT_TRUE(target->run(0, false));
    device->runFor(5000);
    EXPECT_FALSE(device->cpuRunning());
    EXPECT_EQ(device->registerValue(0), 0xF012u);
}

TEST_F(JtagRunControl, RunToABreakpointStopsThereWithTheRegistersReadBack)
{
    breakAt(0xF00E);
    ASSERT_TRUE(target->run(0, false));
    ASSERT_TRUE(port->waitForStop(2000));
    EXPECT_EQ(port->state(), zim::target::DevicePort::TargetStopped);
    EXPECT_EQ(view().pc(), 0xF00Eu);
    EXPECT_EQ(view().sp(), 0x0A00u);
    EXPECT_EQ(view().read(15), 1u);
    EXPECT_EQ(view().changedMask(), 0u);
    for (int n : {0, 1, 2, 4, 15})
        EXPECT_EQ(view().read(n), device->registerValue(n)) << "R" << n;
    EXPECT_FALSE(device->cpuRunning());
    // Going on from the breakpoint passes it once and stops at its next pass.
    ASSERT_TRUE(target->go());
    ASSERT_TRUE(port->waitForStop(2000));
    EXPECT_EQ(view().pc(), 0xF00Eu);
    EXPECT_EQ(view().read(15), 2u);
    uint8_t stored[2] = {};
    port->readBytes(0x0200, 2, stored);
    EXPECT_EQ(stored[0], 1);
}

TEST_F(JtagRunControl, MemoryReadOfACpuStoppedAtABreakpointKeepsTheStop)
{
    breakAt(0xF00E);
    ASSERT_TRUE(target->run(0, false));
    device->runFor(5000);
    uint8_t stored[2] = {0xAA, 0xAA};
    port->readBytes(0x0200, 2, stored);
    EXPECT_EQ(stored[0], 0) << "no pass has stored R15 yet";
    EXPECT_FALSE(device->cpuRunning());
    ASSERT_TRUE(port->waitForStop(0));
    EXPECT_EQ(view().pc(), 0xF00Eu);
    EXPECT_EQ(view().read(15), 1u);
}

TEST_F(JtagRunControl, HitCountStopsAtTheNthPass)
{
    breakAt(0xF00E, 5);
    ASSERT_TRUE(target->run(0, false));
    ASSERT_TRUE(port->waitForStop(10000));
    EXPECT_EQ(view().pc(), 0xF00Eu);
    EXPECT_EQ(view().read(15), 5u);
}

// The step range is an outside-range trigger pair while two triggers are free, else the entry
// without a trigger that the driver goes through by single steps; both end at the first
// instruction outside the range.
void stepThroughRange(JtagRunControl &t, bool triggersTaken)
{
    // Stop at the loop's first pass, then run through inc and mov.
    const auto first = t.breakAt(0xF00C);
    ASSERT_TRUE(t.target->run(0, false));
    ASSERT_TRUE(t.port->waitForStop(2000));
    ASSERT_EQ(t.view().pc(), 0xF00Cu);
    t.port->clearBreakpoint(first);
    if (triggersTaken)
        for (uint32_t i = 0; i + 1 < t.port->breakpointCount(); ++i)
            t.breakAt(0xFF00 + 2 * i);
    zim::msp430::BreakpointRequest range;
    range.address = 0xF00C;
    range.length = 6;
    range.outsideRange = true;
    t.port->setBreakpoint(range);
    EXPECT_EQ(t.port->triggerTable().special.has_value(), triggersTaken);
    ASSERT_TRUE(t.target->go());
    ASSERT_TRUE(t.port->waitForStop(2000));
    EXPECT_EQ(t.view().pc(), 0xF012u);
    EXPECT_EQ(t.view().read(15), 1u);
    EXPECT_EQ(t.port->state(), zim::target::DevicePort::TargetStopped);
}

TEST_F(JtagRunControl, StepRangeOnTriggersEndsAtTheFirstInstructionOutsideIt)
{
    stepThroughRange(*this, false);
}

TEST_F(JtagRunControl, StepRangeBySingleStepsEndsAtTheFirstInstructionOutsideIt)
{
    stepThroughRange(*this, true);
}

TEST_F(JtagRunControl, StepRangeTheProgramNeverLeavesLetsTheWaitTimeOut)
{
    for (uint32_t i = 0; i < port->breakpointCount(); ++i)
        breakAt(0xFF00 + 2 * i);
    zim::msp430::BreakpointRequest range;
    range.address = 0xF000;
    range.length = 0x20;
    range.outsideRange = true;
    port->setBreakpoint(range);
    ASSERT_TRUE(port->triggerTable().special.has_value());
    ASSERT_TRUE(target->run(0, false));
    // One poll: a bounded run of single steps, then the wait is over.
    EXPECT_FALSE(port->waitForStop(0));
    ASSERT_TRUE(port->stop());
    EXPECT_GE(view().read(15), 100u) << "the loop went on by single steps";
    EXPECT_LT(view().pc(), 0xF014u);
}

TEST_F(JtagRunControl, SingleStepRunsOneInstruction)
{
    breakAt(0xF00C);
    ASSERT_TRUE(target->run(0, false));
    ASSERT_TRUE(port->waitForStop(2000));
    ASSERT_TRUE(port->step());
    EXPECT_EQ(view().pc(), 0xF00Eu);
    EXPECT_EQ(view().read(15), 1u);
    ASSERT_TRUE(port->step());
    EXPECT_EQ(view().pc(), 0xF012u);
    EXPECT_EQ(port->state(), zim::target::DevicePort::TargetStopped);
}

TEST_F(JtagRunControl, StopHaltsARunningCpuWithItsRegisters)
{
    ASSERT_TRUE(target->run(0, false));
    device->runFor(3000);
    EXPECT_FALSE(port->waitForStop(1000)) << "nothing stops the loop by itself";
    ASSERT_TRUE(port->stop());
    EXPECT_EQ(port->state(), zim::target::DevicePort::TargetStopped);
    EXPECT_FALSE(device->cpuRunning());
    EXPECT_GE(view().pc(), 0xF00Cu);
    EXPECT_LE(view().pc(), 0xF012u);
    EXPECT_GT(view().read(15), 10u);
    EXPECT_EQ(view().read(15), device->registerValue(15));
    device->runFor(3000);
    EXPECT_EQ(view().pc(), device->registerValue(0)) << "the CPU stays held";
}

// Every record a 1xx/2xx/4xx device can answer to: its own ID bytes and fuse identify it when
// the run names it, and otherwise a sibling with at least its memory.
TEST_F(JtagDriver, EverySiblingRecordIdentifiesToItselfWhenNamedAndToTheLargestOtherwise)
{
    MSP430DeviceDatabase *db = devices.devices();
    int checked = 0;
    for (int i = 0; i < db->count(); ++i) {
        db->select(i);
        if (db->hasCpuXv2())
            continue;
        const QString name = QString::fromUtf8(db->name(i));
        const uint32_t size = db->flashEnd() - db->flashStart() + db->ramEnd() - db->ramStart();
        int pattern[9];
        db->identificationPattern(i, pattern);
        uint8_t id[16] = {};
        static const int offsets[7] = {0x0, 0x1, 0x2, 0x3, 0x8, 0x9, 0xD};
        for (int k = 0; k < 7; ++k)
            id[offsets[k]] = uint8_t(pattern[k] < 0 ? 0 : pattern[k]);
        const int fuse = pattern[7] < 0 ? 0 : pattern[7];
        auto named = zim::msp430::chooseMSP430Device(db, id, [fuse] { return fuse; }, {name});
        EXPECT_EQ(QString::fromUtf8(db->name(named.index)), name);
        auto unnamed = zim::msp430::chooseMSP430Device(db, id, [fuse] { return fuse; }, {});
        ASSERT_GE(unnamed.index, 0) << name.toStdString();
        db->select(unnamed.index);
        EXPECT_GE(db->flashEnd() - db->flashStart() + db->ramEnd() - db->ramStart(), size) << name.toStdString();
        ++checked;
    }
    EXPECT_GT(checked, 200);
}

TEST_F(JtagDriver, VerboseSaysWhichSiblingWasTakenAndWhy)
{
    make("MSP430F2003", true);
    target->connect();
    EXPECT_EQ(target->deviceType(), "MSP430F2013");
    EXPECT_THAT(messages.join('\n').toStdString(), HasSubstr("Identified MSP430F2013, the largest memory"));
}

} // namespace
