// The device-call table with and without the device shim, and the shim's own settings.
#include "common/hexception.h"
#include "platform/deviceaccess.h"

#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

namespace {

using zim::platform::DeviceAccess;

const QString kShim = QStringLiteral(ZIM_HWSHIM);

// Sets ZIM_FAKE_HW for one test.
class FakeHwSettings
{
public:
    explicit FakeHwSettings(const QString &value) { ::setenv("ZIM_FAKE_HW", value.toUtf8().constData(), 1); }
    ~FakeHwSettings() { ::unsetenv("ZIM_FAKE_HW"); }
};

QString failureOf(const QString &shimPath)
{
    try {
        DeviceAccess access(shimPath);
    } catch (const zim::common::HException &e) {
        return e.message();
    }
    return QStringLiteral("(no failure)");
}

// Writes through the table's device-file calls to /dev/null.
void writeToNull(const ZimDeviceCalls &calls)
{
    const int fd = calls.open("/dev/null", O_WRONLY, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(calls.write(fd, "abc", 3), 3);
    EXPECT_EQ(calls.close(fd), 0);
}

TEST(DeviceAccess, WithoutShimTheRealCallsWork)
{
    DeviceAccess access;
    EXPECT_TRUE(access.shimPath().isEmpty());
    writeToNull(access.calls());
    EXPECT_EQ(access.calls().libusb_init, nullptr) << "the USB library is loaded only when asked for";
}

TEST(DeviceAccess, UsbLibraryIsLoadedOnDemand)
{
    DeviceAccess access;
    const ZimDeviceCalls *calls = nullptr;
    try {
        calls = &access.usbCalls();
    } catch (const zim::common::HException &e) {
        GTEST_SKIP() << "no USB library on this machine: " << e.what();
    }
    EXPECT_STREQ(calls->libusb_error_name(LIBUSB_ERROR_TIMEOUT), "LIBUSB_ERROR_TIMEOUT");
}

TEST(DeviceAccess, LibraryWithoutTheShimEntrySaysWhatItLacks)
{
    const QString notShim = QStringLiteral(ZIM_TEST_LIBS "/libzimtest_good.so");
    EXPECT_EQ(failureOf(notShim), QStringLiteral("cannot load device shim \u201c") + notShim
                                      + QStringLiteral("\u201d: missing symbol: zim_device_shim_install"));
}

TEST(DeviceAccess, ShimForwardsAndLogsEveryCall)
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("calls.log"));
    FakeHwSettings settings(QStringLiteral("log=") + log);
    {
        DeviceAccess access(kShim);
        EXPECT_EQ(access.shimPath(), kShim);
        writeToNull(access.calls());
        try {
            EXPECT_STREQ(access.usbCalls().libusb_error_name(LIBUSB_ERROR_IO), "LIBUSB_ERROR_IO");
        } catch (const zim::common::HException &e) {
            GTEST_SKIP() << "no USB library on this machine: " << e.what();
        }
    }
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines[0], "installed: ZIM_FAKE_HW=log=" + log.toUtf8());
    EXPECT_TRUE(lines[1].startsWith("open /dev/null flags=0x1 -> ")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith(" size=3 -> 3")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].endsWith(" -> 0")) << lines[3].toStdString();
    EXPECT_EQ(lines[4], "libusb_error_name -> LIBUSB_ERROR_IO");
}

TEST(DeviceAccess, ShimRefusesSettingsItCannotUse)
{
    const QString prefix = QStringLiteral("device shim \u201c") + kShim + QStringLiteral("\u201d failed to install: ");
    {
        FakeHwSettings settings(QStringLiteral("log"));
        EXPECT_EQ(failureOf(kShim), prefix + QStringLiteral("setting \u201clog\u201d has no value (use key=value)"));
    }
    {
        FakeHwSettings settings(QStringLiteral("log=/nonexistent/dir/calls.log"));
        EXPECT_EQ(failureOf(kShim),
                  prefix + QStringLiteral("cannot open log \u201c/nonexistent/dir/calls.log\u201d: No such file or directory"));
    }
}

} // namespace
