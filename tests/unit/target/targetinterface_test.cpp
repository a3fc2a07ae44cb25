// The target interface base: the Erase All property, the registry and the memory base operations.
#include "fakes/teststate.h"
#include "target/targetinterface.h"
#include "target/targetmemoryinterface.h"
#include "target/targetregistry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <vector>

namespace {

class BareTarget : public zim::target::TargetInterface
{
public:
    explicit BareTarget(uint32_t flags) : zim::target::TargetInterface(flags, nullptr, "Bare") {}
    void connect() override {}
    void disconnect() override {}
    bool isConnected() const override { return false; }
    zim::target::TargetMemoryInterface *mainMemory() override { return nullptr; }
    zim::target::TargetMemoryInterface *memory() override { return nullptr; }
    bool reset(bool) override { return true; }
    bool go() override { return true; }
    bool run(uint32_t, bool) override { return true; }
    bool stop() override { return true; }
    bool waitForStop(int) override { return true; }
};

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
    BareTarget with(0x100), without(0);
    EXPECT_TRUE(with.isPropertyVisible("loaderEraseAll"));
    EXPECT_FALSE(without.isPropertyVisible("loaderEraseAll"));
    EXPECT_TRUE(without.isPropertyVisible("device_id"));
    EXPECT_TRUE(with.setProperty("loaderEraseAll", true));
    EXPECT_TRUE(with.eraseAllBeforeDownload());
}

TEST(TargetRegistry, NamesAreCaseSensitive)
{
    TestState state;
    zim::target::MSP430TargetInterfaceFactory &f = state.targetFactory();
    f.registerCreator("MSP430Monitor", [](zim::target::ProgramState &, QObject *) { return static_cast<zim::target::TargetInterface *>(new BareTarget(0)); });
    EXPECT_EQ(f.classForShortName("sim"), "MSP430Monitor");
    EXPECT_EQ(f.classForShortName("SIM"), "");
    EXPECT_EQ(f.create("msp430monitor", state, nullptr), nullptr);
    EXPECT_EQ(f.create("NoSuchTarget", state, nullptr), nullptr);
    delete f.create("MSP430Monitor", state, nullptr);
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
