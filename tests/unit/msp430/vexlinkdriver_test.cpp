// The Vexlink driver fillings over a scripted link: model 1 batches its packets and asks for no
// reply while it programs, pulse counts travel in 16-bit pieces, model 2 sends one command
// per 64 bytes.
#include "fakes/fakeusbcalls.h"
#include "msp430/vexlinkdriver.h"

#include <gtest/gtest.h>

using zim::fakes::FakeUsb;
using zim::msp430::Msp430dDriver;
using zim::msp430::VexlinkSession;

namespace {

struct VexlinkDriverTest : testing::Test
{
    zim::fakes::FakeClock clock;
    FakeUsb fake;
    ZimDeviceCalls calls = fake.table();
    zim::platform::UsbLink link{calls, clock};
    VexlinkSession session;
    Msp430dDriver d;
    std::vector<uint8_t> image = std::vector<uint8_t>(4096);

    void make(int model)
    {
        fake.clock = &clock;
        ASSERT_EQ(link.open(nullptr), zim::platform::UsbLink::OpenResult::Opened);
        zim::msp430::msp430dFillBase(d);
        d.blockWrite = true;
        session.link = &link;
        if (model == 1)
            zim::msp430::fillVexlinkModel1(d, session);
        else
            zim::msp430::fillVexlinkModel2(d, session);
        for (size_t i = 0; i < image.size(); ++i)
            image[i] = uint8_t(i * 7);
    }
    // The packets of model 1's OUT transfers whose command code is code.
    std::vector<std::vector<uint8_t>> packetsWithCode(uint8_t code)
    {
        std::vector<std::vector<uint8_t>> found;
        for (const auto &t : fake.outTransfers)
            for (size_t at = 0; at + 64 <= t.size(); at += 64)
                if (t[at] == code)
                    found.emplace_back(t.begin() + long(at), t.begin() + long(at) + 64);
        return found;
    }
};

TEST(VexlinkPulses, CountsAbove65535AreSplitIntoPiecesThatAddUp)
{
    EXPECT_EQ(zim::msp430::vexlinkPulseChunks(201400), (std::vector<uint16_t>{65535, 65535, 65535, 4795}));
    EXPECT_EQ(zim::msp430::vexlinkPulseChunks(65535), (std::vector<uint16_t>{65535}));
    EXPECT_EQ(zim::msp430::vexlinkPulseChunks(65536), (std::vector<uint16_t>{65535, 1}));
    EXPECT_TRUE(zim::msp430::vexlinkPulseChunks(0).empty());
}

TEST_F(VexlinkDriverTest, Model1SendsAPulseCountAbove65535AsSeveralPackets)
{
    make(1);
    ASSERT_EQ(d.pulseTclk(&d, 201400), 1);
    ASSERT_EQ(d.initJtag(&d), 1);
    uint32_t total = 0;
    for (const auto &p : packetsWithCode(0x10))
        total += uint32_t(p[1] << 8 | p[2]);
    EXPECT_EQ(packetsWithCode(0x10).size(), 4u);
    EXPECT_EQ(total, 201400u);
}

TEST_F(VexlinkDriverTest, Model1BlockProgrammingBatchesPacketsAndAsksForNoReply)
{
    make(1);
    const size_t before = fake.outTransfers.size();
    ASSERT_EQ(d.programFlash(&d, 0x4000, uint32_t(image.size()), image.data()), 1) << d.lastError;
    EXPECT_EQ(fake.inCalls, 0);
    uint64_t packets = 0;
    for (size_t i = before; i < fake.outTransfers.size(); ++i)
        packets += fake.outTransfers[i].size() / 64;
    const double words = double(image.size()) / 2;
    EXPECT_LE(double(packets) / words, 7.5);
    EXPECT_GE(double(packets) / double(fake.outTransfers.size() - before), 32.0);
    // Everything is sent by the time the entry returns.
    EXPECT_TRUE(session.pending.empty());
}

TEST_F(VexlinkDriverTest, Model1ReportsALinkFailureFromTheEntryThatSentTheBatch)
{
    make(1);
    fake.outResult = LIBUSB_ERROR_NO_DEVICE;
    EXPECT_EQ(d.programFlash(&d, 0x4000, 64, image.data()), 0);
    EXPECT_EQ(d.lastError, "write operation failed");
}

TEST_F(VexlinkDriverTest, Model2ProgramsWithAtMostOneCommandPer64Bytes)
{
    make(2);
    ASSERT_EQ(d.programFlash(&d, 0x4000, uint32_t(image.size()), image.data()), 1) << d.lastError;
    EXPECT_LE(fake.outTransfers.size(), image.size() / 64 + 2);
    EXPECT_EQ(fake.inCalls, 0);
}

TEST_F(VexlinkDriverTest, Model2ShortReplyIsAReadTimeOut)
{
    make(2);
    link.setTimeout(20);
    fake.packets = {{0x31, 0x60, 0x12}};
    uint16_t value = 0;
    EXPECT_EQ(d.readWord(&d, 0x0200, &value), 0);
    EXPECT_EQ(d.lastError, "read timed out");
}

} // namespace
