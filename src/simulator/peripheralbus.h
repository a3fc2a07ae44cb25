// The seam between the core simulator and a peripheral simulation: what the core forwards for
// the peripheral address range, interrupt polls and resets. Implementations may throw HException;
// the exception leaves the current instruction unfinished and ends the step or run.
#pragma once

#include <cstdint>

namespace zim::simulator {

class PeripheralBus
{
public:
    virtual ~PeripheralBus() = default;
    virtual void reset() = 0;
    // Cycles since the previous poll; an interrupt number 0..15 to raise, anything else for none.
    virtual int pollForInterrupts(uint32_t cycles) = 0;
    // A byte below 0x100, a word from 0x100 to 0x1FF.
    virtual uint32_t loadPeripheral(uint32_t address) = 0;
    virtual void storePeripheral(uint32_t address, uint32_t value) = 0;
    // Throws HException when the user has interrupted the simulation (Ctrl-C), so that a run
    // whose program never reaches the peripherals still ends.
    virtual void checkInterrupted() {}
    // Writes out what the peripherals buffered, then releases the files they write; throws
    // HException when any of it fails, so that no output is lost without a word.
    virtual void flushOutput() {}
    virtual void closeOutput() {}
};

} // namespace zim::simulator
