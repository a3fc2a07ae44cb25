// The USB side of an adapter built around an FTDI-style interface chip: the bus list with each
// device's position and serial number, and the bulk data link to one device (claimed with the
// kernel driver detached, latency timer and purge requests, 64-byte packets whose two status
// bytes are dropped). Every call goes through the device-call table and every wait is measured
// on the clock it is given.
#pragma once

#include "platform/clock.h"
#include "platform/devicecalls.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <vector>

namespace zim::platform {

// One device of the bus list.
struct UsbDeviceEntry
{
    libusb_device *device = nullptr;  // valid while the UsbBus that listed it lives
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    QString position;                  // bus and port path as the system names it: "1-2.3"
    QString serial;                    // empty when the device has none or it cannot be read
};

class UsbBus
{
public:
    // Throws HException "cannot start the USB library: NAME" when the library refuses.
    explicit UsbBus(const ZimDeviceCalls &calls);
    ~UsbBus();
    UsbBus(const UsbBus &) = delete;
    UsbBus &operator=(const UsbBus &) = delete;

    // The devices whose identifiers match (-1 matches any), in the library's order. The serial
    // number is read from the system's device tree, so no device is opened for the list.
    QList<UsbDeviceEntry> devices(int vendorId, int productId);

private:
    QString readSerial(const QString &position) const;

    const ZimDeviceCalls &m_calls;
    libusb_context *m_context = nullptr;
    libusb_device **m_list = nullptr;
};

class UsbLink
{
public:
    static constexpr int kPacketSize = 64;
    static constexpr int kStatusBytes = 2;
    static constexpr unsigned kDefaultTimeoutMs = 1000;

    enum class OpenResult { Opened, NoPermission, InUse, Failed };

    UsbLink(const ZimDeviceCalls &calls, Clock &clock);
    ~UsbLink();
    UsbLink(const UsbLink &) = delete;
    UsbLink &operator=(const UsbLink &) = delete;

    // Opens and claims device and prepares the chip; anything but Opened leaves the link
    // closed with the reason in error().
    OpenResult open(libusb_device *device);
    void close();
    bool isOpen() const { return m_handle != nullptr; }
    // The device left the bus: every later transfer fails at once instead of waiting.
    bool isGone() const { return m_gone; }

    // Up to count data bytes: what the last packet left over first, then packets until count
    // bytes are in or the time-out has passed since the call began. Returns the bytes
    // obtained, or -1 with error() set.
    int read(uint8_t *buffer, int count);
    // One bulk transfer; the bytes written, or -1 with error() set.
    int write(const uint8_t *data, int count);
    // Empties both directions of the chip and the leftover data.
    bool purge();
    void setTimeout(unsigned ms) { m_timeoutMs = ms; }
    unsigned timeout() const { return m_timeoutMs; }
    const QString &error() const { return m_error; }

    struct Counters
    {
        uint64_t writes = 0;       // bulk OUT transfers
        uint64_t bytesWritten = 0;
        uint64_t packetsRead = 0;  // bulk IN packets, status-only ones included
    };
    const Counters &counters() const { return m_counters; }

private:
    bool fail(const char *text, int code);
    bool control(uint8_t request, uint16_t value, const char *failure);
    void clearStall(unsigned char endpoint, int result);

    const ZimDeviceCalls &m_calls;
    Clock &m_clock;
    libusb_device_handle *m_handle = nullptr;
    bool m_claimed = false;
    bool m_gone = false;
    unsigned m_timeoutMs = kDefaultTimeoutMs;
    std::vector<uint8_t> m_leftover;
    QString m_error;
    Counters m_counters;
};

} // namespace zim::platform
