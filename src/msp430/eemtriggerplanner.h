// EEMTriggerPlanner: allocation of EEM triggers to hardware breakpoints, as data.
#pragma once

#include "common/hexception.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace zim::msp430 {

// A breakpoint request the EEM cannot take; the trigger table is left as it was.
class DebuggerBreakpointFailure : public common::HException
{
public:
    using common::HException::HException;
};

// A hardware breakpoint request.
struct BreakpointRequest
{
    enum Kind : uint32_t { Execute = 0, DataRead = 1, DataWrite = 2 };
    enum Comparison : uint32_t { Equal = 0, NotEqual = 1, LessOrEqual = 2, GreaterOrEqual = 3 };

    // address names a CPU register rather than a memory address.
    bool isRegister = false;
    uint32_t address = 0;
    uint32_t length = 1;
    uint32_t kind = Execute;
    // Hits before stopping.
    uint32_t count = 0;
    bool outsideRange = false;
    bool dataValue = false;
    uint32_t mask = 0;
    // Two words, low word first.
    uint32_t value = 0;
    uint32_t comparison = Equal;
    // 0 stops the CPU; handed on to the trigger hooks.
    uint32_t reaction = 0;
};

// Identifies the breakpoint that holds a trigger; 0 is never used.
using BreakpointId = uint32_t;

// Which breakpoint holds each trigger.
struct TriggerTable
{
    std::vector<std::optional<BreakpointId>> triggers;
    // The step-range breakpoint that needs no trigger.
    std::optional<BreakpointId> special;
    // Register triggers 8 and 9, present only at the High emulation level.
    std::vector<std::optional<BreakpointId>> registerTriggers;

    // A table of empty entries for a device with breakpointCount triggers.
    static TriggerTable forDevice(uint32_t breakpointCount, uint32_t emulationLevel);
    // Triggers in use plus the special entry.
    uint32_t breakpointsInUse() const;
    bool operator==(const TriggerTable &) const = default;
};

// One step of programming the EEM, in the order the executor performs them.
struct EEMStep
{
    enum Kind { SetTrigger, ClearTrigger, WriteRegister };
    Kind kind = WriteRegister;
    // SetTrigger: trigger, address, reaction. ClearTrigger: trigger, reaction.
    // WriteRegister: register number, value.
    uint32_t trigger = 0;
    uint32_t registerNumber = 0;
    uint32_t value = 0;
    uint32_t reaction = 0;

    static EEMStep setTrigger(uint32_t t, uint32_t address, uint32_t reaction);
    static EEMStep clearTrigger(uint32_t t, uint32_t reaction);
    static EEMStep write(uint32_t reg, uint32_t value);
    bool operator==(const EEMStep &) const = default;
};

struct EEMPlan
{
    TriggerTable table;
    std::vector<EEMStep> steps;
};

class EEMTriggerPlanner
{
public:
    static constexpr const char *kCountRefused = "Count can only be applied to Execute/Stop CPU breakpoints";
    static constexpr const char *kNotSupported = "Breakpoint type not supported";
    static constexpr const char *kNoneAvailable = "No more breakpoints available";
    static constexpr const char *kWordsOnly = "Data valued breakpoints only supported on words";
    static constexpr const char *kPcInRamStopText = "Address written to PC is in RAM";

    // The table and steps after setting request as breakpoint id; throws
    // DebuggerBreakpointFailure, before any step, when the request cannot be set.
    static EEMPlan set(const TriggerTable &table, uint32_t emulationLevel, BreakpointId id,
                       const BreakpointRequest &request);
    // Releases every trigger (or the special entry) that id holds.
    static EEMPlan clear(const TriggerTable &table, BreakpointId id, uint32_t reaction);
    // The register request behind the PC-in-RAM break: a write of the program counter with
    // a value at most ramEnd.
    static BreakpointRequest pcInRamRequest(uint32_t ramEnd);
};

} // namespace zim::msp430
