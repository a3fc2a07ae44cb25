// The run loop and debugging bookkeeping shared by simulator targets.
#include "simulator/simulatedhmonitor.h"

#include "simulator/peripheralsimulator.h"
#include "target/targetenvironment.h"
#include "target/targetinterface.h"
#include "common/boundedread.h"
#include "common/hexception.h"
#include "platform/platform.h"
#include "project/macros.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

#include <algorithm>

namespace zim::simulator {

namespace {

// The event loop gets a turn this often while the simulation runs, so that a stop request
// arrives promptly without slowing the instructions down.
constexpr uint64_t kEventIntervalMs = 5;

QString groupedCycles(uint64_t cycles)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(qulonglong(cycles));
}

QString reasonText(SimulatedHMonitor::StopReason reason, const QString &stopMessage)
{
    switch (reason) {
    case SimulatedHMonitor::StopReason::CycleLimit:
        return QStringLiteral("cycle limit reached");
    case SimulatedHMonitor::StopReason::SelfJump:
        return QStringLiteral("the program jumps to itself");
    case SimulatedHMonitor::StopReason::CpuOff:
        return QStringLiteral("the CPU is off with interrupts disabled");
    case SimulatedHMonitor::StopReason::Breakpoint:
        return QStringLiteral("breakpoint");
    case SimulatedHMonitor::StopReason::ErrorStop:
        return stopMessage;
    case SimulatedHMonitor::StopReason::Requested:
    case SimulatedHMonitor::StopReason::None:
        break;
    }
    return QStringLiteral("stop requested");
}

} // namespace

SimulatedHMonitor::SimulatedHMonitor(target::TargetEnvironment &environment, const QString &name,
                                     const QString &defaultPeripheralFile)
    : m_environment(environment), m_peripheralFile(defaultPeripheralFile)
{
    setObjectName(name);
    registerProperty(QStringLiteral("enablePeripheralFile"), QStringLiteral("Peripherals"),
                     QStringLiteral("Enable Peripheral File"),
                     QStringLiteral("Enable JavaScript simulation of peripherals."), false);
    registerProperty(QStringLiteral("peripheralFile"), QStringLiteral("Peripherals"), QStringLiteral("Peripheral File"),
                     QStringLiteral("JavaScript file that simulates peripherals."), defaultPeripheralFile);
    registerProperty(QStringLiteral("peripheralOutputFile"), QStringLiteral("Peripherals"),
                     QStringLiteral("Peripheral Output File"),
                     QStringLiteral("File that receives the bytes the peripheral file writes; empty for standard output."),
                     QString());
    registerProperty(QStringLiteral("peripheralInputFile"), QStringLiteral("Peripherals"),
                     QStringLiteral("Peripheral Input File"),
                     QStringLiteral("File whose bytes the peripheral file reads, for example as received serial data."),
                     QString());
    registerProperty(QStringLiteral("jumpCountEnabled"), QStringLiteral("Diagnostic"),
                     QStringLiteral("Jump Counting Enabled"),
                     QStringLiteral("Enables simulator to count jump instructions."), false);
    registerProperty(QStringLiteral("traceBufferSize"), QStringLiteral("Diagnostic"), QStringLiteral("Trace Buffer Size"),
                     QStringLiteral("Set the number of trace entries that are recorded."), 8);
    registerProperty(QStringLiteral("runCycleLimit"), QStringLiteral("Simulator"), QStringLiteral("Run Cycle Limit"),
                     QStringLiteral("Cycles to simulate when the program is started; 0 leaves it unstarted."), 0u);
}

SimulatedHMonitor::~SimulatedHMonitor() = default;

void SimulatedHMonitor::setJumpCountEnabled(bool on)
{
    m_jumpCountEnabled = on;
    setJumpCountMode(m_jumpCountMode);
}

void SimulatedHMonitor::setTraceBufferSize(int size)
{
    if (size < 0 || size > kMaxTraceEntries)
        throw common::HException(QStringLiteral("invalid value \"%1\"\n\nThe only valid values for \"Trace Buffer Size\" are "
                                                "whole numbers from 0 to %2")
                                     .arg(size)
                                     .arg(kMaxTraceEntries));
    m_traceBufferSize = size;
    // In order again, so that the buffer grows at its end and shrinks from its oldest entry.
    std::rotate(m_trace.begin(), m_trace.begin() + qsizetype(m_traceOldest), m_trace.end());
    m_traceOldest = 0;
    if (int(m_trace.size()) > m_traceBufferSize) {
        m_trace.erase(m_trace.begin(), m_trace.end() - m_traceBufferSize);
        m_trace.shrink_to_fit();
    }
}

QList<uint32_t> SimulatedHMonitor::trace() const
{
    QList<uint32_t> entries;
    entries.reserve(qsizetype(m_trace.size()));
    entries.append(QList<uint32_t>(m_trace.begin() + qsizetype(m_traceOldest), m_trace.end()));
    entries.append(QList<uint32_t>(m_trace.begin(), m_trace.begin() + qsizetype(m_traceOldest)));
    return entries;
}

void SimulatedHMonitor::setJumpCountMode(JumpCountMode mode)
{
    m_jumpCountMode = mode;
    m_traceEveryInstruction = m_jumpCountEnabled && mode == PerInstruction;
    updateWatching();
}

void SimulatedHMonitor::setState(TargetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    reportState(state);
}

void SimulatedHMonitor::requireConnected() const
{
    if (!isConnected())
        throw common::HException(QStringLiteral("%1 is not connected").arg(objectName()));
}

std::unique_ptr<PeripheralBus> SimulatedHMonitor::loadPeripherals()
{
    m_loadedPeripheralFile.clear();
    if (!m_enablePeripheralFile || m_peripheralFile.isEmpty())
        return nullptr;
    QFile file(project::expandMacros(m_environment.environmentMacros(), m_peripheralFile));
    // A peripheral file that cannot be read leaves the peripheral range on plain memory.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        reportMessage(QStringLiteral("Simulating without peripherals: cannot open peripheral file \u201C%1\u201D: %2")
                         .arg(file.fileName(), file.errorString()));
        return nullptr;
    }
    QByteArray bytes;
    bool tooLarge = false;
    if (!common::readAllBounded(file, common::kMaxScriptFileSize, bytes, &tooLarge)) {
        // A file this large is no peripheral model (/dev/zero, say): the run stops rather than
        // going on without the peripherals the user asked for.
        if (tooLarge)
            throw common::HException(common::tooLargeMessage(file.fileName(), common::kMaxScriptFileSize,
                                                             QStringLiteral("a peripheral file may have")));
        reportMessage(QStringLiteral("Simulating without peripherals: cannot read peripheral file \u201C%1\u201D: %2")
                         .arg(file.fileName(), file.errorString()));
        return nullptr;
    }
    m_loadedPeripheralFile = file.fileName();
    return createPeripheralBus(QString::fromUtf8(bytes) + QLatin1Char('\n'));
}

QStringList SimulatedHMonitor::filesRead() const
{
    QStringList files = m_environment.inputFiles();
    files << m_loadedPeripheralFile << m_peripheralInputFile;
    if (target())
        files << target()->targetScriptFilePath();
    files.removeAll(QString());
    return files;
}

void SimulatedHMonitor::connectSimulation()
{
    m_peripherals = loadPeripherals();
    setProfileWindow(0x00000, 0x100000);
    m_breakpointPending = false;
    m_accessHit = false;
    m_stopRequested = false;
}

void SimulatedHMonitor::disconnectSimulation()
{
    const std::unique_ptr<PeripheralBus> peripherals = std::move(m_peripherals);
    m_profile = ZeroedArray<uint32_t>();
    m_profileLength = 0;
    if (!peripherals)
        return;
    try {
        peripherals->closeOutput();
    } catch (...) {
        // Disconnected all the same; the failure to keep the output is the run's error.
        setState(TargetDisconnected);
        throw;
    }
}

std::unique_ptr<PeripheralBus> SimulatedHMonitor::createPeripheralBus(const QString &text)
{
    m_peripheralResetPending = false;
    return std::make_unique<PeripheralSimulator>(text, *this);
}

void SimulatedHMonitor::takePeripheralReset()
{
    if (!m_peripheralResetPending)
        return;
    m_peripheralResetPending = false;
    resetCore();
}

void SimulatedHMonitor::resetCore()
{
    m_cycles = 0;
    m_resetPending = true;
    m_attention = true; // a reset from within an instruction is taken before the next one
    if (m_peripherals)
        m_peripherals->reset();
}

bool SimulatedHMonitor::reset(bool stop)
{
    requireConnected();
    resetCore();
    if (!runResetScript())
        return false;
    if (stop)
        return true;
    return go();
}

bool SimulatedHMonitor::go()
{
    requireConnected();
    if (m_runCycleLimit == 0) {
        reportNotStarted();
        return true;
    }
    return runWithLimit();
}

bool SimulatedHMonitor::run(uint32_t address, bool release)
{
    Q_UNUSED(address);
    Q_UNUSED(release);
    requireConnected();
    if (m_runCycleLimit == 0) {
        reportNotStarted();
        return true;
    }
    resetCore();
    return runWithLimit();
}

void SimulatedHMonitor::reportNotStarted()
{
    if (m_runCycleLimitSet)
        reportMessage(QStringLiteral("Program not started: \u201CRun Cycle Limit\u201D is 0 (a value that is not a whole "
                                    "decimal number of cycles, such as 1e6, 0x10 or 1,000, reads as 0)"));
}

bool SimulatedHMonitor::runWithLimit()
{
    runFor(m_runCycleLimit);
    reportStop();
    return true;
}

void SimulatedHMonitor::reportStop()
{
    reportMessage(QStringLiteral("Simulation stopped at %1 after %2 cycles: %3")
                     .arg(formatAddress(m_stopAddress), groupedCycles(m_runCycles),
                          reasonText(m_stopReason, m_stopMessage)));
}

bool SimulatedHMonitor::stop()
{
    m_stopRequested = true;
    m_attention = true;
    return true;
}

bool SimulatedHMonitor::waitForStop(int timeoutMs)
{
    // The simulation runs on the caller's thread, so it has always stopped by now.
    Q_UNUSED(timeoutMs);
    return m_state != TargetRunning;
}

bool SimulatedHMonitor::step()
{
    requireConnected();
    m_errorKind = SimulatorError::None;
    takePeripheralReset();
    serviceInterrupts();
    // A sleeping processor waits for the next poll, which may wake it, instead of an instruction.
    executeSlice(isAsleep() ? cyclesToNextPoll() : 0);
    return true;
}

SimulatedHMonitor::StopReason SimulatedHMonitor::runFor(uint64_t maxCycles)
{
    requireConnected();
    struct StoppedOnExit
    {
        SimulatedHMonitor *monitor;
        ~StoppedOnExit() { monitor->setState(TargetStopped); }
    } stoppedOnExit{this};

    setState(TargetRunning);
    m_stopRequested = false;
    m_accessHit = false;
    m_errorKind = SimulatorError::None;
    m_runCycles = 0;
    m_stopReason = StopReason::None;
    m_lastEventTick = platform::tickCount();

    const StopReason reason = runInstructions(maxCycles);
    // Output the peripherals buffered during the run is written out now, so that a full disk
    // fails this run rather than going unnoticed.
    if (m_peripherals)
        m_peripherals->flushOutput();

    m_stopReason = reason;
    if (reason == StopReason::ErrorStop) {
        m_stopMessage = m_errorKind == SimulatorError::Misc ? m_miscMessage : simulatorErrorMessage(int(m_errorKind));
        m_stopAddress = m_errorDatum;
    } else {
        m_stopAddress = programCounter();
        if (reason == StopReason::Breakpoint)
            m_stopMessage = QStringLiteral("Breakpoint");
    }
    return reason;
}

// Instructions run in slices: up to the next interrupt poll, or one at a time while breakpoints or
// the instruction trace need each one. A slice ends early after an instruction that raised the
// attention flag, finished the program or put the processor to sleep, so every stop comes right
// after its instruction. While the processor sleeps, each slice is a wait with no instruction.
SimulatedHMonitor::StopReason SimulatedHMonitor::runInstructions(uint64_t maxCycles)
{
    for (;;) {
        m_errorKind = SimulatorError::None;
        if (m_peripheralResetPending) [[unlikely]]
            takePeripheralReset();
        serviceInterrupts();
        if (m_stopRequested) [[unlikely]]
            return StopReason::Requested;
        uint64_t budget = 0;
        if (isAsleep()) [[unlikely]] {
            if (maxCycles != 0 && finishedReason() == StopReason::CpuOff)
                return StopReason::CpuOff;
            budget = sleepBudget(maxCycles);
        } else if (m_eachInstruction) [[unlikely]] {
            if (breakpointBeforeInstruction())
                return StopReason::Breakpoint;
        } else {
            budget = cyclesToNextPoll();
            if (maxCycles != 0)
                budget = std::min(budget, maxCycles - m_runCycles);
        }
        executeSlice(budget);
        if (const StopReason reason = stopCondition(maxCycles); reason != StopReason::None)
            return reason;
    }
}

uint64_t SimulatedHMonitor::sleepBudget(uint64_t maxCycles) const
{
    const uint64_t toPoll = cyclesToNextPoll();
    if (maxCycles == 0)
        return toPoll; // an unlimited run keeps polling, so that a stop request gets through
    const uint64_t left = maxCycles - m_runCycles;
    return pollCanWake() ? std::min(toPoll, left) : left;
}

void SimulatedHMonitor::executeSlice(uint64_t cycleBudget)
{
    m_attention = false;
    const RunSlice slice{uint32_t(std::min<uint64_t>(cycleBudget, UINT32_MAX)), m_profile.data(), m_profileBase,
                         m_profileLength, &m_attention};
    m_inSlice = true;
    uint32_t used = 0;
    try {
        used = executeInstructions(slice);
    } catch (...) {
        // A peripheral failure ends the slice inside an instruction: the cycles run until then,
        // which the peripherals have already seen, still count, and nothing of the slice is
        // left over for the next reset or slice to see.
        used = cyclesInSlice();
        m_inSlice = false;
        m_cycles += used;
        m_runCycles += used;
        throw;
    }
    m_inSlice = false;
    m_cycles += used;
    m_runCycles += used;
}

SimulatedHMonitor::StopReason SimulatedHMonitor::stopCondition(uint64_t maxCycles) const
{
    if (m_attention) [[unlikely]] {
        if (m_stopRequested)
            return StopReason::Requested;
        if (m_accessHit)
            return StopReason::Breakpoint;
        if (m_errorKind != SimulatorError::None && stopsOn(m_errorKind))
            return StopReason::ErrorStop;
    }
    // Only a run with a cycle limit ends by itself: when the program has finished or the limit is spent.
    if (maxCycles == 0)
        return StopReason::None;
    if (const StopReason reason = finishedReason(); reason != StopReason::None)
        return reason;
    return m_runCycles >= maxCycles ? StopReason::CycleLimit : StopReason::None;
}

bool SimulatedHMonitor::breakpointBeforeInstruction()
{
    const uint32_t pc = programCounter();
    if (m_breakpointPending) {
        // Resuming at a breakpoint executes the instruction it stopped at.
        m_breakpointPending = false;
        m_stopMessage.clear();
    } else if (m_hasExecuteBreakpoints && breakpointAt(pc)) {
        m_breakpointPending = true;
        if (m_jumpCountEnabled && m_jumpCountMode == AtBreakpoint)
            recordTrace(pc);
        return true;
    }
    if (m_traceEveryInstruction)
        recordTrace(pc);
    return false;
}

void SimulatedHMonitor::processEventsIfDue()
{
    const uint64_t now = platform::tickCount();
    if (now - m_lastEventTick < kEventIntervalMs)
        return;
    m_lastEventTick = now;
    if (m_peripherals)
        m_peripherals->checkInterrupted();
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void SimulatedHMonitor::setErrorStop(SimulatorError kind, bool on)
{
    const uint32_t bit = 1u << int(kind);
    m_errorStops = on ? (m_errorStops | bit) : (m_errorStops & ~bit);
}

void SimulatedHMonitor::recordError(SimulatorError kind, uint32_t datum)
{
    // The first problem of a step is kept, unless a later one is a kind that stops the run.
    if (m_errorKind == SimulatorError::None || (!stopsOn(m_errorKind) && stopsOn(kind))) {
        m_errorKind = kind;
        m_errorDatum = datum;
    }
    m_attention = true;
}

void SimulatedHMonitor::recordMiscError(uint32_t datum, const QString &message)
{
    recordError(SimulatorError::Misc, datum);
    if (m_errorKind == SimulatorError::Misc)
        m_miscMessage = message;
}

int SimulatedHMonitor::addBreakpoint(const Breakpoint &breakpoint)
{
    m_breakpoints.push_back(breakpoint);
    updateWatching();
    return int(m_breakpoints.size()) - 1;
}

void SimulatedHMonitor::clearBreakpoints()
{
    m_breakpoints.clear();
    m_breakpointPending = false;
    m_errorStops = 0;
    m_stopMessage.clear();
    updateWatching();
}

void SimulatedHMonitor::updateWatching()
{
    bool memory = false;
    bool registers = false;
    m_hasExecuteBreakpoints = false;
    for (const Breakpoint &breakpoint : m_breakpoints) {
        if (breakpoint.kind == Breakpoint::Execute)
            m_hasExecuteBreakpoints = true;
        else if (breakpoint.onRegister)
            registers = true;
        else
            memory = true;
    }
    m_eachInstruction = m_hasExecuteBreakpoints || m_traceEveryInstruction;
    setAccessWatching(memory, registers, m_jumpCountEnabled);
}

bool SimulatedHMonitor::breakpointAt(uint32_t pc) const
{
    for (const Breakpoint &breakpoint : m_breakpoints) {
        if (breakpoint.kind != Breakpoint::Execute)
            continue;
        const bool inside = pc - breakpoint.address < breakpoint.length;
        if (inside != breakpoint.inverted)
            return true;
    }
    return false;
}

bool SimulatedHMonitor::accessMatches(const Breakpoint &breakpoint, bool onRegister, uint32_t address, unsigned size,
                                      uint32_t value, bool write) const
{
    if (breakpoint.kind == Breakpoint::Execute || breakpoint.onRegister != onRegister)
        return false;
    if ((breakpoint.kind == Breakpoint::Write) != write)
        return false;
    const uint64_t first = breakpoint.address;
    const uint64_t last = first + std::max<uint32_t>(breakpoint.length, 1) - 1;
    const bool overlaps = address <= last && uint64_t(address) + size - 1 >= first;
    if (overlaps == breakpoint.inverted)
        return false;
    if (!breakpoint.compareValue)
        return true;
    const uint32_t actual = value & breakpoint.mask;
    const uint32_t expected = breakpoint.value & breakpoint.mask;
    switch (breakpoint.comparison) {
    case Breakpoint::Equal:
        return actual == expected;
    case Breakpoint::NotEqual:
        return actual != expected;
    case Breakpoint::NotAbove:
        return actual <= expected;
    default:
        return actual >= expected;
    }
}

void SimulatedHMonitor::memoryAccessed(uint32_t address, unsigned size, uint32_t value, bool write)
{
    for (const Breakpoint &breakpoint : m_breakpoints) {
        if (accessMatches(breakpoint, false, address, size, value, write))
            m_accessHit = m_attention = true;
    }
}

void SimulatedHMonitor::registerAccessed(unsigned reg, uint32_t value, bool write)
{
    for (const Breakpoint &breakpoint : m_breakpoints) {
        if (accessMatches(breakpoint, true, reg, 1, value, write))
            m_accessHit = m_attention = true;
    }
}

void SimulatedHMonitor::pcWritten(uint32_t pc)
{
    ++m_jumpCount;
    if (m_jumpCountMode == OnPcWrite)
        recordTrace(pc);
}

void SimulatedHMonitor::recordTrace(uint32_t pc)
{
    if (int(m_trace.size()) < m_traceBufferSize) {
        m_trace.push_back(pc);
        return;
    }
    if (!m_traceWrapping || m_trace.empty())
        return;
    m_trace[m_traceOldest] = pc;
    m_traceOldest = (m_traceOldest + 1) % m_trace.size();
}

void SimulatedHMonitor::setProfileWindow(uint32_t base, uint32_t length)
{
    length = std::min(length, kMaxProfileLength);
    m_profile = ZeroedArray<uint32_t>(length);
    m_profileBase = base;
    m_profileLength = length;
}

uint32_t SimulatedHMonitor::profileCount(uint32_t address) const
{
    return address - m_profileBase < m_profileLength ? m_profile[address - m_profileBase] : 0;
}

} // namespace zim::simulator
