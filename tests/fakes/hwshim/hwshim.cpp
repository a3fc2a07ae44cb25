// The device shim's core: forwards every device and USB call to the real one and, when
// ZIM_FAKE_HW has log=FILE, writes each call and its result to FILE, one line each. The
// registered emulations then take the settings they know and the calls they emulate.
#include "hwshim.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace zim::hwshim {
namespace {

// A shared library has no object to hang state on: the real table and the log live here
// from install until the library is unloaded.
struct ShimState
{
    const ZimDeviceCalls *real = nullptr;
    FILE *log = nullptr;
    uint64_t clock = 0;
    ~ShimState()
    {
        if (log)
            std::fclose(log);
    }
};
ShimState state;

std::vector<Emulation> &emulations()
{
    static std::vector<Emulation> all;
    return all;
}

} // namespace

bool registerEmulation(const Emulation &emulation)
{
    emulations().push_back(emulation);
    return true;
}

void advanceClock(uint64_t nanoseconds)
{
    state.clock += nanoseconds;
}

uint64_t clockNanoseconds()
{
    return state.clock;
}

void logLine(const char *format, ...)
{
    if (!state.log)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(state.log, format, args);
    va_end(args);
    std::fputc('\n', state.log);
    std::fflush(state.log);
}

namespace {

int shimOpen(const char *path, int flags, mode_t mode)
{
    const int fd = state.real->open(path, flags, mode);
    logLine("open %s flags=0x%x -> %d", path, unsigned(flags), fd);
    return fd;
}

int shimIoctl(int fd, unsigned long request, void *argument)
{
    const int result = state.real->ioctl(fd, request, argument);
    logLine("ioctl fd=%d request=0x%lx -> %d", fd, request, result);
    return result;
}

ssize_t shimRead(int fd, void *buffer, size_t size)
{
    const ssize_t result = state.real->read(fd, buffer, size);
    logLine("read fd=%d size=%zu -> %zd", fd, size, result);
    return result;
}

ssize_t shimWrite(int fd, const void *buffer, size_t size)
{
    const ssize_t result = state.real->write(fd, buffer, size);
    logLine("write fd=%d size=%zu -> %zd", fd, size, result);
    return result;
}

int shimClose(int fd)
{
    const int result = state.real->close(fd);
    logLine("close fd=%d -> %d", fd, result);
    return result;
}

// Calls a USB entry of the real table and logs its name and result. The program hands out
// the USB entries only once the library is loaded; a null one still fails cleanly.
template<typename Ret, typename... Params, typename... Args>
Ret forward(const char *name, Ret (*fn)(Params...), Args... args)
{
    if (!fn) {
        logLine("%s -> no USB library", name);
        if constexpr (std::is_void_v<Ret>)
            return;
        else if constexpr (std::is_pointer_v<Ret>)
            return nullptr;
        else
            return Ret(LIBUSB_ERROR_NOT_SUPPORTED);
    }
    if constexpr (std::is_void_v<Ret>) {
        fn(args...);
        logLine("%s", name);
    } else {
        const Ret result = fn(args...);
        if constexpr (std::is_pointer_v<Ret>)
            logLine("%s -> %s", name, result ? result : "(null)");
        else
            logLine("%s -> %lld", name, static_cast<long long>(result));
        return result;
    }
}

#define ZIM_X(ret, name, params, args) \
    ret shim_##name params { return forward(#name, state.real->name, ZIM_UNPAREN args); }
#define ZIM_UNPAREN(...) __VA_ARGS__
ZIM_USB_CALLS(ZIM_X)
#undef ZIM_X

// Applies one key=value of ZIM_FAKE_HW; false with a text in error when it is not understood.
bool applySetting(const std::string &entry, std::string &error)
{
    const size_t equals = entry.find('=');
    if (equals == std::string::npos) {
        error = "setting \xe2\x80\x9c" + entry + "\xe2\x80\x9d has no value (use key=value)";
        return false;
    }
    const std::string key = entry.substr(0, equals), value = entry.substr(equals + 1);
    bool taken = false;
    for (const Emulation &emulation : emulations()) {
        switch (emulation.apply(key, value, error)) {
        case SettingResult::NotMine:
            break;
        case SettingResult::Taken:
            taken = true;
            break;
        case SettingResult::Refused:
            return false;
        }
    }
    if (key != "log") {
        if (!taken)
            error = "unknown setting \xe2\x80\x9c" + key + "\xe2\x80\x9d";
        return taken;
    }
    if (state.log)
        std::fclose(state.log);
    state.log = std::fopen(value.c_str(), "a");
    if (!state.log) {
        error = "cannot open log \xe2\x80\x9c" + value + "\xe2\x80\x9d: " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace
} // namespace zim::hwshim

using namespace zim::hwshim;

extern "C" __attribute__((visibility("default"))) int zim_device_shim_install(const ZimDeviceCalls *real,
                                                                             ZimDeviceCalls *replacement,
                                                                             char *error, size_t errorSize)
{
    std::string problem;
    if (real->version != ZIM_DEVICE_CALLS_VERSION || real->size != sizeof(ZimDeviceCalls)) {
        problem = "built for device call table version " + std::to_string(ZIM_DEVICE_CALLS_VERSION)
                  + ", the program has version " + std::to_string(real->version);
    } else {
        const char *settings = std::getenv("ZIM_FAKE_HW");
        std::string all = settings ? settings : "";
        size_t start = 0;
        while (problem.empty() && start <= all.size()) {
            const size_t end = std::min(all.find(';', start), all.size());
            if (end > start)
                applySetting(all.substr(start, end - start), problem);
            start = end + 1;
        }
    }
    if (!problem.empty()) {
        std::snprintf(error, errorSize, "%s", problem.c_str());
        return 1;
    }

    state.real = real;
    replacement->open = shimOpen;
    replacement->ioctl = shimIoctl;
    replacement->read = shimRead;
    replacement->write = shimWrite;
    replacement->close = shimClose;
#define ZIM_X(ret, name, params, args) replacement->name = shim_##name;
    ZIM_USB_CALLS(ZIM_X)
#undef ZIM_X
    for (const Emulation &emulation : emulations()) {
        if (!emulation.install(*replacement, problem)) {
            std::snprintf(error, errorSize, "%s: %s", emulation.name, problem.c_str());
            return 1;
        }
    }
    logLine("installed: ZIM_FAKE_HW=%s", std::getenv("ZIM_FAKE_HW") ? std::getenv("ZIM_FAKE_HW") : "");
    return 0;
}
