// The USB adapter's bulk data link: packets with status bytes, leftovers, time-outs on the
// program's clock, the open sequence and its failure texts.
#include "fakes/fakeusbcalls.h"
#include "platform/usblink.h"

#include <gtest/gtest.h>

using zim::fakes::FakeUsb;
using zim::platform::UsbLink;

namespace {

struct UsbLinkTest : testing::Test
{
    zim::fakes::FakeClock clock{5000};
    FakeUsb fake;
    ZimDeviceCalls calls = fake.table();
    UsbLink link{calls, clock};
    void SetUp() override
    {
        fake.clock = &clock;
        ASSERT_EQ(link.open(nullptr), UsbLink::OpenResult::Opened) << link.error().toStdString();
    }
};

TEST_F(UsbLinkTest, OpenDetachesClaimsClearsHaltsSetsLatencyAndPurges)
{
    EXPECT_EQ(fake.autoDetach, 1);
    EXPECT_EQ(fake.clearedHalts, (std::vector<unsigned char>{0x81, 0x02}));
    EXPECT_EQ(fake.controls, (std::vector<std::vector<int>>{{9, 1, 1}, {0, 1, 1}, {0, 2, 1}}));
}

TEST_F(UsbLinkTest, HundredByteReadTakesTwoPacketsAndKeepsTwentyFour)
{
    fake.packets = {FakeUsb::dataPacket(0, 62), FakeUsb::dataPacket(62, 62)};
    uint8_t buffer[124] = {};
    ASSERT_EQ(link.read(buffer, 100), 100);
    EXPECT_EQ(fake.inCalls, 2);
    EXPECT_EQ(buffer[99], 99);
    // The rest of the second packet comes with no further transfer.
    ASSERT_EQ(link.read(buffer, 24), 24);
    EXPECT_EQ(fake.inCalls, 2);
    EXPECT_EQ(buffer[0], 100);
    EXPECT_EQ(buffer[23], 123);
}

TEST_F(UsbLinkTest, StatusOnlyPacketsAreSkippedWithoutEndingTheRead)
{
    fake.packets = {{0x31, 0x60}, {0x31, 0x60}, FakeUsb::dataPacket(7, 3), {0x31, 0x60}, FakeUsb::dataPacket(10, 5)};
    uint8_t buffer[8] = {};
    ASSERT_EQ(link.read(buffer, 8), 8);
    EXPECT_EQ(fake.inCalls, 5);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[7], 14);
}

TEST_F(UsbLinkTest, ReadEndsWhenTheOverallTimeOutHasPassedOnTheClock)
{
    fake.packets = {FakeUsb::dataPacket(1, 4)};
    fake.msPerIn = 10;
    link.setTimeout(300);
    uint8_t buffer[16] = {};
    EXPECT_EQ(link.read(buffer, 16), 4);
    EXPECT_EQ(fake.inCalls, 30);
    EXPECT_EQ(clock.ticks(), 5300u);
    EXPECT_TRUE(clock.sleeps().empty());
}

TEST_F(UsbLinkTest, TransferFailuresGiveTheLinkTexts)
{
    uint8_t buffer[4] = {};
    fake.outResult = LIBUSB_ERROR_TIMEOUT;
    EXPECT_EQ(link.write(buffer, 4), -1);
    EXPECT_EQ(link.error(), QStringLiteral("write operation timed out"));
    fake.inResult = LIBUSB_ERROR_TIMEOUT;
    EXPECT_EQ(link.read(buffer, 4), -1);
    EXPECT_EQ(link.error(), QStringLiteral("read operation timed out"));
    fake.inResult = LIBUSB_ERROR_PIPE;
    EXPECT_EQ(link.read(buffer, 4), -1);
    EXPECT_EQ(link.error(), QStringLiteral("read operation failed (GetOverlappedResult)"));
    // The stalled endpoint is cleared for the next transfer.
    EXPECT_EQ(fake.clearedHalts.back(), 0x81);
    EXPECT_FALSE(link.isGone());
}

TEST_F(UsbLinkTest, AnAdapterThatLeftTheBusFailsEveryLaterCallAtOnce)
{
    uint8_t buffer[4] = {};
    fake.outResult = LIBUSB_ERROR_NO_DEVICE;
    EXPECT_EQ(link.write(buffer, 4), -1);
    EXPECT_EQ(link.error(), QStringLiteral("write operation failed"));
    EXPECT_TRUE(link.isGone());
    const int before = fake.inCalls;
    const uint64_t now = clock.ticks();
    EXPECT_EQ(link.read(buffer, 4), -1);
    EXPECT_EQ(fake.inCalls, before);
    EXPECT_EQ(clock.ticks(), now);
}

TEST(UsbLinkOpen, TellsABusyAdapterFromOneWithoutPermission)
{
    zim::fakes::FakeClock clock;
    FakeUsb fake;
    ZimDeviceCalls calls = fake.table();
    UsbLink link(calls, clock);
    fake.claimResult = LIBUSB_ERROR_BUSY;
    EXPECT_EQ(link.open(nullptr), UsbLink::OpenResult::InUse);
    EXPECT_EQ(link.error(), QStringLiteral("device already in use"));
    EXPECT_FALSE(link.isOpen());
    fake.claimResult = 0;
    fake.openResult = LIBUSB_ERROR_ACCESS;
    EXPECT_EQ(link.open(nullptr), UsbLink::OpenResult::NoPermission);
    fake.openResult = 0;
    fake.controlResult = LIBUSB_ERROR_IO;
    EXPECT_EQ(link.open(nullptr), UsbLink::OpenResult::Failed);
    EXPECT_EQ(link.error(), QStringLiteral("Cannot set latency timer"));
    EXPECT_FALSE(link.isOpen());
}

} // namespace
