// The JTAG monitor base under the target facade, over a fake driver: the segment erases of a
// real download, connection completion, breakpoints through the EEM, timer freeze and clock
// control, and the five properties.
#include "fakes/fakejtagmonitor.h"
#include "loadfile/intelhexloadfile.h"
#include "target/targetinterface.h"

#include <QRegularExpression>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;
using zim::target::ProgressReport;

namespace {

struct JTAGTarget : testing::Test
{
    zim::target::TargetInterface target{std::make_unique<FakeJTAGMonitor>(), QStringLiteral("Fake JTAG")};
    FakeJTAGMonitor &device = static_cast<FakeJTAGMonitor &>(target.port());
    QStringList messages;
    std::vector<ProgressReport> segmentProgress;

    void SetUp() override
    {
        QObject::connect(&target, qOverload<const QString &>(&zim::target::TargetInterface::message), &target,
                         [this](const QString &text) { messages.append(text); });
        QObject::connect(&target, &zim::target::TargetInterface::progress, &target, [this](const ProgressReport &r) {
            if (r.phase == ProgressReport::Phase::EraseSegments)
                segmentProgress.push_back(r);
        });
        target.connect();
    }
    QStringList logLines(const QString &prefix) const { return device.log.filter(QRegularExpression("^" + prefix)); }
};

TEST_F(JTAGTarget, BlinkyErasesExactlyItsTwoSegmentsAndVerifies)
{
    zim::loadfile::IntelHexLoadFile file(QStringLiteral(ZIM_SOURCE_DIR "/examples/blinky.hex"));
    target.download(file, QStringLiteral("blinky.hex"), true);
    EXPECT_THAT(logLines("eraseSegment"), ElementsAre("eraseSegment f000 512", "eraseSegment fe00 512"));
    EXPECT_THAT(messages.filter("Erasing segment"),
                ElementsAre("Erasing segment 0xf000 - 0xf1ff", "Erasing segment 0xfe00 - 0xffff"));
    using Phase = ProgressReport::Phase;
    using Unit = ProgressReport::Unit;
    EXPECT_THAT(segmentProgress, ElementsAre(ProgressReport::open(Phase::EraseSegments, 2, Unit::Sectors),
                                             ProgressReport::advance(Phase::EraseSegments, 1, 2, Unit::Sectors),
                                             ProgressReport::advance(Phase::EraseSegments, 2, 2, Unit::Sectors)));
    EXPECT_TRUE(target.verify(file, QStringLiteral("blinky.hex")));
    EXPECT_EQ(device.memory[0xFFFE], 0x00);
    EXPECT_EQ(device.memory[0xFFFF], 0xF0);
}

TEST_F(JTAGTarget, ConnectionCompletesTheMemoryModelAndDisconnectionUndoesIt)
{
    EXPECT_EQ(target.deviceType(), "MSP430F149");
    ASSERT_NE(target.mainMemory(), nullptr);
    EXPECT_THAT(target.mainMemory()->memoryMap(), ElementsAre(zim::target::AddressRange{0, 0xFFFF}));
    EXPECT_EQ(target.formatAddress(0x1100), "1100");
    ASSERT_NE(target.registers(), nullptr);
    EXPECT_EQ(target.registers()->size(0), 2);
    EXPECT_TRUE(device.isFlash(0x1000) && device.isFlash(0xFFFF) && !device.isFlash(0x0A00));
    target.disconnect();
    EXPECT_FALSE(target.isConnected());
    EXPECT_EQ(target.mainMemory(), nullptr);
    EXPECT_EQ(target.registers(), nullptr);
}

TEST_F(JTAGTarget, FlashAboveTheSegmentEraseReachIsRefusedNotWrapped)
{
    target.disconnect();
    device.flashLast = 0x1FFFF;
    target.connect();
    EXPECT_EQ(target.formatAddress(0x1100), "01100");
    uint32_t start = 0, length = 0;
    EXPECT_THAT([&] { device.eraseRange(0xFF00, 0x200, start, length); },
                testing::ThrowsMessage<zim::common::HException>(testing::HasSubstr("Erase All")));
    EXPECT_TRUE(logLines("eraseSegment").isEmpty());
}

TEST_F(JTAGTarget, BreakpointsProgramTheEEMAndARefusalTouchesNothing)
{
    device.log.clear();
    zim::msp430::BreakpointRequest single;
    single.address = 0xF000;
    const zim::msp430::BreakpointId id = device.setBreakpoint(single);
    EXPECT_THAT(device.log, ElementsAre("eem 0 f000", "eem 2 0", "eem 6 1"));
    EXPECT_EQ(device.breakpointsInUse(), 1u);

    device.log.clear();
    const zim::msp430::TriggerTable before = device.triggerTable();
    zim::msp430::BreakpointRequest counted;
    counted.kind = zim::msp430::BreakpointRequest::DataRead;
    counted.count = 2;
    EXPECT_THROW(device.setBreakpoint(counted), zim::msp430::DebuggerBreakpointFailure);
    EXPECT_TRUE(device.log.isEmpty());
    EXPECT_EQ(device.triggerTable(), before);

    device.clearBreakpoint(id);
    EXPECT_EQ(device.breakpointsInUse(), 0u);
    device.setPcInRamBreak(true);
    EXPECT_TRUE(device.pcInRamBreak());
    device.level = 1; // a Low EEM cannot take the register trigger: the break stays off
    target.disconnect();
    target.connect();
    device.setPcInRamBreak(true);
    EXPECT_FALSE(device.pcInRamBreak());
}

TEST_F(JTAGTarget, HaltFreezesTheChosenTimersAndResumeRestoresThemThenWritesClockControl)
{
    device.setTimerFreeze(true, true, false);
    device.memory[0x40] = 0x00;              // basic timer running: hold bit clear
    device.memory[0x160] = 0x34;             // Timer_A counting up (MC bits 0x30)
    device.memory[0x180] = 0x30;             // Timer_B not chosen
    device.halted = false;
    target.go();
    EXPECT_FALSE(target.stop()); // still running
    device.halted = true;
    EXPECT_TRUE(target.stop());
    EXPECT_EQ(device.memory[0x160], 0x04);
    EXPECT_EQ(device.memory[0x180], 0x30);
    device.log.clear();
    device.memory[0x40] = 0x99; // restored from the value kept at the halt
    target.go();
    EXPECT_EQ(device.memory[0x40], 0x00);
    EXPECT_EQ(device.memory[0x160], 0x34);
    EXPECT_THAT(device.log, ElementsAre("eem 88 e", "eem 8a 60d7", "go"));
    device.clockLevel = 1;
    device.log.clear();
    target.go();
    EXPECT_THAT(device.log, ElementsAre("eem 88 26", "go"));
}

TEST_F(JTAGTarget, StateStorageReadsTheWrappedBufferFromTheWriteIndex)
{
    EXPECT_EQ(device.stateStorageCapability(), 13u);
    device.setStateStorageMode(8);
    device.enableStateStorage(true);
    EXPECT_EQ(device.stateStorageMode(), 8u);
    EXPECT_EQ(device.eem[0x9E], 0x07u);
    device.eem[0x9F] = 0x300;    // something stored, buffer wrapped
    device.eem[0x9B] = 6u << 10; // next write at entry 6
    device.log.clear();
    device.beginStateStorageRead();
    uint32_t first = 0, second = 0;
    int entries = 0;
    while (device.readStateStorageEntry(first, second))
        ++entries;
    EXPECT_EQ(entries, 8);
    EXPECT_THAT(device.log.mid(0, 2), ElementsAre("eem 9a 18", "eem 9a 19"));
    device.level = 2;
    EXPECT_EQ(device.stateStorageCapability(), 0u);
}

TEST_F(JTAGTarget, PropertiesShowTheLevelsAndTheConnectionSwitches)
{
    EXPECT_EQ(target.port().property("emulation").toString(), "High");
    EXPECT_EQ(target.port().property("clockControl").toString(), "Extended");
    EXPECT_EQ(target.propertyOwner("identify"), &target.port());
    device.level = 2;
    device.clockLevel = 7;
    EXPECT_EQ(target.port().property("emulation").toString(), "Medium");
    EXPECT_EQ(target.port().property("clockControl").toString(), "");
}

} // namespace
