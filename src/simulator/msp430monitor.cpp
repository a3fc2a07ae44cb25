// The MSP430 core simulator target: connection with the device limits, reset and interrupts.
#include "simulator/msp430monitor.h"

#include "msp430/msp430devices.h"
#include "target/targetenvironment.h"

#include <algorithm>
#include <bit>

namespace zim::simulator {

namespace {

constexpr uint32_t kResetVectorInterrupt = 15;

} // namespace

MSP430Monitor::MSP430Monitor(target::TargetEnvironment &environment, msp430::MSP430DeviceLibrary &devices)
    : SimulatedHMonitor(environment, QStringLiteral("MSP430 Core Simulator"),
                        QStringLiteral("$(VeltDir)/targets/msp430peripherals.js")),
      m_devices(devices)
{
    registerProperty(QStringLiteral("interruptPollInterval"), QStringLiteral("Peripherals"),
                     QStringLiteral("Interrupt poll interval"), QStringLiteral("Poll for interrupts every N cycles."),
                     100);
    registerProperty(QStringLiteral("cpu4PushTiming"), QStringLiteral("Simulator"), QStringLiteral("CPU4 PUSH Timing"),
                     QStringLiteral("Count 5 cycles for PUSH @Rn+ and PUSH #N, as devices with the CPU4 erratum take, "
                                    "instead of 4."),
                     false);
}

MSP430Monitor::~MSP430Monitor() = default;

bool MSP430Monitor::findDeviceLimits(const QString &deviceName)
{
    const QStringList names = msp430::msp430IdentifyStrings(environment().propertyGroups(), deviceName);
    if (names.isEmpty())
        return false;
    msp430::MSP430DevicesGuard devices(m_devices);
    for (int index = 0; index < devices->count(); ++index) {
        const QString name = QString::fromLatin1(devices->name(index));
        if (!names.contains(name))
            continue;
        devices->select(index);
        m_limits.ramStart = devices->ramStart();
        m_limits.ramEnd = devices->ramEnd();
        m_limits.ram2Start = devices->ram2Start();
        m_limits.ram2End = devices->ram2End();
        m_limits.flashStart = devices->flashStart();
        m_limits.flashEnd = devices->flashEnd();
        m_limits.infoStart = devices->infoStart();
        m_limits.infoEnd = devices->infoEnd();
        m_infoSegmentSize = devices->infoSegmentSize();
        m_cpux = devices->hasCpuX();
        m_deviceType = name;
        return true;
    }
    return false;
}

void MSP430Monitor::connect()
{
    if (isConnected())
        return;
    m_limits = MSP430MemoryLimits();
    m_infoSegmentSize = 128;
    m_cpux = false;
    const QString device = environment().selectedDevice();
    if (!device.isEmpty())
        findDeviceLimits(device);
    m_multiplier = environment().hardwareMultiplierSetting() == QLatin1String("Yes");

    auto registers = std::make_unique<msp430::MSP430Registers>(m_cpux);
    auto memory = std::make_unique<MSP430Memory>(m_limits, m_multiplier, this);
    auto cpu = std::make_unique<MSP430Cpu>(*registers, *memory, *this);
    connectSimulation();
    memory->setPeripheralBus(peripheralBus());
    m_registers = std::move(registers);
    m_memory = std::move(memory);
    m_cpu = std::move(cpu);
    m_cpu->setCpu4PushTiming(m_cpu4PushTiming);
    setAccessWatching(m_watchMemory, m_watchRegisters, m_reportPcWrites);
    m_pendingInterrupts = 0;
    m_lastPollCycles = 0;
    setState(TargetConnected);
    setState(TargetStopped);
}

void MSP430Monitor::disconnect()
{
    if (!isConnected())
        return;
    m_cpu.reset();
    m_memory.reset();
    m_registers.reset();
    disconnectSimulation();
    setState(TargetDisconnected);
}

void MSP430Monitor::setCpu4PushTiming(bool on)
{
    m_cpu4PushTiming = on;
    if (m_cpu)
        m_cpu->setCpu4PushTiming(on);
}

void MSP430Monitor::raiseInterrupt(int n)
{
    if (n >= 0 && n <= 15)
        m_pendingInterrupts |= 1u << n;
}

QPair<QString, QString> MSP430Monitor::interruptName(int n)
{
    switch (n) {
#define X(number, name, description)                                                                                   \
    case number:                                                                                                       \
        return {QStringLiteral(name), QStringLiteral(description)};
#include "simulator/interruptvectors.def"
#undef X
    default:
        return {};
    }
}

void MSP430Monitor::resetCore()
{
    m_pendingInterrupts = 0;
    m_lastPollCycles = 0;
    SimulatedHMonitor::resetCore();
}

void MSP430Monitor::serviceInterrupts()
{
    if (m_resetPending) [[unlikely]] {
        m_resetPending = false;
        m_cpu->loadResetVector();
        return;
    }
    const uint32_t sinceLastPoll = cycles() - m_lastPollCycles;
    if (int64_t(sinceLastPoll) < m_pollInterval)
        return;
    processEventsIfDue();
    if (PeripheralBus *bus = peripheralBus(); bus && interruptsEnabled()) {
        const int n = bus->pollForInterrupts(sinceLastPoll);
        if (n >= 0 && n <= 15)
            m_pendingInterrupts |= 1u << n;
    }
    m_lastPollCycles = cycles();
    if (m_pendingInterrupts == 0)
        return;
    const unsigned n = std::bit_width(m_pendingInterrupts) - 1;
    Q_ASSERT(n <= kResetVectorInterrupt);
    m_pendingInterrupts &= ~(1u << n);
    m_cpu->enterInterrupt(n);
}

uint32_t MSP430Monitor::cyclesToNextPoll() const
{
    const int64_t left = int64_t(m_pollInterval) - int64_t(cycles() - m_lastPollCycles);
    return left > 0 ? uint32_t(std::min<int64_t>(left, UINT32_MAX)) : 1;
}

uint32_t MSP430Monitor::programCounter() const
{
    return m_registers->value(msp430::MSP430Registers::PC);
}

bool MSP430Monitor::pollCanWake() const
{
    // A poll enters a pending interrupt whatever GIE says; the peripheral file is asked only with GIE set.
    return m_pendingInterrupts != 0 || (peripheralBus() && interruptsEnabled());
}

bool MSP430Monitor::interruptsEnabled() const
{
    return m_registers->value(msp430::MSP430Registers::SR) & MSP430Cpu::GIE;
}

SimulatedHMonitor::StopReason MSP430Monitor::finishedReason() const
{
    // Asleep with interrupts disabled and no interrupt pending, only a reset could wake the CPU.
    if (m_cpu->isAsleep() && !interruptsEnabled() && m_pendingInterrupts == 0)
        return StopReason::CpuOff;
    return m_cpu->finish() == MSP430Cpu::Finish::SelfJump ? StopReason::SelfJump : StopReason::None;
}

void MSP430Monitor::setAccessWatching(bool memory, bool registers, bool pcWrites)
{
    m_watchMemory = memory;
    m_watchRegisters = registers;
    m_reportPcWrites = pcWrites;
    if (m_memory)
        m_memory->setWatching(memory);
    if (m_cpu) {
        m_cpu->setWatchingRegisters(registers);
        m_cpu->setReportingPcWrites(pcWrites);
    }
}

} // namespace zim::simulator
