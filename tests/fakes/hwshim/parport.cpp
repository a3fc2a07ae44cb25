// The device shim's parallel-port FET emulation and the calls it exports for LD_PRELOAD.
#include "parport.h"

#include "fakes/jtagdevice/simjtagdevice.h"
#include "hwshim.h"
#include "knownchips.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <set>

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zim::hwshim::parport {
namespace {

using fakes::SimJtagChip;
using fakes::SimJtagDevice;


constexpr uint8_t kTdi = 0x01, kTms = 0x02, kTck = 0x04, kPower = 0x90;
constexpr uint8_t kRst = 0x01, kTest = 0x04, kEnable = 0x0A;
constexpr uint8_t kTdo = 0x20;

struct Port
{
    int number = -1;
    std::string chipName;
    std::unique_ptr<SimJtagDevice> chip;
    uint32_t infoStart = 0x1000, flashStart = 0;
    int fd = -1;
    bool exclusive = false, claimed = false;
    uint8_t data = 0, control = 0;
    uint64_t writes = 0, reads = 0, segmentErases = 0, massErases = 0;
    uint64_t opens = 0;
    uint64_t startNs = 0;
};

struct Settings
{
    std::map<int, Port> ports;
    bool fuseBlown = false;
    uint64_t unplugAfter = 0;
    uint64_t sigintAfter = 0;
    std::set<int> busy;
    uint64_t busyFromOpen = 0;
    uint64_t accessNs = kDefaultAccessNs;
    std::string dumpPath;
    // The entries the emulation forwards to, as the table held them before it.
    ZimDeviceCalls next = {};
    // Open /proc base-address files: fd -> the text still to read.
    std::map<int, std::string> procFiles;
    uint64_t totalWrites = 0;
};

// A shared library has no object to hang state on: it lives from install until unload.
Settings &settings()
{
    static Settings all;
    return all;
}

bool parseCount(const std::string &value, uint64_t &out)
{
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::strtoull(value.c_str(), nullptr, 10);
    return true;
}

// "parportN" -> N, else -1.
int portNumber(const std::string &name)
{
    const std::string prefix = "parport";
    uint64_t n = 0;
    if (name.compare(0, prefix.size(), prefix) != 0 || !parseCount(name.substr(prefix.size()), n) || n > 99)
        return -1;
    return int(n);
}

SettingResult apply(const std::string &key, const std::string &value, std::string &error)
{
    Settings &s = settings();
    uint64_t n = 0;
    if (const int number = portNumber(key); number >= 0) {
        SimJtagChip chip;
        if (knownChip(value, chip)) {
            s.ports[number].chipName = value;
            return SettingResult::Taken;
        }
        error = "unknown device \xe2\x80\x9c" + value + "\xe2\x80\x9d for " + key + " (known:" + knownChipNames() + ")";
        return SettingResult::Refused;
    }
    if (key == "fuse") {
        if (value != "blown" && value != "intact") {
            error = "fuse must be blown or intact, not \xe2\x80\x9c" + value + "\xe2\x80\x9d";
            return SettingResult::Refused;
        }
        s.fuseBlown = value == "blown";
        return SettingResult::Taken;
    }
    if (key == "unplug-after" || key == "sigint-after" || key == "port-ns" || key == "busy-from-open") {
        if (!parseCount(value, n)) {
            error = key + " needs a number, not \xe2\x80\x9c" + value + "\xe2\x80\x9d";
            return SettingResult::Refused;
        }
        (key == "unplug-after"     ? s.unplugAfter
         : key == "sigint-after"   ? s.sigintAfter
         : key == "busy-from-open" ? s.busyFromOpen
                                   : s.accessNs) = n;
        return SettingResult::Taken;
    }
    if (key == "busy") {
        // Another emulation's device (a USB adapter's serial number) is not a port of ours.
        const int number = portNumber(value);
        if (number < 0)
            return SettingResult::NotMine;
        s.busy.insert(number);
        return SettingResult::Taken;
    }
    if (key == "dump") {
        s.dumpPath = value;
        return SettingResult::Taken;
    }
    return SettingResult::NotMine;
}

std::unique_ptr<SimJtagDevice> makeChip(const std::string &name)
{
    SimJtagChip chip;
    if (!knownChip(name, chip))
        return nullptr;
    fakes::SimJtagFaults faults;
    faults.fuseBlown = settings().fuseBlown;
    return std::make_unique<SimJtagDevice>(chip, faults);
}

// Every register access asks this: the port last found answers without a search.
Port *portOf(int fd)
{
    static Port *last = nullptr;
    if (last && last->fd == fd && fd >= 0)
        return last;
    for (auto &[number, port] : settings().ports) {
        if (port.fd == fd && fd >= 0) {
            port.number = number;
            last = &port;
            return &port;
        }
    }
    return nullptr;
}

int fail(int error)
{
    errno = error;
    return -1;
}

// A descriptor of the system's own, so that it never collides with a real one.
int newDescriptor(const char *name)
{
    return int(syscall(SYS_memfd_create, name, MFD_CLOEXEC));
}

int emulatedOpen(const char *path, int flags, mode_t mode)
{
    Settings &s = settings();
    const std::string p = path ? path : "";
    const std::string dev = "/dev/", proc = "/proc/sys/dev/parport/", base = "/base-addr";
    if (p.compare(0, dev.size(), dev) == 0) {
        const int number = portNumber(p.substr(dev.size()));
        if (const auto it = s.ports.find(number); number >= 0 && it != s.ports.end()) {
            Port &port = it->second;
            if (port.fd >= 0) {
                logLine("parport%d: open refused: already open", number);
                return fail(EBUSY);
            }
            port.fd = newDescriptor("zim-parport");
            if (port.fd < 0)
                return -1;
            if (!port.chip) {
                port.chip = makeChip(port.chipName);
                SimJtagChip chip;
                if (knownChip(port.chipName, chip))
                    port.flashStart = chip.flashStart;
            }
            port.exclusive = port.claimed = false;
            port.writes = port.reads = 0;
            ++port.opens;
            port.startNs = clockNanoseconds();
            logLine("parport%d: open", number);
            return port.fd;
        }
    }
    if (p.compare(0, proc.size(), proc) == 0 && p.size() > base.size()
        && p.compare(p.size() - base.size(), base.size(), base) == 0) {
        const int number = portNumber(p.substr(proc.size(), p.size() - proc.size() - base.size()));
        if (number >= 0 && s.ports.count(number)) {
            const int fd = newDescriptor("zim-parport-base");
            if (fd >= 0)
                s.procFiles[fd] = std::to_string(kBaseAddress + 0x100u * uint32_t(number)) + "\t"
                                  + std::to_string(kBaseAddress + 0x100u * uint32_t(number) + 0x400) + "\n";
            return fd;
        }
    }
    return s.next.open(path, flags, mode);
}

ssize_t emulatedRead(int fd, void *buffer, size_t size)
{
    Settings &s = settings();
    if (const auto it = s.procFiles.find(fd); it != s.procFiles.end()) {
        const size_t n = std::min(size, it->second.size());
        std::memcpy(buffer, it->second.data(), n);
        it->second.erase(0, n);
        return ssize_t(n);
    }
    return s.next.read(fd, buffer, size);
}

// The data and control registers as pins: supply first, then the levels, TCK last so that its
// rising edge sees the new TMS and TDI.
void drivePins(Port &port, uint8_t oldData, uint8_t oldControl, bool all)
{
    SimJtagDevice &chip = *port.chip;
    const bool powered = port.data & kPower;
    if (powered != bool(oldData & kPower) || all)
        chip.setPower(powered);
    if ((port.control & kEnable) != kEnable)
        return;
    const uint8_t dataChanged = all ? 0xFF : uint8_t(port.data ^ oldData);
    const uint8_t controlChanged = all ? 0xFF : uint8_t(port.control ^ oldControl);
    if (controlChanged & kTest)
        chip.setTest(port.control & kTest);
    if (controlChanged & kRst)
        chip.setRst(!(port.control & kRst));
    if (dataChanged & kTms)
        chip.setTms(port.data & kTms);
    if (dataChanged & kTdi)
        chip.setTdi(port.data & kTdi);
    if (dataChanged & kTck)
        chip.setTck(port.data & kTck);
}

void afterWrite(Port &port, int number)
{
    Settings &s = settings();
    ++port.writes;
    ++s.totalWrites;
    advanceClock(s.accessNs);
    const fakes::SimJtagCounters &c = port.chip->counters();
    if (c.segmentErases != port.segmentErases) {
        port.segmentErases = c.segmentErases;
        logLine("parport%d: erase segment 0x%04x", number, unsigned(port.chip->flashAddress()));
    }
    if (c.massErases != port.massErases) {
        port.massErases = c.massErases;
        logLine("parport%d: erase all", number);
    }
    if (s.unplugAfter && port.writes == s.unplugAfter) {
        port.chip->pullCableAfter(0);
        logLine("parport%d: cable pulled after %llu writes", number, static_cast<unsigned long long>(port.writes));
    }
    if (s.sigintAfter && s.totalWrites == s.sigintAfter) {
        logLine("parport%d: Ctrl-C after %llu writes", number, static_cast<unsigned long long>(s.totalWrites));
        std::raise(SIGINT);
    }
}

// Blocks as a claim of a port that another driver holds, until a signal interrupts it.
int blockedClaim(int number)
{
    logLine("parport%d: claim blocks: the port is busy", number);
    timespec wait = {60, 0};
    while (nanosleep(&wait, &wait) != 0) {
        if (errno == EINTR) {
            logLine("parport%d: claim interrupted", number);
            return fail(EINTR);
        }
    }
    return fail(EBUSY);
}

int emulatedIoctl(int fd, unsigned long request, void *argument)
{
    Settings &s = settings();
    Port *port = portOf(fd);
    if (!port)
        return s.next.ioctl(fd, request, argument);
    const int number = port->number;
    auto *byte = static_cast<unsigned char *>(argument);
    switch (request) {
    case PPEXCL:
        if (port->claimed)
            return fail(EINVAL);
        port->exclusive = true;
        logLine("parport%d: exclusive", number);
        return 0;
    case PPCLAIM:
        if (port->claimed)
            return fail(EINVAL);
        if (s.busy.count(number) || (s.busyFromOpen && port->opens >= s.busyFromOpen)) {
            if (port->exclusive) {
                logLine("parport%d: claim refused: the port is busy", number);
                return fail(EBUSY);
            }
            return blockedClaim(number);
        }
        port->claimed = true;
        logLine("parport%d: claim", number);
        return 0;
    case PPRELEASE:
        if (!port->claimed)
            return fail(EINVAL);
        port->claimed = false;
        logLine("parport%d: release", number);
        return 0;
    case PPSETMODE:
    case PPNEGOT:
    case PPDATADIR:
    case PPSETPHASE:
    case PPSETFLAGS:
        return port->claimed ? 0 : fail(EINVAL);
    default:
        break;
    }
    if (!port->claimed)
        return fail(EINVAL);
    switch (request) {
    case PPWDATA:
    case PPWCONTROL: {
        const uint8_t oldData = port->data, oldControl = port->control;
        (request == PPWDATA ? port->data : port->control) = *byte;
        const bool enabled = (port->control & kEnable) == kEnable && (oldControl & kEnable) != kEnable;
        drivePins(*port, oldData, oldControl, enabled);
        afterWrite(*port, number);
        return 0;
    }
    case PPRDATA:
        *byte = port->data;
        return 0;
    case PPRCONTROL:
        *byte = port->control;
        return 0;
    case PPRSTATUS: {
        ++port->reads;
        advanceClock(s.accessNs);
        const bool tdo = (port->control & kEnable) != kEnable || port->chip->readTdo();
        // BUSY reads inverted and the other inputs idle high, as on an idle port.
        *byte = uint8_t(0x58 | (tdo ? kTdo : 0));
        return 0;
    }
    default:
        return fail(ENOTTY);
    }
}

void dumpFlash(const Port &port, int number)
{
    const std::string &path = settings().dumpPath;
    if (path.empty() || !port.chip)
        return;
    FILE *out = std::fopen(path.c_str(), "w");
    if (!out) {
        logLine("parport%d: cannot write dump %s: %s", number, path.c_str(), std::strerror(errno));
        return;
    }
    const SimJtagDevice &chip = *port.chip;
    for (uint32_t row = port.infoStart; row < 0x10000; row += 16) {
        // RAM may lie between the information memory and main FLASH.
        if (row >= port.infoStart + 0x100 && row < port.flashStart)
            continue;
        int first = -1, last = -1;
        for (uint32_t i = 0; i < 16; ++i) {
            if (chip.peek(row + i) != 0xFF) {
                if (first < 0)
                    first = int(i);
                last = int(i);
            }
        }
        if (first < 0)
            continue;
        const uint32_t address = row + uint32_t(first);
        const int count = last - first + 1;
        unsigned sum = unsigned(count) + (address >> 8) + (address & 0xFF);
        std::fprintf(out, ":%02X%04X00", count, address);
        for (int i = first; i <= last; ++i) {
            sum += chip.peek(row + uint32_t(i));
            std::fprintf(out, "%02X", chip.peek(row + uint32_t(i)));
        }
        std::fprintf(out, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
    }
    std::fprintf(out, ":00000001FF\n");
    std::fclose(out);
}

int emulatedClose(int fd)
{
    Settings &s = settings();
    if (const auto it = s.procFiles.find(fd); it != s.procFiles.end()) {
        s.procFiles.erase(it);
        return int(syscall(SYS_close, fd));
    }
    Port *port = portOf(fd);
    if (!port)
        return s.next.close(fd);
    const int number = port->number;
    if (port->claimed)
        logLine("parport%d: closed while claimed", number);
    if ((port->control & kEnable) == kEnable)
        logLine("parport%d: the JTAG signals stay driven: the device is held", number);
    const fakes::SimJtagCounters &c = port->chip->counters();
    logLine("parport%d: close: %llu writes, %llu status reads, link %.3f s, unknown instructions %llu, unknown "
            "opcodes %llu, FLASH writes %llu, FLASH violations %llu",
            number, static_cast<unsigned long long>(port->writes), static_cast<unsigned long long>(port->reads),
            double(clockNanoseconds() - port->startNs) / 1e9,
            static_cast<unsigned long long>(c.unknownInstructions), static_cast<unsigned long long>(c.unknownOpcodes),
            static_cast<unsigned long long>(c.flashWrites), static_cast<unsigned long long>(c.flashViolations));
    dumpFlash(*port, number);
    port->fd = -1;
    port->claimed = port->exclusive = false;
    return int(syscall(SYS_close, fd));
}

bool install(ZimDeviceCalls &table, std::string &)
{
    Settings &s = settings();
    s.next = table;
    table.open = emulatedOpen;
    table.read = emulatedRead;
    table.ioctl = emulatedIoctl;
    table.close = emulatedClose;
    return true;
}

const Emulation kParport = {"parport", apply, install};
ZIM_SHIM_EMULATION(kParport);

} // namespace
} // namespace zim::hwshim::parport

// ---- LD_PRELOAD: the C library's calls, routed through the shim's table ----

extern "C" int zim_device_shim_install(const ZimDeviceCalls *real, ZimDeviceCalls *replacement, char *error,
                                       size_t errorSize);

namespace {

struct Preload
{
    ZimDeviceCalls real = {};
    ZimDeviceCalls table = {};
};

using OpenFn = int (*)(const char *, int, ...);
using IoctlFn = int (*)(int, unsigned long, ...);

template<typename F>
F next(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

int realOpen(const char *path, int flags, mode_t mode)
{
    static const OpenFn fn = next<OpenFn>("open");
    return fn(path, flags, mode);
}

int realIoctl(int fd, unsigned long request, void *argument)
{
    static const IoctlFn fn = next<IoctlFn>("ioctl");
    return fn(fd, request, argument);
}

ssize_t realRead(int fd, void *buffer, size_t size)
{
    static const auto fn = next<ssize_t (*)(int, void *, size_t)>("read");
    return fn(fd, buffer, size);
}

ssize_t realWrite(int fd, const void *buffer, size_t size)
{
    static const auto fn = next<ssize_t (*)(int, const void *, size_t)>("write");
    return fn(fd, buffer, size);
}

int realClose(int fd)
{
    static const auto fn = next<int (*)(int)>("close");
    return fn(fd);
}

// The table the exported calls use, installed with ZIM_FAKE_HW on first use. A setting the
// shim refuses ends the program: a test must not run against the real devices by mistake.
const ZimDeviceCalls &preloaded()
{
    static const Preload preload = [] {
        Preload p;
        p.real.version = ZIM_DEVICE_CALLS_VERSION;
        p.real.size = sizeof(ZimDeviceCalls);
        p.real.open = realOpen;
        p.real.ioctl = realIoctl;
        p.real.read = realRead;
        p.real.write = realWrite;
        p.real.close = realClose;
        p.table = p.real;
        char error[512] = {};
        if (zim_device_shim_install(&p.real, &p.table, error, sizeof error) != 0) {
            std::fprintf(stderr, "libzimhwshim: %s\n", error);
            std::_Exit(2);
        }
        return p;
    }();
    return preload.table;
}

// Calls the shim makes while it installs itself go straight to the C library.
thread_local bool installing = false;

const ZimDeviceCalls *routed()
{
    if (installing)
        return nullptr;
    installing = true;
    const ZimDeviceCalls &table = preloaded();
    installing = false;
    return &table;
}

mode_t modeOf(int flags, va_list args)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, unsigned)) : 0;
}

} // namespace

#define ZIM_EXPORT extern "C" __attribute__((visibility("default")))

ZIM_EXPORT int open(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    const ZimDeviceCalls *table = routed();
    return table ? table->open(path, flags, mode) : realOpen(path, flags, mode);
}

ZIM_EXPORT int open64(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    const ZimDeviceCalls *table = routed();
    return table ? table->open(path, flags, mode) : realOpen(path, flags, mode);
}

ZIM_EXPORT int __open_2(const char *path, int flags)
{
    const ZimDeviceCalls *table = routed();
    return table ? table->open(path, flags, 0) : realOpen(path, flags, 0);
}

ZIM_EXPORT int __open64_2(const char *path, int flags)
{
    return __open_2(path, flags);
}

ZIM_EXPORT int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);
    const ZimDeviceCalls *table = routed();
    return table ? table->ioctl(fd, request, argument) : realIoctl(fd, request, argument);
}

ZIM_EXPORT int close(int fd)
{
    const ZimDeviceCalls *table = routed();
    return table ? table->close(fd) : realClose(fd);
}
