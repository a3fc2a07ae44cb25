// The kinds of instruction-level problem the simulator records instead of throwing.
#pragma once

#include <QString>
#include <cstdint>

namespace zim::simulator {

enum class SimulatorError : int {
    UnsupportedOpcode = 0,
    OutOfRangeRead = 1,
    OutOfRangeWrite = 2,
    UninitialisedRead = 3,
    Misc = 4,
    UnalignedWordRead = 5,
    UnalignedWordWrite = 6,
    None = 7, // the kind a run starts with
};

// The message of a kind given as its number; "Invalid Error" for numbers outside 0..6.
QString simulatorErrorMessage(int kind);

// The kind whose message is text; every unknown text (and the kind-4 message) maps to Misc.
SimulatorError simulatorErrorFromMessage(const QString &text);

// Receives what the memory and the instruction decoder see while a step executes. The
// access notices are only sent while the corresponding watch flag is on, so that the
// common path costs one test.
class SimulatorObserver
{
public:
    virtual ~SimulatorObserver() = default;
    virtual void recordError(SimulatorError kind, uint32_t datum) = 0;
    virtual void memoryAccessed(uint32_t address, unsigned size, uint32_t value, bool write) = 0;
    virtual void registerAccessed(unsigned reg, uint32_t value, bool write) = 0;
    virtual void pcWritten(uint32_t pc) = 0;
};

} // namespace zim::simulator
