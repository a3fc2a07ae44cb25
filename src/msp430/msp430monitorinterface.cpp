// Defaults of the monitor capabilities for devices without an emulation module.
#include "msp430/msp430monitorinterface.h"

namespace zim::msp430 {

MSP430MonitorInterface::~MSP430MonitorInterface() = default;

uint32_t MSP430MonitorInterface::readEEMRegister(uint32_t) const
{
    return 0;
}

void MSP430MonitorInterface::writeEEMRegister(uint32_t, uint32_t) {}

} // namespace zim::msp430
