// The target interface base: property presentation, the registry and the memory base operations.
#include "target/targetinterface.h"
#include "target/targetmemoryinterface.h"
#include "target/targetregistry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QMetaProperty>
#include <vector>

namespace {

class BareTarget : public TargetInterface
{
public:
    explicit BareTarget(uint32_t flags) : TargetInterface(flags, nullptr, "Bare") {}
    void connect() override {}
    void disconnect() override {}
    bool isConnected() const override { return false; }
    TargetMemoryInterface *mainMemory() override { return nullptr; }
    TargetMemoryInterface *memory() override { return nullptr; }
    bool reset(bool) override { return true; }
    bool go() override { return true; }
    bool run(uint32_t, bool) override { return true; }
    bool stop() override { return true; }
    bool waitForStop(int) override { return true; }
};

// A memory that only supplies writeBytes and readBytes, recording every call.
class RecordingMemory : public TargetMemoryInterface
{
public:
    explicit RecordingMemory(bool bigEndian = false) : TargetMemoryInterface(bigEndian, 2, false), bytes(0x10000, 0) {}
    void writeBytes(uint32_t address, uint32_t count, const uint8_t *data) override
    {
        writes.push_back({address, count});
        std::copy(data, data + count, bytes.begin() + address);
    }
    void readBytes(uint32_t address, uint32_t count, uint8_t *buffer) override
    {
        reads.push_back({address, count});
        std::copy(bytes.begin() + address, bytes.begin() + address + count, buffer);
    }
    std::vector<uint8_t> bytes;
    std::vector<std::pair<uint32_t, uint32_t>> writes, reads;
};

// The properties a listing would show: visible, with a display name and description.
QStringList presentedProperties(const TargetInterface &t)
{
    QStringList names;
    const QMetaObject *mo = t.metaObject();
    for (int i = 0; i < mo->propertyCount(); ++i) {
        const QString name = QString::fromLatin1(mo->property(i).name());
        const VeltObjectPropertyValue *binding = t.propertyDefinition(name);
        PropertyRecord record;
        if (!binding && !t.describeProperty(name, record))
            continue;
        const QString display = binding ? binding->displayName() : record.displayName;
        if (!display.isEmpty() && t.isPropertyVisible(name) && mo->property(i).isWritable())
            names.append(display);
    }
    return names;
}

TEST(TargetInterface, EraseAllIsOfferedOnlyWithItsFlag)
{
    BareTarget with(TargetInterface::FlagEraseAll), without(0);
    EXPECT_TRUE(with.isPropertyVisible("loaderEraseAll"));
    EXPECT_FALSE(without.isPropertyVisible("loaderEraseAll"));
    EXPECT_TRUE(without.isPropertyVisible("device_id"));
    // Device Type is presented but read-only, so a listing of settable properties omits it.
    EXPECT_EQ(presentedProperties(with), QStringList{"Erase All"});
    EXPECT_TRUE(presentedProperties(without).isEmpty());
    EXPECT_FALSE(with.isConnected());
}

TEST(TargetInterface, BindingsPresentTheDefinitionsAndTheValues)
{
    BareTarget t(TargetInterface::FlagEraseAll);
    const VeltObjectPropertyValue *eraseAll = t.propertyDefinition("loaderEraseAll");
    ASSERT_NE(eraseAll, nullptr);
    EXPECT_EQ(eraseAll->description(), "Erase all erasable memory rather than individual segments when downloading.");
    EXPECT_FALSE(eraseAll->value().toBool());
    EXPECT_TRUE(t.setProperty("loaderEraseAll", true));
    EXPECT_TRUE(eraseAll->value().toBool());
    EXPECT_TRUE(t.eraseAllBeforeDownload());
    EXPECT_EQ(t.propertyDefinition("device_id")->displayName(), "Device Type");
    EXPECT_EQ(t.propertyDefinition("objectName"), nullptr);
}

TEST(TargetInterface, FormatsAddressesWithAtLeastFourDigits)
{
    BareTarget t(0);
    EXPECT_EQ(t.formatAddress(0x1f), "001f");
    EXPECT_EQ(t.formatAddress(0x1fffe), "1fffe");
}

TEST(TargetRegistry, NamesAreCaseSensitive)
{
    MSP430TargetInterfaceFactory &f = targetInterfaceFactory();
    EXPECT_EQ(f.classForShortName("sim"), "MSP430Monitor");
    EXPECT_EQ(f.classForShortName("SIM"), "");
    EXPECT_EQ(f.classForShortName("msp430_dll"), "MSP430TargetInterface");
    EXPECT_EQ(f.create("msp430monitor", nullptr), nullptr);
    EXPECT_EQ(f.create("NoSuchTarget", nullptr), nullptr);
    ASSERT_EQ(f.entries().size(), 4);
    EXPECT_STREQ(f.entries().at(1).shortName, "fet");
    EXPECT_STREQ(f.entries().at(2).description, "MSP430 USB Vexlink");
}

TEST(TargetRegistry, RegisteredCreatorsConstructOnlyListedClasses)
{
    TargetInterfaceFactory::Creator creator = [](QObject *parent) -> TargetInterface * {
        auto *t = new BareTarget(0);
        t->setParent(parent);
        return t;
    };
    MSP430TargetInterfaceFactory f;
    f.registerCreator("MSP430USBVexlinkTargetInterface", creator);
    f.registerCreator("Unlisted", creator);
    std::unique_ptr<TargetInterface> t(f.create("MSP430USBVexlinkTargetInterface", nullptr));
    EXPECT_NE(t, nullptr);
    EXPECT_EQ(f.create("Unlisted", nullptr), nullptr);
    EXPECT_EQ(f.create("MSP430Monitor", nullptr), nullptr); // listed, but nobody registered it here
}

TEST(TargetMemoryInterface, VerifyReadsInBlocksOf1024)
{
    RecordingMemory m;
    std::vector<uint8_t> expected(3000, 0);
    EXPECT_TRUE(m.verifyBytes(0x100, 3000, expected.data()));
    using P = std::pair<uint32_t, uint32_t>;
    EXPECT_THAT(m.reads, testing::ElementsAre(P{0x100, 1024}, P{0x500, 1024}, P{0x900, 952}));

    m.reads.clear();
    expected[1500] = 1;
    EXPECT_FALSE(m.verifyBytes(0x100, 3000, expected.data()));
    EXPECT_EQ(m.reads.size(), 2u); // stops at the block holding the difference
    EXPECT_TRUE(m.verifyBytes(0, 0, nullptr));
}

TEST(TargetMemoryInterface, FillWritesBlocksOf256)
{
    RecordingMemory m;
    m.fillBytes(0x200, 600, 0xAB);
    using P = std::pair<uint32_t, uint32_t>;
    EXPECT_THAT(m.writes, testing::ElementsAre(P{0x200, 256}, P{0x300, 256}, P{0x400, 88}));
    EXPECT_EQ(m.bytes[0x200 + 599], 0xAB);
    EXPECT_EQ(m.bytes[0x200 + 600], 0);
}

TEST(TargetMemoryInterface, WordsFollowTheTargetByteOrder)
{
    RecordingMemory little(false), big(true);
    little.pokeUint16(0x10, 0x1234);
    big.pokeUint16(0x10, 0x1234);
    EXPECT_EQ(little.bytes[0x10], 0x34);
    EXPECT_EQ(big.bytes[0x10], 0x12);
    EXPECT_EQ(little.peekUint16(0x10), 0x1234);
    EXPECT_EQ(big.peekUint16(0x10), 0x1234);

    little.pokeUint32(0x20, 0xA1B2C3D4);
    EXPECT_EQ(little.bytes[0x20], 0xD4);
    EXPECT_EQ(little.peekSized(0x20, 4), 0xA1B2C3D4u);
    EXPECT_EQ(little.peekWord(0x20), 0xC3D4u); // a natural word is 2 bytes here

    std::vector<uint16_t> words(300);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = uint16_t(i * 3);
    little.writes.clear();
    little.pokeMultUint16(0x1000, 300, words.data());
    EXPECT_EQ(little.writes.size(), 3u); // 128 words per 256-byte block
    std::vector<uint16_t> back(300);
    little.peekMultUint16(0x1000, 300, back.data());
    EXPECT_EQ(back, words);

    little.fillUint32(0x3000, 70, 0x01020304);
    EXPECT_EQ(little.peekUint32(0x3000 + 69 * 4), 0x01020304u);
    EXPECT_EQ(little.peekByte(0x3000 + 70 * 4), 0);
}

TEST(TargetMemoryInterface, BaseVersionsOfTheRest)
{
    RecordingMemory m;
    uint32_t start = 0, length = 0;
    m.eraseRange(0x1234, 10, start, length);
    EXPECT_EQ(start, 0x1234u);
    EXPECT_EQ(length, 10u);
    EXPECT_EQ(m.maxWriteBlock(), -1);
    EXPECT_EQ(m.eraseSegmentSize(), -1);
    EXPECT_EQ(m.addressDisplayWidth(), 4);
    EXPECT_FALSE(m.isErasable());

    EXPECT_TRUE(m.memoryMap().isEmpty());
    m.addMemoryRange(0x1100, 0xFFFF);
    m.addMemoryRange(0x0200, 0x09FF);
    EXPECT_EQ(m.memoryMap().first().first, 0x0200u);
    EXPECT_TRUE(m.isValidRange(0x0200, 0x800));
    EXPECT_FALSE(m.isValidRange(0x0200, 0x801));
    EXPECT_FALSE(m.isValidRange(0x09FF, 0x800)); // spans a gap between ranges
    EXPECT_TRUE(m.isValidRange(0xFFFF, 1));
}

} // namespace
