// The JTAG monitor base: connection completion, FLASH erase, EEM triggers, timer freeze and
// clock control over the operations a driver supplies.
#include "msp430/msp430jtagmonitorinterface.h"

#include "common/hexception.h"

#include <algorithm>

namespace zim::msp430 {

MSP430JTAGMonitorInterface::MSP430JTAGMonitorInterface(uint32_t flags)
    : target::DevicePort(flags), target::TargetMemoryInterface(false, 2, true)
{
    const QString no = QStringLiteral("No");
    registerProperty(QStringLiteral("identify"), QStringLiteral("Connection"), QStringLiteral("Identify"),
                     QStringLiteral("Identify device on connect."), no);
    registerProperty(QStringLiteral("releaseJTAG"), QStringLiteral("Connection"), QStringLiteral("Release JTAG"),
                     QStringLiteral("Release the JTAG signals when \"Reset\" or \"Start Without Debugging\" are used "
                                    "and on \"Stop Debugging\"."),
                     no);
    registerProperty(QStringLiteral("emulation"), QStringLiteral("Emulation"), QStringLiteral("Emulation Level"),
                     QStringLiteral("Low = 2 Breakpoints; Medium = 3 Breakpoints; High = 8 Breakpoints."),
                     QStringLiteral("High"));
    registerProperty(QStringLiteral("clockControl"), QStringLiteral("Emulation"), QStringLiteral("Clock Control"),
                     QStringLiteral("None = No Clock Control; Standard = General Clock Control; Extended = General "
                                    "and Module Clock Control."),
                     QStringLiteral("Extended"));
    registerProperty(QStringLiteral("unlockSegmentA"), QStringLiteral("Loader"),
                     QStringLiteral("Enable Info SegmentA Erase/Write"),
                     QStringLiteral("Info SegmentA can be erased/written."), no);
}

MSP430JTAGMonitorInterface::~MSP430JTAGMonitorInterface() = default;

QString MSP430JTAGMonitorInterface::emulation() const
{
    switch (emulationLevel()) {
    case 1: return QStringLiteral("Low");
    case 2: return QStringLiteral("Medium");
    case 3: return QStringLiteral("High");
    default: return QString();
    }
}

QString MSP430JTAGMonitorInterface::clockControl() const
{
    switch (clockControlLevel()) {
    case 0: return QStringLiteral("None");
    case 1: return QStringLiteral("Standard");
    case 2: return QStringLiteral("Extended");
    default: return QString();
    }
}

QString MSP430JTAGMonitorInterface::formatAddress(uint32_t address) const
{
    return QString::asprintf(addressDisplayWidth() == 5 ? "%05x" : "%04x", address);
}

bool MSP430JTAGMonitorInterface::isFlash(uint32_t address) const
{
    return (address >= infoStart() && address <= infoEnd()) || (address >= flashStart() && address <= flashEnd());
}

void MSP430JTAGMonitorInterface::setState(TargetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    reportState(state);
}

void MSP430JTAGMonitorInterface::completeConnection(const QString &deviceType)
{
    m_deviceType = deviceType;
    clearMemoryMap();
    addMemoryRange(0, flashEnd());
    setAddressDisplayWidth(hasExtendedMemory() ? 5 : 4);
    m_connected = true;
    m_registers = std::make_unique<MSP430Registers>(hasExtendedMemory());
    m_triggers = TriggerTable::forDevice(breakpointCount(), emulationLevel());
    m_requests.clear();
    m_pcInRam.reset();
    setState(TargetConnected);
}

void MSP430JTAGMonitorInterface::completeDisconnection()
{
    m_connected = false;
    m_registers.reset();
    m_erasePlan.reset();
    m_triggers = TriggerTable();
    m_requests.clear();
    m_pcInRam.reset();
    for (FrozenTimer &timer : m_timers)
        timer.saved = false;
    setState(TargetDisconnected);
}

void MSP430JTAGMonitorInterface::beginErase()
{
    m_erasePlan = std::make_unique<FlashErasePlan>(
        FlashLayout{infoStart(), infoEnd(), infoSegmentSize(), flashStart(), flashEnd()});
}

void MSP430JTAGMonitorInterface::eraseRange(uint32_t address, uint32_t count, uint32_t &start, uint32_t &length)
{
    // A range erased outside a download's bracket is planned and erased on its own.
    if (!m_erasePlan) {
        target::eraseInBracket(*this, [&] { eraseRange(address, count, start, length); });
        return;
    }
    m_erasePlan->eraseRange(address, count, &start, &length);
}

void MSP430JTAGMonitorInterface::endErase()
{
    if (!m_erasePlan)
        return;
    const std::unique_ptr<FlashErasePlan> plan = std::move(m_erasePlan);
    using target::ProgressReport;
    const uint32_t total = plan->markedCount();
    reportProgress(ProgressReport::open(ProgressReport::Phase::EraseSegments, total, ProgressReport::Unit::Sectors));
    for (const FlashSegmentErase &erase : plan->erases()) {
        reportMessage(erase.message);
        eraseSegment(erase.start, erase.length);
        reportProgress(ProgressReport::advance(ProgressReport::Phase::EraseSegments, uint32_t(erase.progress), total,
                                               ProgressReport::Unit::Sectors));
    }
}

void MSP430JTAGMonitorInterface::setHardwareBreakpoint(uint32_t trigger, uint32_t address, uint32_t reaction)
{
    Q_UNUSED(reaction);
    writeEEMRegister(8 * trigger, address);
}

void MSP430JTAGMonitorInterface::clearHardwareBreakpoint(uint32_t trigger, uint32_t reaction)
{
    Q_UNUSED(trigger);
    Q_UNUSED(reaction);
}

void MSP430JTAGMonitorInterface::runSteps(const std::vector<EEMStep> &steps)
{
    for (const EEMStep &step : steps) {
        switch (step.kind) {
        case EEMStep::SetTrigger:
            setHardwareBreakpoint(step.trigger, step.value, step.reaction);
            break;
        case EEMStep::ClearTrigger:
            clearHardwareBreakpoint(step.trigger, step.reaction);
            break;
        case EEMStep::WriteRegister:
            writeEEMRegister(step.registerNumber, step.value);
            break;
        }
    }
}

BreakpointId MSP430JTAGMonitorInterface::setBreakpoint(const BreakpointRequest &request)
{
    const BreakpointId id = m_nextBreakpoint;
    EEMPlan plan = EEMTriggerPlanner::set(m_triggers, emulationLevel(), id, request);
    ++m_nextBreakpoint;
    m_triggers = std::move(plan.table);
    m_requests[id] = request;
    runSteps(plan.steps);
    return id;
}

void MSP430JTAGMonitorInterface::clearBreakpoint(BreakpointId id)
{
    const auto request = m_requests.find(id);
    if (request == m_requests.end())
        return;
    EEMPlan plan = EEMTriggerPlanner::clear(m_triggers, id, request->second.reaction);
    m_triggers = std::move(plan.table);
    m_requests.erase(request);
    runSteps(plan.steps);
}

void MSP430JTAGMonitorInterface::setPcInRamBreak(bool on)
{
    if (!on) {
        if (m_pcInRam)
            clearBreakpoint(*m_pcInRam);
        m_pcInRam.reset();
        return;
    }
    if (m_pcInRam)
        return;
    try {
        m_pcInRam = setBreakpoint(EEMTriggerPlanner::pcInRamRequest(ramEnd()));
    } catch (const DebuggerBreakpointFailure &) {
        m_pcInRam.reset();
    }
}

namespace {

constexpr uint32_t kStateStorageIndex = 0x9A;
constexpr uint32_t kStateStorageWriteIndex = 0x9B;
constexpr uint32_t kStateStorageData = 0x9D;
constexpr uint32_t kStateStorageControl = 0x9E;
constexpr uint32_t kStateStorageStatus = 0x9F;

} // namespace

void MSP430JTAGMonitorInterface::enableStateStorage(bool on)
{
    writeEEMRegister(kStateStorageControl, EEMStateStorage::withEnabled(readEEMRegister(kStateStorageControl), on));
}

void MSP430JTAGMonitorInterface::resetStateStorage()
{
    writeEEMRegister(kStateStorageControl, EEMStateStorage::resetValue(readEEMRegister(kStateStorageControl)));
}

void MSP430JTAGMonitorInterface::setStateStorageStopWhenFull(bool stop)
{
    writeEEMRegister(kStateStorageControl,
                     EEMStateStorage::withStopWhenFull(readEEMRegister(kStateStorageControl), stop));
}

void MSP430JTAGMonitorInterface::setStateStorageMode(uint32_t mode)
{
    writeEEMRegister(kStateStorageControl, EEMStateStorage::withMode(readEEMRegister(kStateStorageControl), mode));
}

uint32_t MSP430JTAGMonitorInterface::stateStorageMode() const
{
    return EEMStateStorage::modeOf(readEEMRegister(kStateStorageControl));
}

void MSP430JTAGMonitorInterface::beginStateStorageRead()
{
    m_stateStorage.begin(readEEMRegister(kStateStorageStatus), readEEMRegister(kStateStorageWriteIndex));
}

bool MSP430JTAGMonitorInterface::readStateStorageEntry(uint32_t &firstWord, uint32_t &secondWord)
{
    const std::optional<StateStorageCursor::EntryRead> entry = m_stateStorage.next();
    if (!entry)
        return false;
    writeEEMRegister(kStateStorageIndex, entry->firstIndex);
    firstWord = readEEMRegister(kStateStorageData);
    writeEEMRegister(kStateStorageIndex, entry->secondIndex);
    secondWord = readEEMRegister(kStateStorageData);
    return true;
}

void MSP430JTAGMonitorInterface::setTimerFreeze(bool basicTimer, bool timerA, bool timerB)
{
    m_timers[0].freeze = basicTimer;
    m_timers[1].freeze = timerA;
    m_timers[2].freeze = timerB;
}

bool MSP430JTAGMonitorInterface::stop()
{
    if (m_state == TargetStopped)
        return true;
    try {
        if (!isInState(TargetStopped))
            return false;
        if (!handleStop())
            return false;
        setState(TargetStopped);
        freezeTimers();
        return true;
    } catch (const common::HException &) {
        return false;
    }
}

void MSP430JTAGMonitorInterface::freezeTimers()
{
    static constexpr uint32_t addresses[3] = {kBasicTimerControl, kTimerAControl, kTimerBControl};
    for (FrozenTimer &timer : m_timers)
        timer.saved = false;
    for (int i = 0; i < 3; ++i) {
        FrozenTimer &timer = m_timers[i];
        if (!timer.freeze)
            continue;
        timer.value = peekUint16(addresses[i]);
        if (i == 0) {
            // The basic timer stops when its hold bit is clear by writing it as 0.
            if (!(timer.value & 0x40))
                pokeUint16(addresses[i], 0);
        } else if (timer.value & 0x30) {
            pokeUint16(addresses[i], uint16_t(timer.value & ~0x30));
        }
        timer.saved = true;
    }
}

void MSP430JTAGMonitorInterface::prepareResume()
{
    static constexpr uint32_t addresses[3] = {kBasicTimerControl, kTimerAControl, kTimerBControl};
    for (int i = 0; i < 3; ++i) {
        if (m_timers[i].saved) {
            pokeUint16(addresses[i], m_timers[i].value);
            m_timers[i].saved = false;
        }
    }
    if (!eemAvailable())
        return;
    const uint32_t level = clockControlLevel();
    if (level == 0)
        return;
    uint32_t general = kGeneralClockControl;
    if (level != 1)
        general &= ~0x20u;
    else
        general &= ~0x08u;
    writeEEMRegister(kGeneralClockControlRegister, general);
    if (level == 2)
        writeEEMRegister(kModuleClockControlRegister, kModuleClockControl);
}

std::optional<BreakpointId> MSP430JTAGMonitorInterface::breakpointAt(uint32_t pc) const
{
    for (const std::optional<BreakpointId> &id : triggerTable().triggers) {
        const BreakpointRequest *request = id ? breakpointRequest(*id) : nullptr;
        if (request && request->kind == BreakpointRequest::Execute && !request->isRegister && !request->outsideRange
            && pc >= request->address && pc - request->address < std::max<uint32_t>(request->length, 1))
            return id;
    }
    return std::nullopt;
}

bool MSP430JTAGMonitorInterface::pcInStepRange(uint32_t pc) const
{
    const std::optional<BreakpointId> &special = triggerTable().special;
    const BreakpointRequest *range = special ? breakpointRequest(*special) : nullptr;
    return range && range->length != 0 && pc >= range->address && pc - range->address < range->length;
}

} // namespace zim::msp430
