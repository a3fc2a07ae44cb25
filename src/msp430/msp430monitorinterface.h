// MSP430MonitorInterface: how a monitor reports the device's memory limits and debug capabilities.
#pragma once

#include <cstdint>

namespace zim::msp430 {

class MSP430MonitorInterface
{
public:
    virtual ~MSP430MonitorInterface();

    virtual uint32_t ramStart() const = 0;
    virtual uint32_t ramEnd() const = 0;
    virtual uint32_t flashStart() const = 0;
    virtual uint32_t flashEnd() const = 0;
    virtual uint32_t infoStart() const = 0;
    virtual uint32_t infoEnd() const = 0;
    // Bytes per information segment, 64 or 128.
    virtual uint32_t infoSegmentSize() const = 0;
    virtual bool eemAvailable() const { return false; }
    virtual uint32_t readEEMRegister(uint32_t reg) const;
    virtual void writeEEMRegister(uint32_t reg, uint32_t value);
    // 1 Low, 2 Medium, 3 High; 0 without an emulation module.
    virtual uint32_t emulationLevel() const { return 0; }
    virtual uint32_t breakpointCount() const { return 0; }
    // The address space extends beyond 64 KB (20-bit registers).
    virtual bool hasExtendedMemory() const = 0;
};

} // namespace zim::msp430
