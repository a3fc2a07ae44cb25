// The USB Vexlink target end to end on the program's fake clock: through the device shim's
// simulated adapters, loaded in this process as the program loads it.
#include "common/hexception.h"
#include "fakes/fakeclock.h"
#include "fakes/testenvironment.h"
#include "msp430/msp430usbvexlinktargetinterface.h"
#include "target/targetinterface.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

using zim::msp430::MSP430USBVexlinkTargetInterface;

namespace {

struct UsbVexlinkTarget : testing::Test
{
    zim::fakes::FakeClock clock;
    TestEnvironment environment;
    zim::msp430::MSP430DeviceLibrary library{environment.environmentMacros()};
    std::unique_ptr<zim::platform::DeviceAccess> access;
    std::unique_ptr<zim::target::TargetInterface> target;
    QTemporaryDir dir;

    void make(const QByteArray &settings)
    {
        environment.setClock(&clock);
        const QByteArray all = settings + ";log=" + dir.filePath(QStringLiteral("shim.log")).toUtf8();
        ::setenv("ZIM_FAKE_HW", all.constData(), 1);
        access = std::make_unique<zim::platform::DeviceAccess>(
            QStringLiteral(ZIM_BINARY_DIR "/tests/fakes/hwshim/libzimhwshim.so"));
        ::unsetenv("ZIM_FAKE_HW");
        environment.setDeviceAccess(access.get());
        target = zim::msp430::usbVexlinkTarget(environment, library).create();
    }
    MSP430USBVexlinkTargetInterface &port()
    {
        return static_cast<MSP430USBVexlinkTargetInterface &>(target->port());
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
    QByteArray log()
    {
        QFile file(dir.filePath(QStringLiteral("shim.log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void TearDown() override
    {
        target.reset();
        environment.setDeviceAccess(nullptr);
    }
};

TEST_F(UsbVexlinkTarget, ConnectsNamesTheAdapterAndRefusesASecondConnect)
{
    make("usb=1:A1B2:MSP430F149");
    ASSERT_EQ(connectError(), QString());
    EXPECT_EQ(port().connectedSerialNumber(), QStringLiteral("A1B2"));
    EXPECT_EQ(port().devicePath(), QStringLiteral("1-2"));
    EXPECT_EQ(port().operatingVoltage(), QStringLiteral("3.30 V"));
    EXPECT_EQ(connectError(), QStringLiteral("Target interface already connected."));
    target->disconnect();
    EXPECT_EQ(port().connectedSerialNumber(), QString());
}

TEST_F(UsbVexlinkTarget, TheSerialNumberAskedForPicksTheSecondAdapter)
{
    make("usb=1:A1B2:MSP430F149,2:C3D4:MSP430F149");
    port().setConnectToSerialNumber(QStringLiteral("C3D4"));
    ASSERT_EQ(connectError(), QString());
    EXPECT_EQ(port().connectedSerialNumber(), QStringLiteral("C3D4"));
    EXPECT_FALSE(log().contains("open 1-2"));
    target->disconnect();
}

TEST_F(UsbVexlinkTarget, ACablePulledWhileConnectingEndsWithoutRetriesOrPowerCycling)
{
    make("usb=1:A1B2:MSP430F149;unplug-after=5");
    EXPECT_TRUE(connectError().startsWith(QStringLiteral("Cannot connect to target.")));
    EXPECT_LT(clock.totalSlept(), 2000u);
}

TEST_F(UsbVexlinkTarget, AfterReleasedJtagSignalsTheAdapterIsOpenedAgainOrTheFailureSaysSo)
{
    make("usb=1:A1B2:MSP430F149");
    port().setReleaseJTAG(true);
    ASSERT_EQ(connectError(), QString());
    ASSERT_TRUE(target->go());
    // Released: the link is closed, and the adapter opens again for the next operation.
    uint8_t byte = 0;
    port().readBytes(0x0FF0, 1, &byte);
    EXPECT_EQ(byte, 0xF1);
    ASSERT_TRUE(target->go());

    // Meanwhile another program claims the adapter: the shim, installed again, starts a bus on
    // which it is busy.
    ::setenv("ZIM_FAKE_HW", "usb=1:A1B2:MSP430F149;busy=A1B2", 1);
    zim::platform::DeviceAccess again(QStringLiteral(ZIM_BINARY_DIR "/tests/fakes/hwshim/libzimhwshim.so"));
    ::unsetenv("ZIM_FAKE_HW");
    try {
        port().readBytes(0x0FF0, 1, &byte);
        ADD_FAILURE() << "read without an adapter";
    } catch (const zim::common::HException &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot reconnect to target interface."));
    }
}

} // namespace
