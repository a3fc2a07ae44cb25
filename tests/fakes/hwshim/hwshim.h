// What the device shim's emulations share: the settings of ZIM_FAKE_HW, the call log, the
// virtual clock, and a place to register themselves. Each emulation (a parallel port, a USB
// adapter) lives in its own file, registers with ZIM_SHIM_EMULATION, takes the settings it
// knows and puts its own calls into the table, forwarding what is not its own.
#ifndef ZIM_TESTS_HWSHIM_H
#define ZIM_TESTS_HWSHIM_H

#include "platform/devicecalls.h"

#include <cstdint>
#include <string>

namespace zim::hwshim {

enum class SettingResult { NotMine, Taken, Refused };

struct Emulation
{
    const char *name;
    // Offered every key=value of ZIM_FAKE_HW; NotMine when the key means nothing here, Refused
    // with a text in error when the value is wrong. A key may be taken by several emulations.
    SettingResult (*apply)(const std::string &key, const std::string &value, std::string &error);
    // Called once all settings are taken: replace entries of table with the emulation's own
    // calls; whatever they do not handle goes to the entry that was there before (kept by the
    // emulation). False with a text in error stops the install.
    bool (*install)(ZimDeviceCalls &table, std::string &error);
};

// Registers an emulation; ZIM_SHIM_EMULATION does it from a static initialiser.
bool registerEmulation(const Emulation &emulation);
#define ZIM_SHIM_EMULATION(variable) \
    [[maybe_unused]] static const bool variable##Registered = ::zim::hwshim::registerEmulation(variable)

// Appends one line to the log of log=FILE; nothing when there is none.
__attribute__((format(printf, 1, 2))) void logLine(const char *format, ...);

// The virtual clock: the link time the emulated hardware would have taken, in nanoseconds.
void advanceClock(uint64_t nanoseconds);
uint64_t clockNanoseconds();

} // namespace zim::hwshim

#endif
