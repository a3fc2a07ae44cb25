// The MSP430 device database: the object handed out by the msp430devices library, and the
// program-wide acquire/release that loads that library once and shares the object.
#pragma once

#include "msp430/msp430devicedatabase.h"

#include <QString>
#include <QStringList>

// Returns the program-wide device database, loading "$(VeltDir)/bin/msp430devices" on first
// use. Every successful call must be matched by one releaseMSP430Devices(). Throws HException
// when the library cannot be loaded or lacks AllocateMSP430Devices; nothing stays loaded then.
MSP430DeviceDatabase *acquireMSP430Devices();

// Drops one use; the last one lets the library free the object and unloads the library.
void releaseMSP430Devices();

// Holds one use of the device database for the lifetime of the guard.
class MSP430DevicesGuard
{
public:
    MSP430DevicesGuard() : m_devices(acquireMSP430Devices()) {}
    ~MSP430DevicesGuard() { releaseMSP430Devices(); }
    MSP430DevicesGuard(const MSP430DevicesGuard &) = delete;
    MSP430DevicesGuard &operator=(const MSP430DevicesGuard &) = delete;

    MSP430DeviceDatabase *operator->() const { return m_devices; }
    MSP430DeviceDatabase *devices() const { return m_devices; }

private:
    MSP430DeviceDatabase *m_devices;
};

// The index of the first record whose name equals name, or -1 (also for a null database).
int findMSP430Device(MSP430DeviceDatabase *devices, const QString &name);

// The identify strings of a device: its "msp430_identify_string" in the "Target" property
// group split on ";", empty parts dropped. Empty when the group, entry or attribute is missing.
QStringList msp430IdentifyStrings(const QString &deviceName);

// The first identify string of the device, or an empty text.
QString msp430IdentifyString(const QString &deviceName);

// True when detectedDeviceType equals one of the identify strings of the device.
bool msp430DeviceMatches(const QString &deviceName, const QString &detectedDeviceType);
