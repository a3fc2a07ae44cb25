// The USB bus list and the bulk data link of an FTDI-style adapter, over the device-call table.
#include "platform/usblink.h"

#include "common/hexception.h"

#include <algorithm>
#include <fcntl.h>

namespace zim::platform {

namespace {

constexpr int kInterface = 0;
constexpr unsigned char kEndpointIn = 0x81;
constexpr unsigned char kEndpointOut = 0x02;
// Vendor requests of the chip, addressed to its first port.
constexpr uint8_t kVendorOut = uint8_t(LIBUSB_REQUEST_TYPE_VENDOR) | uint8_t(LIBUSB_RECIPIENT_DEVICE)
                               | uint8_t(LIBUSB_ENDPOINT_OUT);
constexpr uint8_t kRequestReset = 0;
constexpr uint8_t kRequestLatency = 9;
constexpr uint16_t kPort = 1;
constexpr uint16_t kPurgeRx = 1, kPurgeTx = 2;
constexpr unsigned kControlTimeoutMs = 1000;
constexpr int kMaxPorts = 7;

} // namespace

UsbBus::UsbBus(const ZimDeviceCalls &calls) : m_calls(calls)
{
    const int result = m_calls.libusb_init(&m_context);
    if (result != 0)
        throw common::HException(QStringLiteral("cannot start the USB library: ")
                                 + QString::fromUtf8(m_calls.libusb_error_name(result)));
}

UsbBus::~UsbBus()
{
    if (m_list)
        m_calls.libusb_free_device_list(m_list, 1);
    m_calls.libusb_exit(m_context);
}

QList<UsbDeviceEntry> UsbBus::devices(int vendorId, int productId)
{
    if (m_list) {
        m_calls.libusb_free_device_list(m_list, 1);
        m_list = nullptr;
    }
    QList<UsbDeviceEntry> found;
    const ssize_t count = m_calls.libusb_get_device_list(m_context, &m_list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor = {};
        if (m_calls.libusb_get_device_descriptor(m_list[i], &descriptor) != 0)
            continue;
        if ((vendorId >= 0 && descriptor.idVendor != vendorId) || (productId >= 0 && descriptor.idProduct != productId))
            continue;
        UsbDeviceEntry entry;
        entry.device = m_list[i];
        entry.vendorId = descriptor.idVendor;
        entry.productId = descriptor.idProduct;
        uint8_t ports[kMaxPorts] = {};
        const int depth = m_calls.libusb_get_port_numbers(m_list[i], ports, kMaxPorts);
        entry.position = QString::number(m_calls.libusb_get_bus_number(m_list[i]));
        for (int p = 0; p < depth; ++p)
            entry.position += (p ? QLatin1Char('.') : QLatin1Char('-')) + QString::number(ports[p]);
        if (depth > 0)
            entry.serial = readSerial(entry.position);
        found.append(entry);
    }
    return found;
}

QString UsbBus::readSerial(const QString &position) const
{
    const QByteArray path = "/sys/bus/usb/devices/" + position.toLatin1() + "/serial";
    const int fd = m_calls.open(path.constData(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return QString();
    char text[128];
    const ssize_t got = m_calls.read(fd, text, sizeof text);
    m_calls.close(fd);
    if (got <= 0)
        return QString();
    return QString::fromLatin1(text, int(got)).trimmed();
}

UsbLink::UsbLink(const ZimDeviceCalls &calls, Clock &clock) : m_calls(calls), m_clock(clock) {}

UsbLink::~UsbLink()
{
    close();
}

bool UsbLink::fail(const char *text, int code)
{
    if (code == LIBUSB_ERROR_NO_DEVICE)
        m_gone = true;
    m_error = QString::fromLatin1(text);
    return false;
}

bool UsbLink::control(uint8_t request, uint16_t value, const char *failure)
{
    const int result =
        m_calls.libusb_control_transfer(m_handle, kVendorOut, request, value, kPort, nullptr, 0, kControlTimeoutMs);
    return result >= 0 || fail(failure, result);
}

void UsbLink::clearStall(unsigned char endpoint, int result)
{
    // A stalled endpoint refuses every transfer until it is cleared; the failure is reported
    // all the same, and the next operation finds the pipe usable.
    if (result == LIBUSB_ERROR_PIPE)
        m_calls.libusb_clear_halt(m_handle, endpoint);
}

UsbLink::OpenResult UsbLink::open(libusb_device *device)
{
    close();
    m_gone = false;
    m_error.clear();
    const int opened = m_calls.libusb_open(device, &m_handle);
    if (opened != 0) {
        m_handle = nullptr;
        fail("cannot open device driver", opened);
        return opened == LIBUSB_ERROR_ACCESS ? OpenResult::NoPermission : OpenResult::Failed;
    }
    // Not every system can detach a kernel driver; claiming tells whether one is in the way.
    m_calls.libusb_set_auto_detach_kernel_driver(m_handle, 1);
    const int claimed = m_calls.libusb_claim_interface(m_handle, kInterface);
    if (claimed != 0) {
        const OpenResult result = claimed == LIBUSB_ERROR_BUSY ? OpenResult::InUse : OpenResult::Failed;
        fail(result == OpenResult::InUse ? "device already in use" : "cannot open device driver", claimed);
        close();
        return result;
    }
    m_claimed = true;
    int halt = m_calls.libusb_clear_halt(m_handle, kEndpointIn);
    if (halt == 0)
        halt = m_calls.libusb_clear_halt(m_handle, kEndpointOut);
    const bool ready = (halt == 0 || fail("Cannot set reset on pipe", halt))
                       && control(kRequestLatency, 1, "Cannot set latency timer") && purge();
    if (!ready) {
        const QString reason = m_error;
        close();
        m_error = reason;
        return OpenResult::Failed;
    }
    return OpenResult::Opened;
}

void UsbLink::close()
{
    if (!m_handle)
        return;
    if (m_claimed)
        m_calls.libusb_release_interface(m_handle, kInterface);
    m_claimed = false;
    m_calls.libusb_close(m_handle);
    m_handle = nullptr;
    m_leftover.clear();
}

bool UsbLink::purge()
{
    m_leftover.clear();
    if (!m_handle || m_gone)
        return fail("cannot purge RX", LIBUSB_ERROR_NO_DEVICE);
    return control(kRequestReset, kPurgeRx, "cannot purge RX") && control(kRequestReset, kPurgeTx, "cannot purge TX");
}

int UsbLink::read(uint8_t *buffer, int count)
{
    int got = std::min<int>(count, int(m_leftover.size()));
    std::copy_n(m_leftover.begin(), got, buffer);
    m_leftover.erase(m_leftover.begin(), m_leftover.begin() + got);
    if (got == count)
        return got;
    if (!m_handle || m_gone) {
        fail("read operation failed (GetOverlappedResult)", LIBUSB_ERROR_NO_DEVICE);
        return -1;
    }
    const uint64_t start = m_clock.ticks();
    uint8_t packet[kPacketSize];
    while (got < count && m_clock.ticks() - start < m_timeoutMs) {
        int transferred = 0;
        const int result =
            m_calls.libusb_bulk_transfer(m_handle, kEndpointIn, packet, kPacketSize, &transferred, m_timeoutMs);
        if (result == LIBUSB_ERROR_TIMEOUT && transferred == 0) {
            fail("read operation timed out", result);
            return -1;
        }
        if (result != 0 && result != LIBUSB_ERROR_TIMEOUT) {
            clearStall(kEndpointIn, result);
            fail("read operation failed (GetOverlappedResult)", result);
            return -1;
        }
        ++m_counters.packetsRead;
        // The chip sends its two status bytes every latency period even with no data.
        if (transferred <= kStatusBytes)
            continue;
        const int data = transferred - kStatusBytes;
        const int used = std::min(data, count - got);
        std::copy_n(packet + kStatusBytes, used, buffer + got);
        got += used;
        m_leftover.insert(m_leftover.end(), packet + kStatusBytes + used, packet + transferred);
    }
    return got;
}

int UsbLink::write(const uint8_t *data, int count)
{
    if (!m_handle || m_gone) {
        fail("write operation failed", LIBUSB_ERROR_NO_DEVICE);
        return -1;
    }
    int transferred = 0;
    const int result = m_calls.libusb_bulk_transfer(m_handle, kEndpointOut, const_cast<uint8_t *>(data), count,
                                                    &transferred, m_timeoutMs);
    ++m_counters.writes;
    m_counters.bytesWritten += uint64_t(std::max(transferred, 0));
    if (result == LIBUSB_ERROR_TIMEOUT) {
        fail("write operation timed out", result);
        return -1;
    }
    if (result != 0) {
        clearStall(kEndpointOut, result);
        fail("write operation failed", result);
        return -1;
    }
    return transferred;
}

} // namespace zim::platform
