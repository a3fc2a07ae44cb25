// The simulator's row of the target registry.
#pragma once

#include "target/targetregistry.h"

namespace zim::msp430 {
class MSP430DeviceLibrary;
}
namespace zim::target {
class TargetEnvironment;
}

namespace zim::simulator {

// "MSP430Monitor" (short name "sim"): the core simulator, made over environment and devices
// (not owned; both outlive every target the row makes).
target::TargetRegistryEntry simulatorTarget(target::TargetEnvironment &environment, msp430::MSP430DeviceLibrary &devices);

} // namespace zim::simulator
