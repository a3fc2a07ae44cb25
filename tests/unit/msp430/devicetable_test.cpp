// The generated device table as the msp430devices library answers it, against the device
// facts of TI's chip data, the msp430mcu memory maps and the datasheets.
#include "msp430/msp430devices.h"

#include "fakes/testenvironment.h"

#include <gtest/gtest.h>

#include <QSet>

#include <array>

namespace {

class RealDevicesTest : public testing::Test
{
protected:
    TestEnvironment m_state;
    zim::msp430::MSP430DeviceLibrary m_library{m_state.environmentMacros()};
    zim::msp430::MSP430DevicesGuard m_guard{m_library};
    zim::msp430::MSP430DeviceDatabase *m_devices = m_guard.devices();
};

struct ExpectedDevice
{
    const char *name;
    unsigned ramStart, ramEnd, ram2Start, ram2End;
    unsigned infoStart, infoEnd, infoSegmentSize;
    unsigned flashStart, flashEnd;
    bool extended;
    // Bytes at 0x0FF0 0x0FF1 0x0FF2 0x0FF3 0x0FF8 0x0FF9 0x0FFD, fuse value and mask.
    std::array<int, 9> pattern;
};

void PrintTo(const ExpectedDevice &d, std::ostream *os)
{
    *os << d.name;
}

class DeviceTableCases : public RealDevicesTest, public testing::WithParamInterface<ExpectedDevice>
{};

TEST_P(DeviceTableCases, AnswersTheDevicesMemoryAndIdentification)
{
    const ExpectedDevice &d = GetParam();
    const int index = zim::msp430::findMSP430Device(m_devices, QString::fromLatin1(d.name));
    ASSERT_GE(index, 0);
    m_devices->select(index);
    EXPECT_STREQ(m_devices->selectedName(), d.name);
    EXPECT_EQ(m_devices->ramStart(), d.ramStart);
    EXPECT_EQ(m_devices->ramEnd(), d.ramEnd);
    EXPECT_EQ(m_devices->ram2Start(), d.ram2Start);
    EXPECT_EQ(m_devices->ram2End(), d.ram2End);
    EXPECT_EQ(m_devices->infoStart(), d.infoStart);
    EXPECT_EQ(m_devices->infoEnd(), d.infoEnd);
    EXPECT_EQ(m_devices->infoSegmentSize(), d.infoSegmentSize);
    EXPECT_EQ(m_devices->flashStart(), d.flashStart);
    EXPECT_EQ(m_devices->flashEnd(), d.flashEnd);
    EXPECT_EQ(m_devices->hasExtendedMemory(), d.extended);

    std::array<int, 9> pattern{};
    m_devices->identificationPattern(index, pattern.data());
    EXPECT_EQ(pattern, d.pattern);
}

constexpr int X = -1;

// Device IDs as the parts store them at 0x0FF0 (low byte first) or in the device descriptor
// (CPUXv2 parts); memory maps from the datasheets' memory organisation tables.
INSTANTIATE_TEST_SUITE_P(
    Devices, DeviceTableCases,
    testing::Values(
        // F149: 60 KB flash, 2 KB RAM, two 128-byte information segments; ID F149h, fuses compared.
        ExpectedDevice{"MSP430F149", 0x0200, 0x09FF, 0, 0, 0x1000, 0x10FF, 128, 0x1100, 0xFFFF, false,
                       {0xF1, 0x49, X, X, X, X, X, 0x00, 0x0F}},
        // F1611: 10 KB RAM at 1100h whose first 2 KB also answer at 0200h.
        ExpectedDevice{"MSP430F1611", 0x0200, 0x09FF, 0x1100, 0x38FF, 0x1000, 0x10FF, 128, 0x4000, 0xFFFF, false,
                       {0xF1, 0x6C, X, X, X, X, X, 0x00, 0x07}},
        ExpectedDevice{"MSP430F2274", 0x0200, 0x05FF, 0, 0, 0x1000, 0x10FF, 64, 0x8000, 0xFFFF, false,
                       {0xF2, 0x27, X, X, X, X, X, 0x00, 0x07}},
        ExpectedDevice{"MSP430G2553", 0x0200, 0x03FF, 0, 0, 0x1000, 0x10FF, 64, 0xC000, 0xFFFF, false,
                       {0x25, 0x53, X, X, X, X, X, X, 0x00}},
        ExpectedDevice{"MSP430F449", 0x0200, 0x09FF, 0, 0, 0x1000, 0x10FF, 128, 0x1100, 0xFFFF, false,
                       {0xF4, 0x49, X, X, X, X, 0x00, 0x00, 0x0F}},
        // F5438A: 256 KB flash up to 45BFFh, 16 KB RAM, four 128-byte information segments.
        ExpectedDevice{"MSP430F5438A", 0x1C00, 0x5BFF, 0, 0, 0x1800, 0x19FF, 128, 0x5C00, 0x45BFF, true,
                       {0x05, 0x80, X, X, 0x00, 0x00, X, X, 0x00}},
        ExpectedDevice{"CC430F6137", 0x1C00, 0x2BFF, 0, 0, 0x1800, 0x19FF, 128, 0x8000, 0xFFFF, false,
                       {0x61, 0x37, X, X, 0x00, 0x00, X, X, 0x00}},
        // FR5969: 64 KB FRAM from 4400h to 13FFFh; the identification includes revision 21h.
        ExpectedDevice{"MSP430FR5969", 0x1C00, 0x23FF, 0, 0, 0x1800, 0x19FF, 128, 0x4400, 0x13FFF, true,
                       {0x69, 0x81, 0x21, X, 0x00, 0x00, X, X, 0x00}}));

TEST_F(RealDevicesTest, HoldsEveryDeviceOnceWithSoundLimits)
{
    const int count = m_devices->count();
    EXPECT_GE(count, 350);
    QSet<QByteArray> names;
    for (int i = 0; i < count; ++i) {
        const QByteArray name = m_devices->name(i);
        SCOPED_TRACE(name.constData());
        EXPECT_FALSE(names.contains(name));
        names.insert(name);
        m_devices->select(i);
        EXPECT_LE(m_devices->ramStart(), m_devices->ramEnd());
        EXPECT_LE(m_devices->infoStart(), m_devices->infoEnd());
        EXPECT_LT(m_devices->flashStart(), m_devices->flashEnd());
        EXPECT_TRUE(m_devices->infoSegmentSize() == 64 || m_devices->infoSegmentSize() == 128);
        EXPECT_EQ(m_devices->hasExtendedMemory(), m_devices->flashEnd() > 0xFFFF);
    }
}

} // namespace
