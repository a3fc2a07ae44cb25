// The own-protocol JTAG target over the msp430d driver table.
#include "msp430/msp430targetinterface2.h"

#include "common/hexception.h"
#include "msp430/deviceidentification.h"
#include "project/propertyvalue.h"
#include "target/targetenvironment.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace zim::msp430 {

namespace {
constexpr uint32_t kWatchdogAddress = 0x0120;
constexpr uint8_t kJtagId = 0x89;
constexpr uint8_t kJtagIdCpuXv2 = 0x91;
const char kCannotConnect[] = "Cannot connect to target. Check that the target is powered, the JTAG cable is connected "
                              "and that the JTAG fuse has not blown.";
const char kCommunication[] = "Can't communicate with target MSP430. Please check you have the target device "
                              "connected correctly.";
const char kCpuXv2[] = "Cannot connect to target: the device reports JTAG ID 0x91, a CPUXv2 core (MSP430F5xx, "
                       "MSP430F6xx and FRAM families), which this JTAG driver does not support. Use the \u201CTI "
                       "MSP430.dll Interface\u201D target (-target msp430_dll) for it.";
// The EEM's general control register and its flag for a CPU its triggers stopped.
constexpr uint32_t kEemGeneralControl = 0x82;
constexpr uint32_t kEemStopped = 0x80;
// Polls of the stop flag a single step waits for before it takes the CPU anyway (a CPU in
// a low-power mode fetches nothing).
constexpr int kStepPolls = 16;
// Instructions of a step range gone through in one poll, so that a range the program never
// leaves still lets the wait time out.
constexpr int kStepsPerPoll = 1000;

} // namespace

MSP430TargetInterface2::MSP430TargetInterface2(target::TargetEnvironment &environment, MSP430DeviceLibrary &devices)
    : m_environment(environment), m_devices(devices)
{
    msp430dFillBase(m_driver);
    const QString no = QStringLiteral("No");
    registerProperty(QStringLiteral("verifyWrites"), QStringLiteral("Loader"), QStringLiteral("Verify FLASH Writes"),
                     QStringLiteral("Verify all writes to FLASH."), no);
    registerProperty(QStringLiteral("verifyErase"), QStringLiteral("Loader"), QStringLiteral("Verify FLASH Erase"),
                     QStringLiteral("Verify FLASH erasure."), no);
    registerProperty(QStringLiteral("blockWrite"), QStringLiteral("Loader"),
                     QStringLiteral("FLASH Block Write Enabled"), QStringLiteral("Use block mode FLASH programming."),
                     no);
    registerProperty(QStringLiteral("enableRegulator"), QStringLiteral("Connection"),
                     QStringLiteral("Enable Regulator"),
                     QStringLiteral("Specifies whether the regulator is enabled when the target is connected."),
                     QStringLiteral("Yes"));
}

MSP430TargetInterface2::~MSP430TargetInterface2() = default;

uint32_t MSP430TargetInterface2::ramStart() const
{
    return m_devices->ram2Start() ? m_devices->ram2Start() : m_devices->ramStart();
}
uint32_t MSP430TargetInterface2::ramEnd() const
{
    return m_devices->ram2End() ? m_devices->ram2End() : m_devices->ramEnd();
}
uint32_t MSP430TargetInterface2::flashStart() const { return m_devices->flashStart(); }
uint32_t MSP430TargetInterface2::flashEnd() const { return m_devices->flashEnd(); }
uint32_t MSP430TargetInterface2::infoStart() const { return m_devices->infoStart(); }
uint32_t MSP430TargetInterface2::infoEnd() const { return m_devices->infoEnd(); }
uint32_t MSP430TargetInterface2::infoSegmentSize() const { return m_devices->infoSegmentSize(); }
uint32_t MSP430TargetInterface2::emulationLevel() const { return uint32_t(m_devices->emulationLevel()); }
uint32_t MSP430TargetInterface2::breakpointCount() const { return uint32_t(m_devices->breakpointCount()); }
bool MSP430TargetInterface2::hasExtendedMemory() const { return m_devices->hasExtendedMemory(); }
uint32_t MSP430TargetInterface2::clockControlLevel() const { return uint32_t(m_devices->clockControlLevel()); }
uint32_t MSP430TargetInterface2::clockModuleCount() const { return uint32_t(m_devices->clockModuleCount()); }
QString MSP430TargetInterface2::clockModuleName(uint32_t index) const
{
    return QString::fromUtf8(m_devices->clockModuleName(int(index)));
}

uint32_t MSP430TargetInterface2::readEEMRegister(uint32_t reg) const
{
    uint32_t value = 0;
    auto &d = const_cast<Msp430dDriver &>(m_driver);
    return d.readEem(&d, reg, 1, &value) ? value : 0;
}

void MSP430TargetInterface2::writeEEMRegister(uint32_t reg, uint32_t value)
{
    m_driver.writeEem(&m_driver, reg, 1, &value);
}

void MSP430TargetInterface2::fail(const QString &message)
{
    m_driver.setStatus(&m_driver, 5);
    const char *text = m_driver.errorText(&m_driver);
    throw common::HException(text && *text ? message + QStringLiteral(": ") + QString::fromUtf8(text) : message);
}

void MSP430TargetInterface2::failRange(const QString &message, uint32_t address, uint32_t length)
{
    fail(message
         + QString::asprintf(" in range 0x%04X - 0x%04X", address & 0xFFFF, (address + length - 1) & 0xFFFF));
}

void MSP430TargetInterface2::checkReconnect()
{
    if (!m_reconnectNeeded)
        return;
    reconnectTransport();
    clearError();
    if (!m_driver.initJtag(&m_driver))
        fail(QLatin1String(kCommunication));
    m_reconnectNeeded = false;
}

void MSP430TargetInterface2::powerCycle()
{
    using target::ProgressReport;
    platform::Clock &clock = m_environment.clock();
    reportProgress(ProgressReport::open(ProgressReport::Phase::PowerCycle, 10, ProgressReport::Unit::None));
    m_driver.setRegulator(&m_driver, 0);
    for (uint32_t i = 0; i <= 10; ++i) {
        if (i == 8)
            m_driver.setRegulator(&m_driver, 1);
        reportProgress(ProgressReport::advance(ProgressReport::Phase::PowerCycle, i, 10, ProgressReport::Unit::None));
        clock.sleep(250);
    }
}

void MSP430TargetInterface2::connectDevice()
{
    Msp430dDriver *d = &m_driver;
    QString type;
    if (target::TargetScriptHost *host = m_environment.scriptHost()) {
        if (project::ProjectElement *project = host->currentProject(); project && !host->configName().isEmpty())
            type = m_environment.projectSystem().propertyValue(project, project::PropertyDefinitions::debugInterface(),
                                                                host->configName());
    }
    if (type == QLatin1String("SPY_BI_WIRE") || (type == QLatin1String("SPY_BI_WIRE_JTAG") && !d->enterSpyBiWireJtag))
        throw common::HException(QStringLiteral("Unsupported interface type ") + type);

    platform::Clock &clock = m_environment.clock();
    if (m_enableRegulator) {
        d->setRegulator(d, 1);
        clock.sleep(50);
    }
    int retries = 0;
    int jtagId = -1;
    for (;;) {
        clearError();
        if (type == QLatin1String("SPY_BI_WIRE_JTAG"))
            d->enterSpyBiWireJtag(d);
        bool ok = d->initJtag(d) && d->checkFuse(d) == 0;
        if (ok) {
            jtagId = d->shiftInstructionCapture(d, 0x14);
            ok = jtagId == kJtagId;
            if (jtagId == kJtagIdCpuXv2) {
                d->close(d);
                throw common::HException(QString::fromUtf8(kCpuXv2));
            }
        }
        if (ok)
            break;
        if (retries < 2 && !d->deviceGone) {
            d->setLine(d, 0);
            clock.sleep(50);
            d->setLine(d, 1);
            clock.sleep(50);
        } else if (m_enableRegulator && retries <= 2 && !d->deviceGone) {
            powerCycle();
        } else {
            // The transport's own reason outlives the close.
            const std::string reason = d->lastError;
            d->close(d);
            d->lastError = reason;
            fail(QLatin1String(kCannotConnect));
        }
        ++retries;
    }

    // A connection that fails from here on closes the transport too.
    try {
        finishConnect();
    } catch (...) {
        d->close(d);
        throw;
    }
}

void MSP430TargetInterface2::finishConnect()
{
    Msp430dDriver *d = &m_driver;
    clearError();
    if (!d->reset(d, nullptr, &m_watchdog))
        fail(QLatin1String(kCommunication));
    d->setFeatures(d, 0);
    int index = -1;
    if (!identify()) {
        const QString device = m_environment.selectedDevice();
        QString wanted = msp430IdentifyString(m_environment.propertyGroups(), device);
        if (wanted.isEmpty())
            wanted = device;
        index = findMSP430Device(m_devices.devices(), wanted);
    } else {
        if (!d->enterDebugState(d, m_registerBlock, 0, &m_watchdog))
            fail(QStringLiteral("Cannot enter debug state"));
        uint8_t id[16] = {};
        if (!d->readBytes(d, 0x0FF0, 16, id))
            fail(QLatin1String(kCommunication));
        const QStringList named = [&] {
            QStringList names = msp430IdentifyStrings(m_environment.propertyGroups(), m_environment.selectedDevice());
            if (!m_environment.selectedDevice().isEmpty())
                names.append(m_environment.selectedDevice());
            return names;
        }();
        const DeviceChoice choice = chooseMSP430Device(
            m_devices.devices(), id,
            [d]() -> int {
                if (!d->shiftInstruction(d, 0x29))
                    return -1;
                return int(d->shiftData8Capture(d, 0));
            },
            named);
        index = choice.index;
        if (!choice.reason.isEmpty())
            reportMessage(choice.reason);
        d->release(d, m_registerBlock, 0, m_watchdog);
    }
    if (index < 0) {
        clearError();
        fail(QStringLiteral("Unknown MSP430 device"));
    }
    selectDevice(index);
    for (uint32_t t = 0; t < breakpointCount(); ++t) {
        const uint32_t zero[4] = {};
        d->writeEem(d, 8 * t, 4, zero);
    }
    for (uint32_t reg : {0x82u, 0x80u, 0x88u, 0x8Au, 0x9Eu})
        writeEEMRegister(reg, 0);
    if (!d->reset(d, nullptr, &m_watchdog))
        fail(QLatin1String(kCommunication));
    m_debugState = true;
    storeTargetVoltage(d->readTargetVoltage(d));
    completeConnection(QString::fromUtf8(m_devices->selectedName()));
    setState(TargetStopped);
}

void MSP430TargetInterface2::selectDevice(int index)
{
    m_devices->select(index);
    const uint32_t features = (m_devices->hasTestPin() ? 1u : 0u) | (m_devices->hasCpuX() ? 2u : 0u)
                              | (m_devices->hasCpuXv2() ? 4u : 0u) | (m_devices->hasFram() ? 8u : 0u);
    m_driver.setFeatures(&m_driver, features);
}

void MSP430TargetInterface2::disconnect()
{
    if (!isConnected())
        throw common::HException(QStringLiteral("Target interface not connected"));
    const bool releaseJtag = releaseJTAG();
    setReleaseJTAG(false);
    clearError();
    if (!m_reconnectNeeded)
        m_driver.release(&m_driver, nullptr, 1, m_watchdog);
    setReleaseJTAG(releaseJtag);
    m_driver.setRegulator(&m_driver, 0);
    m_driver.close(&m_driver);
    m_reconnectNeeded = false;
    m_debugState = false;
    m_hitsLeft.clear();
    completeDisconnection();
}

void MSP430TargetInterface2::enterDebugState()
{
    clearError();
    if (!m_driver.enterDebugState(&m_driver, m_registerBlock, 1, &m_watchdog))
        fail(QStringLiteral("Cannot enter debug state"));
    m_debugState = true;
    if (MSP430Registers *regs = static_cast<MSP430Registers *>(registers())) {
        for (int n = 0; n < 16; ++n)
            regs->write(n, m_registerBlock[n]);
        regs->clearChanged();
    }
}

void MSP430TargetInterface2::releaseCpu(bool run)
{
    clearError();
    if (MSP430Registers *regs = static_cast<MSP430Registers *>(registers())) {
        for (int n = 0; n < 16; ++n)
            m_registerBlock[n] = regs->read(n);
        regs->clearChanged();
    }
    if (!m_driver.release(&m_driver, m_registerBlock, run ? 1 : 0, m_watchdog))
        fail(QLatin1String(kCommunication));
    m_debugState = !run;
}

void MSP430TargetInterface2::holdCpu(bool &releaseAfter)
{
    checkReconnect();
    releaseAfter = false;
    if (!m_debugState) {
        enterDebugState();
        releaseAfter = true;
    }
}

void MSP430TargetInterface2::releaseAfterAccess(bool releaseAfter)
{
    // A CPU caught at a breakpoint or in the step range stays held for the next poll to judge:
    // letting it go would lose the stop.
    if (releaseAfter && !breakpointAt(heldPc()) && !pcInStepRange(heldPc()))
        letRun();
}

uint32_t MSP430TargetInterface2::heldPc()
{
    auto *regs = static_cast<MSP430Registers *>(registers());
    return regs ? regs->pc() : m_registerBlock[0];
}

bool MSP430TargetInterface2::reset(bool stop)
{
    checkReconnect();
    clearError();
    uint32_t pc = 0;
    if (!m_driver.reset(&m_driver, &pc, &m_watchdog))
        fail(QLatin1String(kCommunication));
    if (MSP430Registers *regs = static_cast<MSP430Registers *>(registers())) {
        regs->setPC(pc);
        for (int n = 0; n < 16; ++n)
            m_registerBlock[n] = regs->read(n);
    }
    m_driver.writeRegisters(&m_driver, m_registerBlock);
    if (MSP430Registers *regs = static_cast<MSP430Registers *>(registers()))
        regs->clearChanged();
    m_debugState = true;
    // A run from reset counts breakpoint passes afresh.
    m_hitsLeft.clear();
    setState(TargetStopped);
    m_driver.setStatus(&m_driver, 2);
    if (!stop && runResetScript())
        return go();
    return true;
}

bool MSP430TargetInterface2::go()
{
    // A running CPU needs nothing, not even the signals it was given up with.
    if (!m_debugState)
        return true;
    checkReconnect();
    prepareResume();
    // Inside the step range the program goes by single steps; the poll carries on with them.
    if (pcInStepRange(heldPc())) {
        stepOnce();
        setState(TargetRunning);
        m_driver.setStatus(&m_driver, 1);
        return true;
    }
    startRun();
    releaseSignals();
    return true;
}

void MSP430TargetInterface2::letRun()
{
    releaseCpu(true);
    releaseSignals();
}

void MSP430TargetInterface2::releaseSignals()
{
    // Released JTAG signals let the program run undisturbed; the next operation reconnects.
    if (releaseJTAG()) {
        m_driver.close(&m_driver);
        m_reconnectNeeded = true;
    }
}

void MSP430TargetInterface2::startRun()
{
    releaseCpu(true);
    setState(TargetRunning);
    m_driver.setStatus(&m_driver, 1);
}

bool MSP430TargetInterface2::run(uint32_t address, bool release)
{
    Q_UNUSED(address);
    Q_UNUSED(release);
    // A download leaves the cached program counter stale: the program starts from its reset
    // vector.
    reset(true);
    return go();
}

bool MSP430TargetInterface2::stop()
{
    if (state() == TargetStopped)
        return true;
    try {
        checkReconnect();
        if (!m_debugState)
            enterDebugState();
    } catch (const common::HException &) {
        return false;
    }
    m_stopRequested = true;
    return MSP430JTAGMonitorInterface::stop();
}

bool MSP430TargetInterface2::waitForStop(int timeoutMs)
{
    platform::Clock &clock = m_environment.clock();
    const uint64_t end = clock.ticks() + uint64_t(std::max(timeoutMs, 0));
    for (;;) {
        // The poll: a CPU the EEM stopped, judged by handleStop, with the timers frozen.
        if (MSP430JTAGMonitorInterface::stop())
            return true;
        if (clock.ticks() >= end)
            return false;
        clock.sleep(500);
    }
}

bool MSP430TargetInterface2::step()
{
    checkReconnect();
    if (!m_debugState)
        enterDebugState();
    prepareResume();
    stepOnce();
    setState(TargetStopped);
    m_driver.setStatus(&m_driver, 2);
    return true;
}

void MSP430TargetInterface2::stepOnce()
{
    Msp430dDriver *d = &m_driver;
    clearError();
    // Trigger 0 breaks on the next instruction fetch; its own setting comes back afterwards.
    uint32_t saved[4] = {};
    uint32_t savedControl = 0;
    if (!d->readEem(d, 0, 4, saved) || !d->readEem(d, 0x80, 1, &savedControl))
        fail(QLatin1String(kCommunication));
    const uint32_t stepTrigger[4] = {0, 0, 0xFFFF, 1};
    if (!d->writeEem(d, 0, 4, stepTrigger) || !d->modifyEem(d, 0x80, 0xFFFF, 1))
        fail(QLatin1String(kCommunication));
    releaseCpu(true);
    // The step ends at the next fetch; a CPU asleep fetches nothing and is taken where it is.
    for (int poll = 0; poll < kStepPolls; ++poll)
        if (eemStopped())
            break;
    enterDebugState();
    clearError();
    if (!d->writeEem(d, 0, 4, saved) || !d->modifyEem(d, 0x80, 0xFFFE, savedControl & 1))
        fail(QLatin1String(kCommunication));
}

bool MSP430TargetInterface2::eemStopped()
{
    checkReconnect();
    clearError();
    uint32_t control = 0;
    if (!m_driver.readEem(&m_driver, kEemGeneralControl, 1, &control))
        fail(QLatin1String(kCommunication));
    return control & kEemStopped;
}

bool MSP430TargetInterface2::isInState(TargetState state)
{
    const bool stopped = m_debugState || eemStopped();
    return state == TargetStopped ? stopped : !stopped;
}

bool MSP430TargetInterface2::hitStops(BreakpointId id)
{
    // The count is taken from the request at the first hit and counted down once a pass.
    const BreakpointRequest *request = breakpointRequest(id);
    auto left = m_hitsLeft.find(id);
    if (left == m_hitsLeft.end() && request && request->count != 0)
        left = m_hitsLeft.emplace(id, request->count).first;
    return left == m_hitsLeft.end() || left->second == 0 || --left->second == 0;
}

bool MSP430TargetInterface2::handleStop()
{
    if (!m_debugState)
        enterDebugState();
    if (!std::exchange(m_stopRequested, false)) {
        for (int steps = 0;; ++steps) {
            const uint32_t pc = heldPc();
            if (const std::optional<BreakpointId> hit = breakpointAt(pc)) {
                if (hitStops(*hit))
                    break;
                startRun();
                return false;
            }
            if (!pcInStepRange(pc))
                break;
            if (steps == kStepsPerPoll)
                return false;
            stepOnce();
        }
    }
    setState(TargetStopped);
    m_driver.setStatus(&m_driver, 2);
    if (MSP430Registers *regs = static_cast<MSP430Registers *>(registers()))
        regs->clearChanged();
    return true;
}

void MSP430TargetInterface2::beginLoad() { m_driver.setStatus(&m_driver, 3); }
void MSP430TargetInterface2::endLoad() { m_driver.setStatus(&m_driver, 2); }

void MSP430TargetInterface2::readMemory(uint32_t address, uint32_t count, uint8_t *buffer)
{
    clearError();
    if (!m_driver.readBytes(&m_driver, address, count, buffer))
        fail(QStringLiteral("Memory read failed"));
}

void MSP430TargetInterface2::writeMemory(uint32_t address, uint32_t count, const uint8_t *data)
{
    clearError();
    if (!m_driver.writeBytes(&m_driver, address, count, data))
        failRange(QStringLiteral("Memory write failed"), address, count);
}

namespace {

// One piece of a byte access: the peripheral bytes below 0x100 and single odd bytes move as
// bytes, the rest as whole words.
struct AccessPiece
{
    uint32_t offset;
    uint32_t length; // bytes
    bool words;
};

std::vector<AccessPiece> accessPieces(uint32_t address, uint32_t count)
{
    std::vector<AccessPiece> pieces;
    uint32_t i = 0;
    if (address < 0x100) {
        i = std::min(count, 0x100 - address);
        pieces.push_back({0, i, false});
    }
    if (i < count && ((address + i) & 1)) {
        pieces.push_back({i, 1, false});
        ++i;
    }
    if (const uint32_t words = (count - i) / 2) {
        pieces.push_back({i, 2 * words, true});
        i += 2 * words;
    }
    if (i < count)
        pieces.push_back({i, 1, false});
    return pieces;
}

} // namespace

void MSP430TargetInterface2::readBytes(uint32_t address, uint32_t count, uint8_t *buffer)
{
    if (count == 0)
        return;
    bool releaseAfter = false;
    holdCpu(releaseAfter);
    for (const AccessPiece &piece : accessPieces(address, count)) {
        uint8_t *bytes = buffer + piece.offset;
        if (!piece.words) {
            readMemory(address + piece.offset, piece.length, bytes);
            continue;
        }
        std::vector<uint16_t> w(piece.length / 2);
        peekMultUint16(address + piece.offset, uint32_t(w.size()), w.data());
        for (size_t k = 0; k < w.size(); ++k) {
            bytes[2 * k] = uint8_t(w[k]);
            bytes[2 * k + 1] = uint8_t(w[k] >> 8);
        }
    }
    releaseAfterAccess(releaseAfter);
}

void MSP430TargetInterface2::writeBytes(uint32_t address, uint32_t count, const uint8_t *data)
{
    if (count == 0)
        return;
    bool releaseAfter = false;
    holdCpu(releaseAfter);
    for (const AccessPiece &piece : accessPieces(address, count)) {
        const uint8_t *bytes = data + piece.offset;
        if (!piece.words) {
            writeMemory(address + piece.offset, piece.length, bytes);
            continue;
        }
        std::vector<uint16_t> w(piece.length / 2);
        for (size_t k = 0; k < w.size(); ++k)
            w[k] = uint16_t(bytes[2 * k] | (bytes[2 * k + 1] << 8));
        pokeMultUint16(address + piece.offset, uint32_t(w.size()), w.data());
    }
    releaseAfterAccess(releaseAfter);
}

void MSP430TargetInterface2::peekMultUint16(uint32_t address, uint32_t count, uint16_t *words)
{
    clearError();
    if (count && !m_driver.readWords(&m_driver, address, count, words))
        fail(QStringLiteral("Memory read failed"));
    // The watchdog word reads as the shadow the CPU hold stands in for.
    if (address <= kWatchdogAddress && kWatchdogAddress < address + 2 * count && !((kWatchdogAddress - address) & 1))
        words[(kWatchdogAddress - address) / 2] = m_watchdog;
}

void MSP430TargetInterface2::pokeMultUint16(uint32_t address, uint32_t count, const uint16_t *words)
{
    clearError();
    uint32_t first = 0;
    // The watchdog word is kept as the shadow and reaches the device when the CPU is let go.
    if (address <= kWatchdogAddress && kWatchdogAddress < address + 2 * count && !((kWatchdogAddress - address) & 1)) {
        const uint32_t at = (kWatchdogAddress - address) / 2;
        if (at && !m_driver.writeWords(&m_driver, address, at, words))
            failRange(QStringLiteral("Memory write failed"), address, 2 * count);
        m_watchdog = words[at];
        first = at + 1;
    }
    if (first < count && !m_driver.writeWords(&m_driver, address + 2 * first, count - first, words + first))
        failRange(QStringLiteral("Memory write failed"), address, 2 * count);
}

void MSP430TargetInterface2::unlockSegmentA()
{
    uint16_t value = 0;
    clearError();
    if (!m_driver.readWord(&m_driver, 0x012C, &value))
        fail(QLatin1String(kCommunication));
    if ((value & 0x40) && !m_driver.writeWord(&m_driver, 0x012C, uint16_t((value & 0x00BF) | 0xA540)))
        fail(QLatin1String(kCommunication));
}

void MSP430TargetInterface2::programBytes(uint32_t address, uint32_t count, const uint8_t *data)
{
    if (count == 0)
        return;
    if (!isFlash(address) && !isFlash(address + count - 1)) {
        writeBytes(address, count, data);
        return;
    }
    bool releaseAfter = false;
    holdCpu(releaseAfter);
    if (infoSegmentSize() == 64 && MSP430JTAGMonitorInterface::unlockSegmentA())
        unlockSegmentA();
    clearError();
    m_driver.blockWrite = m_blockWrite;
    if (!m_driver.programFlash(&m_driver, address, count, data))
        failRange(QStringLiteral("FLASH programming failed"), address, count);
    if (m_verifyWrites) {
        clearError();
        if (!m_driver.verify(&m_driver, address, count, data))
            failRange(QStringLiteral("FLASH verification failed"), address, count);
    }
    releaseAfterAccess(releaseAfter);
}

bool MSP430TargetInterface2::verifyBytes(uint32_t address, uint32_t count, const uint8_t *data)
{
    bool releaseAfter = false;
    holdCpu(releaseAfter);
    clearError();
    // The watchdog word is compared with its shadow, as a read gives it.
    std::vector<uint8_t> expected(data, data + count);
    bool ok;
    if (address <= kWatchdogAddress + 1 && kWatchdogAddress < address + count) {
        std::vector<uint8_t> got(count);
        readBytes(address, count, got.data());
        ok = got == expected;
    } else {
        ok = m_driver.verify(&m_driver, address, count, data) != 0;
    }
    releaseAfterAccess(releaseAfter);
    return ok;
}

void MSP430TargetInterface2::eraseSegment(uint32_t start, uint32_t length)
{
    if (!isFlash(start))
        return;
    if (start & 1) {
        --start;
        ++length;
    }
    if (length & 1)
        ++length;
    bool releaseAfter = false;
    holdCpu(releaseAfter);
    if (infoSegmentSize() == 64 && MSP430JTAGMonitorInterface::unlockSegmentA())
        unlockSegmentA();
    clearError();
    if (!m_driver.eraseSegment(&m_driver, start))
        failRange(QStringLiteral("Erase bytes failed"), start, length);
    if (m_verifyErase) {
        clearError();
        if (!m_driver.verify(&m_driver, start, length, nullptr))
            failRange(QStringLiteral("FLASH erase verification failed"), start, length);
    }
    releaseAfterAccess(releaseAfter);
}

void MSP430TargetInterface2::eraseAll()
{
    bool releaseAfter = false;
    holdCpu(releaseAfter);
    if (infoSegmentSize() == 64) {
        if (MSP430JTAGMonitorInterface::unlockSegmentA()) {
            unlockSegmentA();
        } else {
            for (uint32_t segment : {0x1000u, 0x1040u, 0x1080u}) {
                clearError();
                if (!m_driver.eraseSegment(&m_driver, segment))
                    failRange(QStringLiteral("Erase bytes failed"), segment, 64);
            }
        }
    }
    clearError();
    if (!m_driver.eraseAll(&m_driver))
        fail(QStringLiteral("FLASH erase all failed"));
    if (m_verifyErase) {
        clearError();
        if (!m_driver.verify(&m_driver, infoStart(), 256, nullptr))
            failRange(QStringLiteral("FLASH erase verification failed"), infoStart(), 256);
        clearError();
        if (!m_driver.verify(&m_driver, flashStart(), 0x10000 - flashStart(), nullptr))
            failRange(QStringLiteral("FLASH erase verification failed"), flashStart(), 0x10000 - flashStart());
    }
    releaseAfterAccess(releaseAfter);
}

void MSP430TargetInterface2::setHardwareBreakpoint(uint32_t trigger, uint32_t address, uint32_t reaction)
{
    writeEEMRegister(8 * trigger, address);
    if (reaction == 0) {
        m_driver.modifyEem(&m_driver, 0x80, 0xFFFFFFFF, 1u << trigger);
    } else {
        m_driver.modifyEem(&m_driver, 0x80, ~(1u << trigger), 0);
        m_driver.modifyEem(&m_driver, 0x98, 0xFFFFFFFF, 1u << trigger);
        m_driver.modifyEem(&m_driver, 0x9E, 0xFFFFFFF9,
                           0x41 | (reaction == 2 ? 0x10 : reaction == 3 ? 0x20 : 0));
    }
}

void MSP430TargetInterface2::clearHardwareBreakpoint(uint32_t trigger, uint32_t reaction)
{
    const uint32_t zero[4] = {};
    m_driver.writeEem(&m_driver, 8 * trigger, 4, zero);
    if (reaction == 0) {
        m_driver.modifyEem(&m_driver, 0x80, ~(1u << trigger), 0);
    } else {
        m_driver.modifyEem(&m_driver, 0x98, ~(1u << trigger), 0);
        m_driver.modifyEem(&m_driver, 0x9E, ~uint32_t(reaction == 2 ? 0x10 : 0x20), 0);
    }
}

} // namespace zim::msp430
