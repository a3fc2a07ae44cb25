// SimulatedHMonitor: the processor-independent half of a simulator target: the run loop,
// breakpoints and access watches, the error kinds that stop a run, the cycle counter, jump
// counting and the trace buffer, the execution-count profile, the peripheral bus and the
// simulator properties. A processor subclass supplies the instruction set and interrupts.
#pragma once

#include "simulator/peripheralbus.h"
#include "simulator/runslice.h"
#include "simulator/simulatorerror.h"
#include "simulator/zeroedarray.h"
#include "target/deviceport.h"

#include <QList>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

namespace zim::target {
class TargetEnvironment;
}

namespace zim::simulator {


class SimulatedHMonitor : public target::DevicePort, public SimulatorObserver
{
    Q_OBJECT
    Q_PROPERTY(bool enablePeripheralFile READ enablePeripheralFile WRITE setEnablePeripheralFile)
    Q_PROPERTY(QString peripheralFile READ peripheralFile WRITE setPeripheralFile)
    Q_PROPERTY(QString peripheralOutputFile READ peripheralOutputFile WRITE setPeripheralOutputFile)
    Q_PROPERTY(QString peripheralInputFile READ peripheralInputFile WRITE setPeripheralInputFile)
    Q_PROPERTY(bool jumpCountEnabled READ jumpCountEnabled WRITE setJumpCountEnabled)
    Q_PROPERTY(int traceBufferSize READ traceBufferSize WRITE setTraceBufferSize)
    Q_PROPERTY(uint runCycleLimit READ runCycleLimit WRITE setRunCycleLimit)

public:
    struct Breakpoint
    {
        enum Kind { Execute, Read, Write };
        enum Comparison { Equal, NotEqual, NotAbove, NotBelow };

        Kind kind = Execute;
        bool onRegister = false; // address is a register number
        uint32_t address = 0;
        uint32_t length = 1;
        bool inverted = false; // matches outside the range
        bool compareValue = false;
        Comparison comparison = Equal;
        uint32_t value = 0;
        uint32_t mask = 0xFFFFFFFF;
    };

    enum JumpCountMode { PerInstruction, OnPcWrite, AtBreakpoint };

    // The largest trace buffer and execution profile, so that no setting can exhaust memory.
    static constexpr int kMaxTraceEntries = 65536;
    static constexpr uint32_t kMaxProfileLength = 0x100000;

    // Why the last run ended.
    enum class StopReason { None, Requested, Breakpoint, ErrorStop, CycleLimit, SelfJump, CpuOff };

    // environment supplies the macros of the peripheral file name and the files the run reads
    // (not owned, outlives the port).
    SimulatedHMonitor(target::TargetEnvironment &environment, const QString &name, const QString &defaultPeripheralFile);
    ~SimulatedHMonitor() override;

    bool enablePeripheralFile() const { return m_enablePeripheralFile; }
    void setEnablePeripheralFile(bool on) { m_enablePeripheralFile = on; }
    QString peripheralFile() const { return m_peripheralFile; }
    void setPeripheralFile(const QString &file) { m_peripheralFile = file; }
    // Where the peripheral file's raw output goes (empty: standard output) and where its input
    // comes from (empty: none).
    QString peripheralOutputFile() const { return m_peripheralOutputFile; }
    void setPeripheralOutputFile(const QString &file) { m_peripheralOutputFile = file; }
    QString peripheralInputFile() const { return m_peripheralInputFile; }
    void setPeripheralInputFile(const QString &file) { m_peripheralInputFile = file; }
    bool jumpCountEnabled() const { return m_jumpCountEnabled; }
    void setJumpCountEnabled(bool on);
    int traceBufferSize() const { return m_traceBufferSize; }
    // Keeps 0 to kMaxTraceEntries entries; the oldest go when the buffer shrinks. Any other
    // size is refused with an HException that names the bounds.
    void setTraceBufferSize(int size);
    // Cycles one start of the program may take; 0 leaves the program unstarted.
    uint runCycleLimit() const { return m_runCycleLimit; }
    void setRunCycleLimit(uint cycles)
    {
        m_runCycleLimit = cycles;
        m_runCycleLimitSet = true;
    }

    // The peripheral file read at connection, its macros expanded; empty when none was read.
    const QString &loadedPeripheralFile() const { return m_loadedPeripheralFile; }
    // Every file this job reads that the simulator knows of: the run's load files, solution
    // and script, the peripheral file, the peripheral input file and the project's target
    // script file. A file the simulator writes must be none of them.
    QStringList filesRead() const;

    // Run control. Without a cycle limit, go and run leave the program unstarted.
    bool reset(bool stop) override;
    bool go() override;
    // Starts the program from the reset vector that the download wrote.
    bool run(uint32_t address, bool release) override;
    // Requests a stop; a running loop stops before its next instruction.
    bool stop() override;
    bool waitForStop(int timeoutMs) override;
    // Executes one instruction, interrupts and reset included; a sleeping processor executes
    // nothing and waits until the next interrupt poll instead.
    bool step() override;
    QString stopMessage() const override { return m_stopMessage; }
    uint32_t stopAddress() const { return m_stopAddress; }
    StopReason stopReason() const { return m_stopReason; }
    TargetState state() const { return m_state; }
    // Runs until a stop condition or until maxCycles more cycles have passed (0: no limit).
    StopReason runFor(uint64_t maxCycles);

    uint32_t cycles() const { return m_cycles; }
    // The peripheral simulation of the connection, or none.
    PeripheralBus *peripherals() const { return m_peripherals.get(); }
    // The cycle counter as of the instruction being executed, for peripherals that keep time.
    uint32_t currentCycles() const { return m_cycles + (m_inSlice ? cyclesInSlice() : 0); }
    // A reset asked for by the peripheral simulation (a watchdog, say): taken, as by the reset
    // operation, before the next instruction.
    void requestPeripheralReset()
    {
        m_peripheralResetPending = true;
        m_attention = true;
    }
    SimulatorError errorKind() const { return m_errorKind; }
    uint32_t errorDatum() const { return m_errorDatum; }

    // The error kinds that end a run.
    void setErrorStop(SimulatorError kind, bool on);
    // Enables or disables a stop by the kind's message; unknown texts name kind 4.
    void setErrorStop(const QString &message, bool on) { setErrorStop(simulatorErrorFromMessage(message), on); }
    bool stopsOn(SimulatorError kind) const { return m_errorStops & (1u << int(kind)); }
    // Records a kind-4 error with its own stop message.
    void recordMiscError(uint32_t datum, const QString &message);

    int addBreakpoint(const Breakpoint &breakpoint);
    // Also empties the error stops and the stop message.
    void clearBreakpoints();

    void setJumpCountMode(JumpCountMode mode);
    void setTraceWrapping(bool on) { m_traceWrapping = on; }
    // The recorded PC values, oldest first.
    QList<uint32_t> trace() const;
    uint64_t jumpCount() const { return m_jumpCount; }

    // One execution counter per address from base to base + length - 1, all cleared; at most
    // kMaxProfileLength of them. The counters take memory only where they count.
    void setProfileWindow(uint32_t base, uint32_t length);
    uint32_t profileCount(uint32_t address) const;

protected:
    target::TargetEnvironment &environment() const { return m_environment; }
    // The reset: clears the cycle counter and arms the reset-pending flag.
    virtual void resetCore();
    // Before every slice of instructions: the pending reset, interrupt polls and interrupt entry.
    virtual void serviceInterrupts() = 0;
    // Cycles until serviceInterrupts next has work to do; at least 1.
    virtual uint32_t cyclesToNextPoll() const = 0;
    // Executes the instructions of one slice and returns the cycles they took.
    virtual uint32_t executeInstructions(const RunSlice &slice) = 0;
    virtual uint32_t programCounter() const = 0;
    // Cycles the slice being executed has used so far; 0 between slices.
    virtual uint32_t cyclesInSlice() const { return 0; }
    // True while the processor sleeps until an interrupt: no instruction runs, time passes from
    // one interrupt poll to the next.
    virtual bool isAsleep() const { return false; }
    // While asleep: whether an interrupt poll may wake the processor; when none can, a run with a
    // cycle limit passes the rest of its cycles at once.
    virtual bool pollCanWake() const { return true; }
    // Why the program has clearly finished with the slice just executed (a jump to itself, or the
    // CPU asleep with interrupts disabled and nothing to wake it); None while it goes on.
    virtual StopReason finishedReason() const { return StopReason::None; }
    // Tells the processor part which accesses and PC writes it must report.
    virtual void setAccessWatching(bool memory, bool registers, bool pcWrites)
    {
        Q_UNUSED(memory);
        Q_UNUSED(registers);
        Q_UNUSED(pcWrites);
    }

    // Connection work of the base: loads the peripheral file and sets the profile window.
    void connectSimulation();
    void disconnectSimulation();
    // The peripheral simulation for a new connection: from the peripheral file when it is enabled
    // and readable, else none (the peripheral range is then plain memory).
    virtual std::unique_ptr<PeripheralBus> loadPeripherals();
    // Builds the peripheral simulation from the peripheral file's text; nullptr when peripherals
    // cannot be simulated.
    virtual std::unique_ptr<PeripheralBus> createPeripheralBus(const QString &text);
    PeripheralBus *peripheralBus() const { return m_peripherals.get(); }

    void setState(TargetState state);
    void requireConnected() const;
    // Lets the event loop run when a few milliseconds have passed since it last did.
    void processEventsIfDue();

    // SimulatorObserver
    void recordError(SimulatorError kind, uint32_t datum) override;
    void memoryAccessed(uint32_t address, unsigned size, uint32_t value, bool write) override;
    void registerAccessed(unsigned reg, uint32_t value, bool write) override;
    void pcWritten(uint32_t pc) override;

    bool m_resetPending = false;

private:
    // The run loop of runFor.
    StopReason runInstructions(uint64_t maxCycles);
    // Runs one slice of at most cycleBudget cycles (0: one instruction) and counts its cycles.
    void executeSlice(uint64_t cycleBudget);
    // The cycles a sleeping processor waits before the loop looks again: up to the next poll, or,
    // when no poll can wake it, the rest of a limited run.
    uint64_t sleepBudget(uint64_t maxCycles) const;
    // The one decision after a slice: whether and why the run ends there.
    StopReason stopCondition(uint64_t maxCycles) const;
    // The per-instruction work while breakpoints or the instruction trace need it; true when an
    // execution breakpoint stops the run before the instruction at PC.
    bool breakpointBeforeInstruction();
    bool breakpointAt(uint32_t pc) const;
    bool accessMatches(const Breakpoint &breakpoint, bool onRegister, uint32_t address, unsigned size,
                       uint32_t value, bool write) const;
    void recordTrace(uint32_t pc);
    void updateWatching();
    // Runs the program as go does, then tells how it ended.
    bool runWithLimit();
    // Without a cycle limit: says, when a limit was set, why the program was not started.
    void reportNotStarted();
    void reportStop();
    void takePeripheralReset();

    bool m_enablePeripheralFile = false;
    target::TargetEnvironment &m_environment;
    QString m_peripheralFile;
    QString m_peripheralOutputFile;
    QString m_peripheralInputFile;
    QString m_loadedPeripheralFile;
    bool m_peripheralResetPending = false;
    bool m_jumpCountEnabled = false;
    int m_traceBufferSize = 8;
    uint m_runCycleLimit = 0;
    // Whether the limit was set at all, so that -verbose can say why a program set to 0 (or to
    // text that reads as 0) does not start.
    bool m_runCycleLimitSet = false;

    TargetState m_state = TargetNotConnected;
    uint32_t m_cycles = 0;
    uint64_t m_runCycles = 0;
    SimulatorError m_errorKind = SimulatorError::None;
    uint32_t m_errorDatum = 0;
    QString m_miscMessage;
    bool m_attention = false; // RunSlice::attention
    // While a slice executes; cyclesInSlice() means nothing outside one, even after a slice
    // that a peripheral failure ended.
    bool m_inSlice = false;
    bool m_stopRequested = false;
    bool m_breakpointPending = false;
    bool m_accessHit = false;
    QString m_stopMessage;
    uint32_t m_stopAddress = 0;
    StopReason m_stopReason = StopReason::None;
    uint32_t m_errorStops = 0;

    std::vector<Breakpoint> m_breakpoints;
    bool m_hasExecuteBreakpoints = false;
    bool m_eachInstruction = false; // an execution breakpoint or the instruction trace is on

    JumpCountMode m_jumpCountMode = OnPcWrite;
    bool m_traceEveryInstruction = false;
    bool m_traceWrapping = false;
    // The trace: grows to the buffer size, then, when wrapping, overwrites from m_traceOldest on.
    std::vector<uint32_t> m_trace;
    size_t m_traceOldest = 0;
    uint64_t m_jumpCount = 0;

    uint32_t m_profileBase = 0;
    uint32_t m_profileLength = 0;
    ZeroedArray<uint32_t> m_profile;

    std::unique_ptr<PeripheralBus> m_peripherals;
    uint64_t m_lastEventTick = 0;
};

} // namespace zim::simulator
