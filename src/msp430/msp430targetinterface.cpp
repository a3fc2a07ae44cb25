// The debug-library target: connection, identification, memory, erase and run control as
// sequences of library calls.
#include "msp430/msp430targetinterface.h"

#include "common/hexception.h"
#include "msp430/msp430devices.h"
#include "project/macros.h"
#include "project/propertyvalue.h"
#include "target/targetenvironment.h"

#include <algorithm>
#include <vector>

namespace zim::msp430 {

namespace {

using common::HException;

// MSP430_Configure modes.
constexpr long long kConfigureInterface = 8;
constexpr long long kConfigureLockedFlash = 5;
// MSP430_Reset methods: every reset kind the library knows, and the plain one used before a
// run with extended clock control.
constexpr long long kResetAll = 7;
constexpr long long kResetPUC = 1;
// MSP430_Erase types.
constexpr long long kEraseSegment = 0;
constexpr long long kEraseAll = 2;
// MSP430_Run modes.
constexpr int kFreeRun = 1;
constexpr int kSingleStep = 2;
constexpr int kRunToBreakpoint = 3;
// MSP430_State answers: running; stopped after a single step.
constexpr long long kStateRunning = 1;
constexpr long long kStateSingleStep = 2;
constexpr uint32_t kAllRegisters = 0xFFFF;
constexpr uint32_t kPCMask = 1;
// How often a wait asks the library for the state.
constexpr int kPollIntervalMs = 500;

} // namespace

MSP430TargetInterface::MSP430TargetInterface(target::TargetEnvironment &environment)
    : m_environment(environment), m_dllPath(QLatin1String(kDefaultDllPath))
{
    setObjectName(QStringLiteral("MSP430TargetInterface"));
    const QString connection = QStringLiteral("Connection");
    registerProperty(QStringLiteral("port"), connection, QStringLiteral("Port Name"),
                     QStringLiteral("Provide a target-specific parameter, e.g. LPT1, USB."));
    registerProperty(QStringLiteral("targetDllPath"), connection, QStringLiteral("Target Driver DLL Path"),
                     QStringLiteral("Specifies the path to use to load the MSP430 target driver DLL."),
                     QLatin1String(kDefaultDllPath));
    registerProperty(QStringLiteral("isUsb"), connection, QStringLiteral("Is USB Device"),
                     QStringLiteral("The device is connected by USB."));
    registerProperty(QStringLiteral("supportsSpyBiWire"), connection, QStringLiteral("Spy-Bi-Wire Supported"),
                     QStringLiteral("Spy-Bi-Wire is supported."));
    registerProperty(QStringLiteral("useSpyBiWire"), connection, QStringLiteral("Use Spy-Bi-Wire"),
                     QStringLiteral("Connect using Spy-Bi-Wire if available for target."));
    registerProperty(QStringLiteral("version"), connection, QStringLiteral("Version"),
                     QStringLiteral("MSP430 target driver DLL version number."));
    registerProperty(QStringLiteral("vcc"), connection, QStringLiteral("Vcc (mV)"),
                     QStringLiteral("Set the desired supply voltage (specified in millivolts)."));
    registerProperty(QStringLiteral("upgradeAdapterFirmware"), connection, QStringLiteral("Upgrade Adapter Firmware"),
                     QStringLiteral("Update the adapter's firmware through the driver DLL before connecting. "
                                    "Warning: an interrupted update can leave the adapter unusable."),
                     QStringLiteral("No"));
}

MSP430TargetInterface::~MSP430TargetInterface()
{
    // A run that failed half-way ends without a disconnect: the adapter still gets its close,
    // so that the next run finds it free.
    if (m_dll && isConnected()) {
        if (m_eemStatus == 0)
            m_dll->eemClose();
        m_dll->close(0);
    }
}

uint32_t MSP430TargetInterface::field16(int offset) const
{
    return uint32_t(m_record[size_t(offset)]) | uint32_t(m_record[size_t(offset) + 1]) << 8;
}

uint32_t MSP430TargetInterface::field32(int offset) const
{
    return field16(offset) | field16(offset + 2) << 16;
}

QString MSP430TargetInterface::deviceName() const
{
    const char *name = reinterpret_cast<const char *>(m_record.data() + 4);
    return QString::fromLatin1(name, int(qstrnlen(name, 32)));
}

uint32_t MSP430TargetInterface::ramStart() const
{
    return field16(60) ? field16(60) : field16(58);
}

uint32_t MSP430TargetInterface::ramEnd() const
{
    return field16(62) ? field16(62) : field16(40);
}

uint32_t MSP430TargetInterface::infoSegmentSize() const
{
    // Only these two names have 64-byte information segments; a longer name that begins with
    // either is a device with 128-byte segments.
    const QString name = deviceName();
    return name == QLatin1String("MSP430F47") || name == QLatin1String("MSP430F2") ? 64 : 128;
}

void MSP430TargetInterface::check(long long result, const QString &prefix) const
{
    if (result == -1)
        throw HException(prefix + m_dll->failureText());
}

uint32_t MSP430TargetInterface::readEEMRegister(uint32_t reg) const
{
    uint32_t value = 0;
    if (m_dll)
        m_dll->eemReadRegister(reg, value);
    return value;
}

void MSP430TargetInterface::writeEEMRegister(uint32_t reg, uint32_t value)
{
    if (m_dll)
        m_dll->eemWriteRegister(reg, value);
}

void MSP430TargetInterface::loadLibrary()
{
    const QString path = project::expandMacros(m_environment.environmentMacros(), m_dllPath);
    if (path.isEmpty())
        throw HException(QStringLiteral("MSP430 target driver DLL path not specified"));
    m_dll.reset();
    m_dll = MSP430Dll::load(path);
}

QString MSP430TargetInterface::interfaceType() const
{
    const project::PropertyValue &property = project::PropertyDefinitions::debugInterface();
    target::TargetScriptHost *host = m_environment.scriptHost();
    project::ProjectElement *project = host ? host->currentProject() : nullptr;
    const QString configuration = host ? host->configName() : QString();
    if (!project || configuration.isEmpty())
        return property.defaultValue();
    return m_environment.projectSystem().propertyValue(project, property, configuration);
}

long long MSP430TargetInterface::deviceSetNumber()
{
    if (identify())
        return 0;
    const QString wanted = msp430IdentifyString(m_environment.propertyGroups(), m_environment.selectedDevice());
    for (long long i = 0;; ++i) {
        uint8_t buffer[36] = {};
        if (m_dll->device(i, buffer, sizeof buffer) == -1)
            return 0;
        const char *name = reinterpret_cast<const char *>(buffer);
        if (!wanted.isEmpty() && QString::fromLatin1(name, int(qstrnlen(name, sizeof buffer))) == wanted)
            return i;
    }
}

void MSP430TargetInterface::connect()
{
    if (isConnected())
        throw HException(QStringLiteral("target interface already connected"));
    const QString type = interfaceType();
    if (!m_supportsSpyBiWire && type != QLatin1String("JTAG"))
        throw HException(QStringLiteral("Unsupported interface type ") + type);
    if (m_upgradeFirmware)
        upgradeFirmware();
    loadLibrary();

    long long version = 0;
    check(m_dll->initialize(m_port.toLocal8Bit(), version), QStringLiteral("Can't connect to target: "));
    if (version == -1)
        throw HException(QStringLiteral("Firmware upgrade required"));
    m_version = QString::number(version);
    check(m_dll->vcc(m_vcc), QStringLiteral("Can't connect to target: "));

    if (m_supportsSpyBiWire) {
        long long mode = 0;
        if (type == QLatin1String("SPY_BI_WIRE"))
            mode = 1;
        else if (type == QLatin1String("SPY_BI_WIRE_JTAG"))
            mode = m_useSpyBiWire ? 1 : 2;
        check(m_dll->configure(kConfigureInterface, mode), QStringLiteral("Can't set target interface type: "));
    }

    const long long setNumber = deviceSetNumber();
    m_record.fill(0);
    if (m_dll->identify(m_record.data(), setNumber) == -1) {
        // The failure text is read before the close, which may set an error of its own.
        const QString text = QStringLiteral("Can't identify target device: ") + m_dll->failureText();
        m_dll->close(0);
        m_record.fill(0);
        throw HException(text);
    }
    m_eemStatus = m_dll->eemOpen();
    m_resume = false;
    completeConnection(deviceName());
}

void MSP430TargetInterface::disconnect()
{
    if (!isConnected())
        throw HException(QStringLiteral("target interface not connected"));
    release();
    if (m_vcc != 0)
        check(m_dll->vcc(0), QStringLiteral("Can't connect to target: "));
    if (m_eemStatus == 0)
        m_dll->eemClose();
    m_dll->close(0);
    m_dll.reset();
    m_eemStatus = -1;
    completeDisconnection();
    m_record.fill(0);
}

void MSP430TargetInterface::release()
{
    if (state() == TargetRunning) {
        long long libraryState = 0;
        long long cycles = 0;
        check(m_dll->state(libraryState, true, cycles), QStringLiteral("Get state failed: "));
    }
    if (m_dll->generation() == MSP430DllGeneration::V2)
        for (uint32_t i = 0; i < breakpointCount(); ++i)
            m_dll->breakpoint(i, 0);
    check(m_dll->run(kFreeRun, releaseJTAG() ? 1 : 0), QStringLiteral("Processor run failed: "));
    // Clearing rewrites the trigger table: take the ids first.
    std::vector<BreakpointId> held;
    for (const auto &id : triggerTable().triggers)
        if (id && std::find(held.begin(), held.end(), *id) == held.end())
            held.push_back(*id);
    if (triggerTable().special)
        held.push_back(*triggerTable().special);
    for (BreakpointId id : held)
        clearBreakpoint(id);
    setPcInRamBreak(false);
    m_hitsLeft.clear();
    setState(TargetRunning);
}

bool MSP430TargetInterface::reset(bool stop)
{
    check(m_dll->reset(kResetAll, stop ? 0 : 1, releaseJTAG() ? 1 : 0), QStringLiteral("Processor reset failed: "));
    setState(stop ? TargetStopped : TargetRunning);
    return true;
}

void MSP430TargetInterface::beginLoad()
{
    check(m_dll->configure(kConfigureLockedFlash, unlockSegmentA() ? 1 : 0),
          QStringLiteral("Can't configure locked flash access: "));
}

void MSP430TargetInterface::endLoad()
{
    reset(true);
}

void MSP430TargetInterface::readAllRegisters()
{
    auto *view = static_cast<MSP430Registers *>(registers());
    if (!view)
        return;
    check(m_dll->registers(view->raw(), kAllRegisters, true), QStringLiteral("Get state failed: "));
    view->clearChanged();
}

uint32_t MSP430TargetInterface::readPC()
{
    auto *view = static_cast<MSP430Registers *>(registers());
    check(m_dll->registers(view->raw(), kPCMask, true), QStringLiteral("Get state failed: "));
    return view->pc();
}

void MSP430TargetInterface::startRun(int mode)
{
    setState(TargetRunning);
    if (mode == kSingleStep && eemAvailable())
        m_savedEEM4 = readEEMRegister(4);
    m_runMode = mode;
    check(m_dll->run(mode, 0), QStringLiteral("Processor run failed: "));
}

void MSP430TargetInterface::resume()
{
    auto *view = static_cast<MSP430Registers *>(registers());
    if (view && view->changedMask()) {
        check(m_dll->registers(view->raw(), view->changedMask(), false), QStringLiteral("Processor run failed: "));
        view->clearChanged();
    }
    prepareResume();
    startRun(view && pcInStepRange(view->pc()) ? kSingleStep : kRunToBreakpoint);
}

bool MSP430TargetInterface::go()
{
    if (clockControlLevel() == 2 && eemAvailable()) {
        m_dll->eemWriteRegister(0x82, 0x0D);
        check(m_dll->reset(kResetPUC, 0, 0), QStringLiteral("Processor reset failed: "));
    }
    resume();
    return true;
}

bool MSP430TargetInterface::run(uint32_t address, bool release)
{
    Q_UNUSED(address);
    if (release) {
        this->release();
        return true;
    }
    check(m_dll->run(kFreeRun, releaseJTAG() ? 1 : 0), QStringLiteral("Processor run failed: "));
    setState(TargetRunning);
    return true;
}

bool MSP430TargetInterface::step()
{
    auto *view = static_cast<MSP430Registers *>(registers());
    if (view && view->changedMask()) {
        check(m_dll->registers(view->raw(), view->changedMask(), false), QStringLiteral("Processor run failed: "));
        view->clearChanged();
    }
    startRun(kSingleStep);
    return true;
}

bool MSP430TargetInterface::isInState(TargetState wanted)
{
    long long libraryState = 0;
    long long cycles = 0;
    check(m_dll->state(libraryState, false, cycles), QStringLiteral("Get processor state failed: "));
    if (libraryState == kStateSingleStep && eemAvailable())
        writeEEMRegister(4, m_savedEEM4);
    if (wanted == TargetStopped)
        return libraryState == 0 || libraryState == kStateSingleStep || libraryState == 3;
    return libraryState == kStateRunning;
}

bool MSP430TargetInterface::waitForStop(int timeoutMs)
{
    platform::Clock &clock = m_environment.clock();
    const uint64_t start = clock.ticks();
    for (;;) {
        if (isInState(TargetStopped) && handleStop())
            return true;
        if (timeoutMs <= 0 || clock.ticks() - start >= uint64_t(timeoutMs))
            return false;
        clock.sleep(kPollIntervalMs);
    }
}

bool MSP430TargetInterface::handleStop()
{
    const uint32_t pc = readPC();
    const std::optional<BreakpointId> hit = breakpointAt(pc);
    if (hit) {
        // A breakpoint with a count stops the CPU only on its last hit; the count is taken
        // from the request at its first hit.
        const BreakpointRequest *request = breakpointRequest(*hit);
        auto left = m_hitsLeft.find(*hit);
        if (left == m_hitsLeft.end() && request->count != 0)
            left = m_hitsLeft.emplace(*hit, request->count).first;
        if (left != m_hitsLeft.end() && left->second != 0 && --left->second != 0) {
            startRun(kRunToBreakpoint);
            return false;
        }
    } else if (pcInStepRange(pc)) {
        startRun(kSingleStep);
        return false;
    }
    setState(TargetStopped);
    readAllRegisters();
    return true;
}

void MSP430TargetInterface::stopForAccess()
{
    if (state() == TargetStopped || isInState(TargetStopped))
        return;
    long long libraryState = 0;
    long long cycles = 0;
    check(m_dll->state(libraryState, true, cycles), QStringLiteral("Get state failed: "));
    if (libraryState == 0)
        m_resume = true;
}

void MSP430TargetInterface::resumeAfterAccess()
{
    if (!m_resume)
        return;
    m_resume = false;
    const uint32_t pc = readPC();
    if (!breakpointAt(pc) && !pcInStepRange(pc))
        check(m_dll->run(m_runMode, 0), QStringLiteral("Processor run failed: "));
}

void MSP430TargetInterface::readBytes(uint32_t address, uint32_t count, uint8_t *buffer)
{
    if (count == 0)
        return;
    stopForAccess();
    check(m_dll->memory(address, buffer, count, true), QStringLiteral("Memory read failed: "));
    resumeAfterAccess();
}

bool MSP430TargetInterface::verifyBytes(uint32_t address, uint32_t count, const uint8_t *data)
{
    std::vector<uint8_t> actual(count);
    readBytes(address, count, actual.data());
    return std::equal(actual.begin(), actual.end(), data);
}

void MSP430TargetInterface::writeChunk(uint32_t address, uint32_t count, const uint8_t *data)
{
    // The library takes a writable buffer even for a write.
    std::vector<uint8_t> copy(data, data + count);
    check(m_dll->memory(address, copy.data(), count, false), QStringLiteral("FLASH programming failed: "));
}

void MSP430TargetInterface::writeBytes(uint32_t address, uint32_t count, const uint8_t *data)
{
    if (count == 0)
        return;
    stopForAccess();
    const uint32_t last = address + count - 1;
    if (!isFlash(address) && !isFlash(last)) {
        writeChunk(address, count, data);
        resumeAfterAccess();
        return;
    }
    // FLASH takes whole words: an odd first byte goes with the byte below it, an odd last
    // byte with the byte above it, each read first.
    uint32_t at = address;
    uint32_t left = count;
    if (at & 1) {
        uint8_t word[2];
        check(m_dll->memory(at - 1, word, 1, true), QStringLiteral("Memory read failed: "));
        word[1] = data[0];
        writeChunk(at - 1, 2, word);
        ++at;
        ++data;
        --left;
    }
    const uint32_t middle = left & ~1u;
    if (middle)
        writeChunk(at, middle, data);
    if (left & 1) {
        uint8_t word[2];
        check(m_dll->memory(at + middle + 1, word + 1, 1, true), QStringLiteral("Memory read failed: "));
        word[0] = data[middle];
        writeChunk(at + middle, 2, word);
    }
    resumeAfterAccess();
}

void MSP430TargetInterface::eraseSegment(uint32_t start, uint32_t length)
{
    if (!isFlash(start))
        return;
    if (start & 1) {
        --start;
        ++length;
    }
    if (length & 1)
        ++length;
    check(m_dll->erase(kEraseSegment, start, length), QStringLiteral("FLASH erase failed: "));
}

void MSP430TargetInterface::eraseAll()
{
    check(m_dll->erase(kEraseAll, infoStart(), 256), QStringLiteral("FLASH erase failed: "));
}

void MSP430TargetInterface::setHardwareBreakpoint(uint32_t trigger, uint32_t address, uint32_t reaction)
{
    m_dll->breakpoint(trigger, address);
    if (reaction == 0)
        return;
    uint32_t value = 0;
    m_dll->eemReadRegisterTest(0x81, value);
    m_dll->eemWriteRegister(0x80, value & ~(1u << trigger));
    m_dll->eemReadRegisterTest(0x99, value);
    m_dll->eemWriteRegister(0x98, value | 1u << trigger);
    m_dll->eemReadRegisterTest(0x9F, value);
    value |= 0x41;
    if (reaction == 2)
        value |= 0x10;
    else if (reaction == 3)
        value |= 0x20;
    else
        value &= ~0x06u;
    m_dll->eemWriteRegister(0x9E, value);
}

void MSP430TargetInterface::clearHardwareBreakpoint(uint32_t trigger, uint32_t reaction)
{
    m_dll->breakpoint(trigger, 0);
    if (reaction == 0)
        return;
    uint32_t value = 0;
    m_dll->eemReadRegisterTest(0x99, value);
    m_dll->eemWriteRegister(0x98, value & ~(1u << trigger));
    if (reaction == 2 || reaction == 3) {
        m_dll->eemReadRegisterTest(0x9F, value);
        m_dll->eemWriteRegister(0x9E, value & ~(reaction == 2 ? 0x10u : 0x20u));
    }
}

QString MSP430TargetInterface::clockModuleName(uint32_t index) const
{
    if (!m_dll || index > 31)
        return QString();
    const char *const *table = nullptr;
    if (m_dll->ccGetModuleNames(field16(2), &table) == -1 || !table)
        return QString();
    const char *name = table[index < 16 ? 15 - index : 47 - index];
    return name ? QString::fromLatin1(name) : QString();
}

void MSP430TargetInterface::firmwareProgress(uint32_t code, uint32_t value, void *client)
{
    auto *target = static_cast<MSP430TargetInterface *>(client);
    QString text;
    switch (code) {
    case 0: text = QStringLiteral("Initializing Bootloader..."); break;
    case 1: text = QStringLiteral("Erasing Interrupt Vectors..."); break;
    case 2: text = QStringLiteral("Erasing Firmware..."); break;
    case 3: text = QStringLiteral("Programming New Firmware..."); break;
    case 4: text = QStringLiteral("%1%").arg(qMin(value, 100u)); break;
    case 5: text = QStringLiteral("Finishing..."); break;
    case 6: text = QStringLiteral("Update Complete."); break;
    case 7: text = QStringLiteral("Update error: ") + (target->library() ? target->library()->errorString() : QString()); break;
    case 8: text = QStringLiteral("Wait for Bootloader to timeout (ca. 10s)..."); break;
    default: return;
    }
    target->reportMessage(text);
}

void MSP430TargetInterface::upgradeFirmware()
{
    if (isConnected())
        throw HException(QStringLiteral("target interface already connected"));
    loadLibrary();
    reportMessage(QStringLiteral("Updating the adapter firmware: do not disconnect the adapter, an interrupted "
                                 "update can leave it unusable"));
    long long version = 0;
    check(m_dll->initialize(m_port.toLocal8Bit(), version),
          QStringLiteral("Can't connect to target ") + m_port + QStringLiteral(": "));
    long long firmware = 0;
    if (m_dll->getFwVersion(firmware) == -1)
        throw HException(QStringLiteral("GetFwVersion failed"));
    m_dll->close(1);
    // An update that fails must not be followed by a connect as if the adapter were ready.
    if (m_dll->fwUpdate(&firmwareProgress, this) == -1)
        throw HException(QStringLiteral("Update error: ") + m_dll->failureText());
    m_dll.reset();
}

} // namespace zim::msp430
