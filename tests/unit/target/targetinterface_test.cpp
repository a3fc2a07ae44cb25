// The target interface base: the Erase All property, the registry and the memory base operations.
#include "fakes/faketarget.h"
#include "target/targetinterface.h"
#include "target/targetmemoryinterface.h"
#include "target/targetregistry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <vector>

namespace {

class BarePort : public zim::target::DevicePort
{
public:
    explicit BarePort(uint32_t flags) : zim::target::DevicePort(flags) {}
    void connect() override {}
    void disconnect() override {}
    bool isConnected() const override { return false; }
    zim::target::TargetMemoryInterface *mainMemory() override { return nullptr; }
    bool reset(bool) override { return true; }
    bool go() override { return true; }
    bool run(uint32_t, bool) override { return true; }
    bool stop() override { return true; }
    bool waitForStop(int) override { return true; }
};

std::unique_ptr<zim::target::TargetInterface> bareTarget(uint32_t flags)
{
    return std::make_unique<zim::target::TargetInterface>(std::make_unique<BarePort>(flags), QStringLiteral("Bare"));
}

// A memory that only supplies writeBytes and readBytes, recording every read.
class RecordingMemory : public zim::target::TargetMemoryInterface
{
public:
    explicit RecordingMemory(bool bigEndian = false) : zim::target::TargetMemoryInterface(bigEndian, 2, false), bytes(0x10000, 0) {}
    void writeBytes(uint32_t address, uint32_t count, const uint8_t *data) override
    {
        std::copy(data, data + count, bytes.begin() + address);
    }
    void readBytes(uint32_t address, uint32_t count, uint8_t *buffer) override
    {
        reads.push_back({address, count});
        std::copy(bytes.begin() + address, bytes.begin() + address + count, buffer);
    }
    std::vector<uint8_t> bytes;
    std::vector<std::pair<uint32_t, uint32_t>> reads;
};

using Block = std::pair<uint32_t, uint32_t>;

TEST(TargetInterface, EraseAllIsOfferedOnlyWithItsFlag)
{
    const auto with = bareTarget(0x100), without = bareTarget(0);
    EXPECT_TRUE(with->isPropertyVisible("loaderEraseAll"));
    EXPECT_FALSE(without->isPropertyVisible("loaderEraseAll"));
    EXPECT_TRUE(without->isPropertyVisible("device_id"));
    EXPECT_TRUE(with->setProperty("loaderEraseAll", true));
    EXPECT_TRUE(with->eraseAllBeforeDownload());
}

TEST(TargetRegistry, NamesAreCaseSensitive)
{
    const zim::target::TargetInterfaceFactory f({
        {"MSP430Monitor", "sim", "MSP430 Core Simulator", false, [] { return bareTarget(0); }},
    });
    EXPECT_EQ(f.classForShortName("sim"), "MSP430Monitor");
    EXPECT_EQ(f.classForShortName("SIM"), "");
    EXPECT_EQ(f.create("msp430monitor"), nullptr);
    EXPECT_EQ(f.create("NoSuchTarget"), nullptr);
    EXPECT_NE(f.create("MSP430Monitor"), nullptr);
}

// A port's events reach the facade's signals, and the port's own properties follow the
// facade's, presented through the port's records.
TEST(TargetInterface, ReportsForItsPortAndListsThePortsPropertiesAfterItsOwn)
{
    FakeTarget target;
    std::vector<zim::target::ProgressReport> reports;
    QObject::connect(&target, &zim::target::TargetInterface::progress, &target,
                     [&](const zim::target::ProgressReport &r) { reports.push_back(r); });
    target.main.segmentSize = 512;
    FakeLoadFile file;
    file.add(0, ".text", 0x1100, 600);
    target.download(file, QStringLiteral("app.hex"), false);
    using Phase = zim::target::ProgressReport::Phase;
    using Unit = zim::target::ProgressReport::Unit;
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), zim::target::ProgressReport::open(Phase::Erase, 600, Unit::Bytes));
    EXPECT_EQ(reports.back(), zim::target::ProgressReport::advance(Phase::Program, 600, 600, Unit::Bytes));
    EXPECT_EQ(target.propertyObjects().size(), 2);
    EXPECT_EQ(target.propertyOwner("loaderEraseAll"), &target);
    EXPECT_EQ(target.propertyOwner("nothing"), nullptr);
}

TEST(TargetMemoryInterface, VerifyReadsInBlocksOf1024)
{
    RecordingMemory m;
    std::vector<uint8_t> expected(3000, 0);
    EXPECT_TRUE(m.verifyBytes(0x100, 3000, expected.data()));
    EXPECT_THAT(m.reads, testing::ElementsAre(Block{0x100, 1024}, Block{0x500, 1024}, Block{0x900, 952}));

    m.reads.clear();
    expected[1500] = 1;
    EXPECT_FALSE(m.verifyBytes(0x100, 3000, expected.data()));
    EXPECT_EQ(m.reads.size(), 2u); // stops at the block holding the difference
}

TEST(TargetMemoryInterface, WordsFollowTheTargetByteOrder)
{
    RecordingMemory little(false), big(true);
    little.pokeUint16(0x10, 0x1234);
    big.pokeUint16(0x10, 0x1234);
    EXPECT_EQ(little.bytes[0x10], 0x34);
    EXPECT_EQ(big.bytes[0x10], 0x12);
    EXPECT_EQ(big.peekUint16(0x10), 0x1234);
    little.pokeUint32(0x20, 0xA1B2C3D4);
    EXPECT_EQ(little.bytes[0x20], 0xD4);
    EXPECT_EQ(little.peekWord(0x20), 0xC3D4u); // a natural word is 2 bytes here
}

} // namespace
