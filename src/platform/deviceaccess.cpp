// The real device calls, the USB library loaded on demand and the optional device shim.
#include "platform/deviceaccess.h"

#include "common/hexception.h"

#include <QList>
#include <type_traits>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace zim::platform {

namespace {

// The C library declares open and ioctl with variable arguments; the table's fixed
// signatures need these small adapters.
int realOpen(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

int realIoctl(int fd, unsigned long request, void *argument)
{
    return ::ioctl(fd, request, argument);
}

ZimDeviceCalls realCalls()
{
    ZimDeviceCalls calls = {};
    calls.version = ZIM_DEVICE_CALLS_VERSION;
    calls.size = sizeof(ZimDeviceCalls);
    calls.open = realOpen;
    calls.ioctl = realIoctl;
    calls.read = ::read;
    calls.write = ::write;
    calls.close = ::close;
    return calls;
}

// The table's USB members must have exactly the types that libusb.h declares.
#define ZIM_X(ret, name, params, args) \
    static_assert(std::is_same_v<decltype(ZimDeviceCalls::name), decltype(&::name)>, #name " does not match libusb.h");
ZIM_USB_CALLS(ZIM_X)
#undef ZIM_X

QString quoted(const QString &path)
{
    return QStringLiteral("\u201c") + path + QStringLiteral("\u201d");
}

} // namespace

QStringList DeviceAccess::usbLibraryCandidates()
{
    return {QStringLiteral("libusb-1.0.so.0"), QStringLiteral("libusb-1.0.so")};
}

DeviceAccess::DeviceAccess(const QString &shimPath) : m_real(realCalls()), m_table(m_real)
{
    if (shimPath.isEmpty())
        return;
    const QByteArray install = ZIM_DEVICE_SHIM_INSTALL;
    LibraryLoadResult loaded = loadLibrary({shimPath}, {{install}, {}});
    if (!loaded.library)
        throw common::HException(QStringLiteral("cannot load device shim ") + loaded.failures.value(0).text());
    char error[512] = {};
    ZimDeviceCalls replacement = m_real;
    if (loaded.library->function<ZimDeviceShimInstall>(install)(&m_real, &replacement, error, sizeof error) != 0) {
        error[sizeof error - 1] = '\0';
        throw common::HException(QStringLiteral("device shim ") + quoted(shimPath)
                                 + QStringLiteral(" failed to install: ") + QString::fromUtf8(error));
    }
    m_table = replacement;
    m_shim = std::move(loaded.library);
}

std::unique_ptr<DeviceAccess> DeviceAccess::fromEnvironment()
{
    const QString shimPath = qEnvironmentVariable(kShimVariable);
    if (shimPath.isEmpty())
        return nullptr;
    return std::make_unique<DeviceAccess>(shimPath);
}

DeviceAccess::~DeviceAccess() = default;

const ZimDeviceCalls &DeviceAccess::usbCalls()
{
    if (m_usb)
        return m_table;
    LibrarySymbols symbols;
#define ZIM_X(ret, name, params, args) symbols.required.append(QByteArrayLiteral(#name));
    ZIM_USB_CALLS(ZIM_X)
#undef ZIM_X
    LibraryLoadResult loaded = loadLibrary(usbLibraryCandidates(), symbols);
    if (!loaded.library)
        throw common::HException(QStringLiteral("cannot load the USB library:\n") + loaded.failureText());
    m_usb = std::move(loaded.library);
    // A shim reads the real table at call time; entries it left alone take the real ones.
#define ZIM_X(ret, name, params, args)                           \
    m_real.name = m_usb->function<decltype(m_real.name)>(#name); \
    if (!m_table.name)                                           \
        m_table.name = m_real.name;
    ZIM_USB_CALLS(ZIM_X)
#undef ZIM_X
    return m_table;
}

} // namespace zim::platform
