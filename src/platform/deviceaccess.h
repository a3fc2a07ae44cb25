// The way hardware targets reach device files and the USB library: one table of calls,
// the real ones unless a device shim named by ZIM_DEVICE_SHIM stands in between.
#pragma once

#include "platform/devicecalls.h"
#include "platform/libraryloader.h"

#include <QString>
#include <memory>

namespace zim::platform {

class DeviceAccess
{
public:
    // The environment variable that names a device shim library.
    static constexpr const char *kShimVariable = "ZIM_DEVICE_SHIM";
    // Candidates for the USB library, in the order tried.
    static QStringList usbLibraryCandidates();

    // shimPath empty: the real calls. Else loads that library and lets its install function
    // replace the calls; throws HException "cannot load device shim “PATH”: <reason>" or
    // "device shim “PATH” failed to install: <shim's text>".
    explicit DeviceAccess(const QString &shimPath = QString());
    // As above with the shim that ZIM_DEVICE_SHIM names; null when that is unset or empty.
    static std::unique_ptr<DeviceAccess> fromEnvironment();
    ~DeviceAccess();

    DeviceAccess(const DeviceAccess &) = delete;
    DeviceAccess &operator=(const DeviceAccess &) = delete;

    // Empty when no shim is installed.
    QString shimPath() const { return m_shim ? m_shim->path() : QString(); }

    // The device-file calls; the USB entries are null until usbCalls() has loaded them.
    const ZimDeviceCalls &calls() const { return m_table; }
    // The whole table, loading the USB library on first use. Throws HException
    // "cannot load the USB library:" followed by one line per candidate tried.
    const ZimDeviceCalls &usbCalls();

private:
    ZimDeviceCalls m_real;   // what a shim forwards to; must keep its address
    ZimDeviceCalls m_table;  // what the program calls
    std::unique_ptr<LoadedLibrary> m_usb;
    std::unique_ptr<LoadedLibrary> m_shim;  // destroyed first: it may hold pointers into m_usb
};

} // namespace zim::platform
