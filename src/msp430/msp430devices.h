// The MSP430 device database: the object handed out by the msp430devices library, the
// acquire/release that loads that library once per program state and shares the object, and
// the identify strings of the "Target" property group.
#pragma once

#include "msp430/msp430devicedatabase.h"
#include "platform/libraryloader.h"
#include "project/macros.h"
#include "project/propertygroups.h"

#include <QString>
#include <QStringList>
#include <memory>


// The msp430devices library while somebody uses it: loaded by the first acquire(), unloaded
// by the release() that drops the last use. One per program, made where the program is
// composed and handed to whoever reads the database.
namespace zim::msp430 {

class MSP430DeviceLibrary
{
public:
    // macros give VeltDir, the installation the library is found in (not owned).
    explicit MSP430DeviceLibrary(const project::MacroMap &macros);
    ~MSP430DeviceLibrary();
    MSP430DeviceLibrary(const MSP430DeviceLibrary &) = delete;
    MSP430DeviceLibrary &operator=(const MSP430DeviceLibrary &) = delete;

    // The device database, loading "$(VeltDir)/bin/msp430devices" on first use. Every
    // successful call must be matched by one release(). Throws HException when the library
    // cannot be loaded or lacks AllocateMSP430Devices; nothing stays loaded then.
    MSP430DeviceDatabase *acquire();
    // Drops one use; the last one lets the library free the object and unloads the library.
    void release();
    int users() const { return m_users; }

private:
    // The library file as this platform names it, so that a message points at the real file.
    QString libraryFilePath() const;

    const project::MacroMap &m_macros;
    std::unique_ptr<platform::LoadedLibrary> m_library;
    MSP430DeviceDatabase *m_devices = nullptr;
    int m_users = 0;
};

// Holds one use of the device database for the lifetime of the guard.
class MSP430DevicesGuard
{
public:
    explicit MSP430DevicesGuard(MSP430DeviceLibrary &library) : m_library(library), m_devices(m_library.acquire())
    {
    }
    ~MSP430DevicesGuard() { m_library.release(); }
    MSP430DevicesGuard(const MSP430DevicesGuard &) = delete;
    MSP430DevicesGuard &operator=(const MSP430DevicesGuard &) = delete;

    MSP430DeviceDatabase *operator->() const { return m_devices; }
    MSP430DeviceDatabase *devices() const { return m_devices; }

private:
    MSP430DeviceLibrary &m_library;
    MSP430DeviceDatabase *m_devices;
};

// The index of the first record whose name equals name, or -1 (also for a null database).
int findMSP430Device(MSP430DeviceDatabase *devices, const QString &name);

// The identify strings of a device: its "msp430_identify_string" in the "Target" property
// group of groups, split on ";", empty parts dropped. Empty when the group, entry or
// attribute is missing.
QStringList msp430IdentifyStrings(const project::PropertyGroups &groups, const QString &deviceName);

// The first identify string of the device, or an empty text.
QString msp430IdentifyString(const project::PropertyGroups &groups, const QString &deviceName);

// True when detectedDeviceType equals one of the identify strings of the device.
bool msp430DeviceMatches(const project::PropertyGroups &groups, const QString &deviceName, const QString &detectedDeviceType);

} // namespace zim::msp430
