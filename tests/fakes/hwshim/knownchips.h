// The devices the shim's emulations can put behind an adapter or a port: each record's ID
// bytes and memory layout, kept here rather than read from the program's device table so that
// a fault in that table cannot hide itself.
#ifndef ZIM_TESTS_HWSHIM_KNOWNCHIPS_H
#define ZIM_TESTS_HWSHIM_KNOWNCHIPS_H

#include "fakes/jtagdevice/simjtagdevice.h"

#include <string>

namespace zim::hwshim {

// Fills chip for the device of that name; false when the shim does not know it.
bool knownChip(const std::string &name, fakes::SimJtagChip &chip);
// The names known, each after a blank, for error texts.
std::string knownChipNames();

} // namespace zim::hwshim

#endif
