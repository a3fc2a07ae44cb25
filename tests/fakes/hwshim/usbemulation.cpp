// The USB side of the device shim: simulated Vexlinks on a bus of their own, reached through
// the libusb entries of the device-call table (and their serial numbers through the system's
// device tree), with the faults a test switches on. Settings of ZIM_FAKE_HW:
//   usb=MODEL:SERIAL:DEVICE[,...]  the adapters, in bus order (for example 1:A1B2:MSP430F149); models
//                                  other than 1 and 2 are adapters of another kind (product 0x0100 + MODEL);
//                                  usb= alone is a bus with no adapter; it comes first, as it starts
//                                  a new bus
//   busy=SERIAL                    that adapter is claimed by another program
//   no-permission=SERIAL           opening that adapter is refused
//   unplug-after=N                 the adapters leave the bus after N bulk transfers
//   stall-after=N                  bulk transfer N+1 stalls, and every one after it until the halt is cleared
//   short-reply-after=N            the first reply after N bulk transfers comes back cut short
//   compare=FILE                   Intel hex file the FLASH is compared with when an adapter is closed
#include "hwshim.h"
#include "knownchips.h"
#include "usbadapter.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace zim::hwshim {
namespace {

constexpr const char kSysfs[] = "/sys/bus/usb/devices/";
constexpr int kFirstSerialFd = 0x40000000;
constexpr uint16_t kVendor = 0x0403;

struct Emulated
{
    std::unique_ptr<UsbAdapter> adapter;
    uint8_t port = 0;
    bool open = false;
    bool claimed = false;
};

struct UsbState
{
    bool active = false;  // usb= was given: the bus is emulated
    std::vector<Emulated> devices;
    std::set<std::string> busy, denied;
    uint64_t unplugAfter = 0, stallAfter = 0, shortReplyAfter = 0;
    bool shortReplyDone = false;
    bool stalled = false;  // until the program clears the halt
    uint64_t transfers = 0;
    bool unplugged = false;
    std::string compare;
    ZimDeviceCalls before = {};
    std::map<int, std::string> serialFiles;  // fake descriptor -> text still to read
    int nextFd = kFirstSerialFd;
    int context = 0;
};
UsbState usb;

bool parseCount(const std::string &value, uint64_t &count)
{
    char *end = nullptr;
    count = std::strtoull(value.c_str(), &end, 10);
    return !value.empty() && *end == '\0';
}

bool knownSerial(const std::string &serial)
{
    for (const Emulated &e : usb.devices)
        if (e.adapter->serial() == serial)
            return true;
    return false;
}

SettingResult addAdapters(const std::string &value, std::string &error)
{
    // A program may install the shim more than once (the unit tests do): usb= starts a new bus.
    usb = UsbState();
    usb.active = true;
    if (value.empty())
        return SettingResult::Taken;
    size_t start = 0;
    while (start <= value.size()) {
        const size_t end = std::min(value.find(',', start), value.size());
        const std::string item = value.substr(start, end - start);
        const size_t a = item.find(':'), b = item.find(':', a == std::string::npos ? a : a + 1);
        fakes::SimJtagChip chip;
        if (a == std::string::npos || b == std::string::npos || a != 1 || item[0] < '1' || item[0] > '9'
            || !knownChip(item.substr(b + 1), chip)) {
            error = "usb adapter \xe2\x80\x9c" + item
                    + "\xe2\x80\x9d is not MODEL:SERIAL:DEVICE with a model from 1 to 9 and a known device";
            return SettingResult::Refused;
        }
        Emulated e;
        e.adapter = std::make_unique<UsbAdapter>(item[0] - '0', item.substr(a + 1, b - a - 1), chip);
        e.port = uint8_t(usb.devices.size() + 2);
        usb.devices.push_back(std::move(e));
        start = end + 1;
    }
    return SettingResult::Taken;
}

SettingResult apply(const std::string &key, const std::string &value, std::string &error)
{
    uint64_t *count = key == "unplug-after" ? &usb.unplugAfter
                      : key == "stall-after" ? &usb.stallAfter
                      : key == "short-reply-after" ? &usb.shortReplyAfter
                                                   : nullptr;
    if (count) {
        if (parseCount(value, *count))
            return SettingResult::Taken;
        error = key + " needs a number of transfers";
        return SettingResult::Refused;
    }
    if (key == "usb")
        return addAdapters(value, error);
    if (key == "busy")
        return knownSerial(value) && usb.busy.insert(value).second ? SettingResult::Taken : SettingResult::NotMine;
    if (key == "no-permission") {
        usb.denied.insert(value);
        return SettingResult::Taken;
    }
    if (key == "compare") {
        usb.compare = value;
        return SettingResult::Taken;
    }
    return SettingResult::NotMine;
}

Emulated &of(libusb_device *device)
{
    return *reinterpret_cast<Emulated *>(device);
}

Emulated &of(libusb_device_handle *handle)
{
    return *reinterpret_cast<Emulated *>(handle);
}

std::string position(const Emulated &e)
{
    return "1-" + std::to_string(e.port);
}

// Compares the chip's FLASH with the Intel hex file of compare=.
void compareFlash(Emulated &e)
{
    if (usb.compare.empty() || e.adapter->counters().outTransfers == 0)
        return;
    std::ifstream in(usb.compare);
    std::string line;
    uint32_t base = 0;
    uint64_t bytes = 0;
    while (std::getline(in, line)) {
        if (line.size() < 11 || line[0] != ':')
            continue;
        auto byteAt = [&line](size_t i) { return uint32_t(std::strtoul(line.substr(1 + 2 * i, 2).c_str(), nullptr, 16)); };
        const uint32_t count = byteAt(0), address = byteAt(1) << 8 | byteAt(2), type = byteAt(3);
        if (type == 4)
            base = (byteAt(4) << 8 | byteAt(5)) << 16;
        if (type != 0)
            continue;
        for (uint32_t i = 0; i < count; ++i, ++bytes) {
            const uint32_t at = base + address + i;
            if (e.adapter->chip().peek(at) != byteAt(4 + i)) {
                logLine("usb %s FLASH differs from %s at 0x%04x", e.adapter->serial().c_str(), usb.compare.c_str(),
                        unsigned(at));
                return;
            }
        }
    }
    logLine("usb %s FLASH holds the %" PRIu64 " bytes of %s", e.adapter->serial().c_str(), bytes,
            usb.compare.c_str());
}

int usbInit(libusb_context **context)
{
    if (context)
        *context = reinterpret_cast<libusb_context *>(&usb.context);
    return 0;
}

void usbExit(libusb_context *) {}

ssize_t usbDeviceList(libusb_context *, libusb_device ***list)
{
    auto **all = static_cast<libusb_device **>(std::calloc(usb.devices.size() + 1, sizeof(libusb_device *)));
    size_t n = 0;
    for (Emulated &e : usb.devices)
        if (!usb.unplugged)
            all[n++] = reinterpret_cast<libusb_device *>(&e);
    *list = all;
    logLine("usb list -> %zu", n);
    return ssize_t(n);
}

void usbFreeList(libusb_device **list, int) { std::free(list); }

int usbDescriptor(libusb_device *device, libusb_device_descriptor *descriptor)
{
    *descriptor = {};
    descriptor->bLength = sizeof *descriptor;
    descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
    descriptor->idVendor = kVendor;
    const int model = of(device).adapter->model();
    descriptor->idProduct = model == 1 ? 0x0001 : model == 2 ? 0x0005 : uint16_t(0x0100 + model);
    descriptor->iSerialNumber = 3;
    descriptor->bNumConfigurations = 1;
    return 0;
}

int usbConfig(libusb_device *, libusb_config_descriptor **) { return LIBUSB_ERROR_NOT_SUPPORTED; }
void usbFreeConfig(libusb_config_descriptor *) {}
uint8_t usbBus(libusb_device *) { return 1; }
uint8_t usbAddress(libusb_device *device) { return of(device).port; }

int usbPorts(libusb_device *device, uint8_t *ports, int length)
{
    if (length < 1)
        return LIBUSB_ERROR_OVERFLOW;
    ports[0] = of(device).port;
    return 1;
}

int usbOpen(libusb_device *device, libusb_device_handle **handle)
{
    Emulated &e = of(device);
    int result = 0;
    if (usb.unplugged)
        result = LIBUSB_ERROR_NO_DEVICE;
    else if (usb.denied.count(e.adapter->serial()))
        result = LIBUSB_ERROR_ACCESS;
    logLine("usb open %s %s -> %d", position(e).c_str(), e.adapter->serial().c_str(), result);
    if (result == 0) {
        e.open = true;
        *handle = reinterpret_cast<libusb_device_handle *>(&e);
    }
    return result;
}

void usbClose(libusb_device_handle *handle)
{
    Emulated &e = of(handle);
    e.open = false;
    const UsbAdapterCounters &c = e.adapter->counters();
    const fakes::SimJtagCounters &j = e.adapter->chip().counters();
    logLine("usb close %s %s model %d: out-transfers=%" PRIu64 " out-packets=%" PRIu64 " in-packets=%" PRIu64
            " commands=%" PRIu64 " replies=%" PRIu64 " unknown=%" PRIu64 " flash-words=%" PRIu64 " tclk=%" PRIu64
            " segment-erases=%" PRIu64 " mass-erases=%" PRIu64 " flash-violations=%" PRIu64 " link-ms=%" PRIu64,
            position(e).c_str(), e.adapter->serial().c_str(), e.adapter->model(), c.outTransfers, c.outPackets,
            c.inPackets, c.commands, c.replies, c.unknown, j.flashWrites, j.tclkPeriods, j.segmentErases, j.massErases,
            j.flashViolations, c.linkNanoseconds / 1000000);
    compareFlash(e);
}

int usbSerial(libusb_device_handle *handle, uint8_t, unsigned char *data, int length)
{
    const std::string &serial = of(handle).adapter->serial();
    const int n = std::min(int(serial.size()), length - 1);
    std::memcpy(data, serial.data(), size_t(n));
    data[n] = 0;
    return n;
}

int usbAutoDetach(libusb_device_handle *, int) { return 0; }

int usbClaim(libusb_device_handle *handle, int interfaceNumber)
{
    Emulated &e = of(handle);
    const int result = usb.unplugged ? LIBUSB_ERROR_NO_DEVICE
                       : usb.busy.count(e.adapter->serial()) ? LIBUSB_ERROR_BUSY
                       : interfaceNumber != 0 ? LIBUSB_ERROR_NOT_FOUND
                                              : 0;
    logLine("usb claim %s %s -> %d", position(e).c_str(), e.adapter->serial().c_str(), result);
    e.claimed = result == 0;
    return result;
}

int usbRelease(libusb_device_handle *handle, int)
{
    of(handle).claimed = false;
    return usb.unplugged ? LIBUSB_ERROR_NO_DEVICE : 0;
}

int usbClearHalt(libusb_device_handle *, unsigned char endpoint)
{
    if (usb.unplugged)
        return LIBUSB_ERROR_NO_DEVICE;
    if (usb.stalled)
        logLine("usb halt cleared on endpoint 0x%02x", endpoint);
    usb.stalled = false;
    return 0;
}

int usbControl(libusb_device_handle *handle, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
               unsigned char *, uint16_t, unsigned int)
{
    Emulated &e = of(handle);
    if (usb.unplugged)
        return LIBUSB_ERROR_NO_DEVICE;
    logLine("usb control %s type=0x%02x request=%u value=%u index=%u", e.adapter->serial().c_str(), type, request,
            value, index);
    if (type == 0x40 && request == 0)
        e.adapter->purge();
    return 0;
}

int usbBulk(libusb_device_handle *handle, unsigned char endpoint, unsigned char *data, int length, int *transferred,
            unsigned int)
{
    Emulated &e = of(handle);
    *transferred = 0;
    if (!usb.unplugged && usb.unplugAfter && usb.transfers >= usb.unplugAfter) {
        usb.unplugged = true;
        logLine("usb unplugged after %" PRIu64 " transfers", usb.transfers);
    }
    if (usb.unplugged || !e.claimed)
        return usb.unplugged ? LIBUSB_ERROR_NO_DEVICE : LIBUSB_ERROR_IO;
    ++usb.transfers;
    if (usb.stallAfter && usb.transfers == usb.stallAfter + 1) {
        logLine("usb stall on transfer %" PRIu64, usb.transfers);
        usb.stalled = true;
    }
    if (usb.stalled)
        return LIBUSB_ERROR_PIPE;
    if (!(endpoint & LIBUSB_ENDPOINT_IN)) {
        e.adapter->received(data, length);
        *transferred = length;
        return 0;
    }
    if (usb.shortReplyAfter && !usb.shortReplyDone && usb.transfers > usb.shortReplyAfter) {
        usb.shortReplyDone = true;
        e.adapter->cutReply();
        logLine("usb short reply on transfer %" PRIu64, usb.transfers);
    }
    *transferred = e.adapter->send(data, std::min(length, 64));
    // A status-only packet stands for one latency period of the chip.
    if (*transferred <= 2)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    advanceClock(e.adapter->counters().linkNanoseconds - clockNanoseconds());
    return 0;
}

const char *usbErrorName(int code)
{
    switch (code) {
    case LIBUSB_ERROR_IO: return "LIBUSB_ERROR_IO";
    case LIBUSB_ERROR_ACCESS: return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_NO_DEVICE: return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_BUSY: return "LIBUSB_ERROR_BUSY";
    case LIBUSB_ERROR_TIMEOUT: return "LIBUSB_ERROR_TIMEOUT";
    case LIBUSB_ERROR_PIPE: return "LIBUSB_ERROR_PIPE";
    default: return "LIBUSB_ERROR_OTHER";
    }
}

// The serial numbers of the emulated adapters, where the system keeps them.
const Emulated *serialFileOwner(const char *path)
{
    const size_t prefix = sizeof kSysfs - 1;
    if (std::strncmp(path, kSysfs, prefix) != 0)
        return nullptr;
    for (const Emulated &e : usb.devices)
        if (std::string(path + prefix) == position(e) + "/serial")
            return &e;
    return nullptr;
}

int serialOpen(const char *path, int flags, mode_t mode)
{
    if (const Emulated *e = serialFileOwner(path)) {
        if (usb.unplugged)
            return -1;
        usb.serialFiles[usb.nextFd] = e->adapter->serial() + "\n";
        return usb.nextFd++;
    }
    return usb.before.open(path, flags, mode);
}

ssize_t serialRead(int fd, void *buffer, size_t size)
{
    const auto it = usb.serialFiles.find(fd);
    if (it == usb.serialFiles.end())
        return usb.before.read(fd, buffer, size);
    const size_t n = std::min(size, it->second.size());
    std::memcpy(buffer, it->second.data(), n);
    it->second.erase(0, n);
    return ssize_t(n);
}

int serialClose(int fd)
{
    if (usb.serialFiles.erase(fd))
        return 0;
    return usb.before.close(fd);
}

bool install(ZimDeviceCalls &table, std::string &)
{
    if (!usb.active)
        return true;
    usb.before = table;
    table.open = serialOpen;
    table.read = serialRead;
    table.close = serialClose;
    table.libusb_init = usbInit;
    table.libusb_exit = usbExit;
    table.libusb_get_device_list = usbDeviceList;
    table.libusb_free_device_list = usbFreeList;
    table.libusb_get_device_descriptor = usbDescriptor;
    table.libusb_get_active_config_descriptor = usbConfig;
    table.libusb_free_config_descriptor = usbFreeConfig;
    table.libusb_get_bus_number = usbBus;
    table.libusb_get_device_address = usbAddress;
    table.libusb_get_port_numbers = usbPorts;
    table.libusb_open = usbOpen;
    table.libusb_close = usbClose;
    table.libusb_get_string_descriptor_ascii = usbSerial;
    table.libusb_set_auto_detach_kernel_driver = usbAutoDetach;
    table.libusb_claim_interface = usbClaim;
    table.libusb_release_interface = usbRelease;
    table.libusb_clear_halt = usbClearHalt;
    table.libusb_control_transfer = usbControl;
    table.libusb_bulk_transfer = usbBulk;
    table.libusb_error_name = usbErrorName;
    return true;
}

const Emulation kUsbEmulation = {"usb", apply, install};
ZIM_SHIM_EMULATION(kUsbEmulation);

} // namespace
} // namespace zim::hwshim
