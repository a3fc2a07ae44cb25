// The registry row of the debug-library target.
#pragma once

#include "target/targetregistry.h"

namespace zim::target {
class TargetEnvironment;
}

namespace zim::msp430 {

// "MSP430TargetInterface", short name msp430_dll, made over environment (not owned).
target::TargetRegistryEntry vendorLibraryTarget(target::TargetEnvironment &environment);

} // namespace zim::msp430
