// Device limits at connection: the project's device is looked up through its identify strings in
// the device database, and the memory map follows it.
#include "simulatortestutil.h"

#include "project/macros.h"
#include "project/propertygroups.h"

namespace {

class DeviceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        zim::project::PropertyGroup target{QStringLiteral("Target"), {}};
        // A project device whose identify strings name an unknown part first, then real ones.
        target.entries.append({QStringLiteral("Board A"),
                               {{QStringLiteral("msp430_identify_string"), QStringLiteral("NOPE430;MSP430F1611")}}});
        target.entries.append({QStringLiteral("Board X"),
                               {{QStringLiteral("msp430_identify_string"), QStringLiteral("MSP430F2617")}}});
        m_state.propertyGroups().addGroup(target);
    }

    // A simulator of the device that the state names.
    std::unique_ptr<zim::simulator::MSP430Monitor> simulatorFor(const QString &device)
    {
        m_state.setSelectedDevice(device);
        return std::make_unique<zim::simulator::MSP430Monitor>(m_state, m_devices);
    }

    TestEnvironment m_state;
    zim::msp430::MSP430DeviceLibrary m_devices{m_state.environmentMacros()};
};

TEST_F(DeviceTest, LimitsComeFromTheFirstKnownIdentifyString)
{
    auto simulator = simulatorFor(QStringLiteral("Board A"));
    zim::simulator::MSP430Monitor &sim = *simulator;
    sim.connect();
    EXPECT_EQ(sim.deviceType(), QStringLiteral("MSP430F1611"));
    // The upper RAM is the device's second RAM range; the lower one mirrors part of it.
    const QList<zim::target::AddressRange> expected = {{0x0000, 0x01FF}, {0x0200, 0x09FF}, {0x1000, 0x10FF}, {0x1100, 0x38FF},
                                          {0x4000, 0xFFFF}};
    EXPECT_EQ(sim.simulatedMemory()->memoryMap(), expected);
    EXPECT_FALSE(sim.simulatedMemory()->inRange(0x0A00, 1));
    EXPECT_TRUE(sim.simulatedMemory()->inRange(0x38FE, 2));
    EXPECT_FALSE(sim.simulatedMemory()->inRange(0x38FF, 2));
}

TEST_F(DeviceTest, ExtendedDeviceGetsTwentyBitRegistersAndFiveDigitAddresses)
{
    auto simulator = simulatorFor(QStringLiteral("Board X"));
    zim::simulator::MSP430Monitor &sim = *simulator;
    sim.connect();
    EXPECT_TRUE(sim.cpuRegisters()->isCpuX());
    EXPECT_EQ(sim.cpuRegisters()->size(0), 3);
    EXPECT_EQ(sim.simulatedMemory()->addressDisplayWidth(), 5);
}

} // namespace
