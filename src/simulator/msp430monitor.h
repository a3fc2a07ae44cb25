// MSP430Monitor: the MSP430 core simulator target ("MSP430 Core Simulator"): device limits,
// memory, registers, the instruction set and interrupt entry on top of SimulatedHMonitor.
#pragma once

#include "msp430/msp430monitorinterface.h"
#include "msp430/msp430registers.h"
#include "simulator/msp430cpu.h"
#include "simulator/msp430memory.h"
#include "simulator/simulatedhmonitor.h"

#include <QPair>
#include <QString>
#include <memory>

namespace zim::msp430 {
class MSP430DeviceLibrary;
}

namespace zim::simulator {

class MSP430Monitor : public SimulatedHMonitor, public msp430::MSP430MonitorInterface
{
    Q_OBJECT
    Q_PROPERTY(int interruptPollInterval READ interruptPollInterval WRITE setInterruptPollInterval)
    Q_PROPERTY(bool cpu4PushTiming READ cpu4PushTiming WRITE setCpu4PushTiming)

public:
    // Takes its device and multiplier setting from environment when it connects, and the
    // device limits from devices (both not owned, outliving the port).
    MSP430Monitor(target::TargetEnvironment &environment, msp430::MSP430DeviceLibrary &devices);
    ~MSP430Monitor() override;

    void connect() override;
    void disconnect() override;
    bool isConnected() const override { return m_memory != nullptr; }
    QString deviceType() const override { return m_deviceType; }

    target::TargetMemoryInterface *mainMemory() override { return m_memory.get(); }
    target::TargetMemoryInterface *memory() override { return m_memory.get(); }
    target::TargetRegisterInterface *registers() override { return m_registers.get(); }
    // The simulator's own objects; nullptr while disconnected.
    MSP430Memory *simulatedMemory() const { return m_memory.get(); }
    msp430::MSP430Registers *cpuRegisters() const { return m_registers.get(); }

    uint32_t ramStart() const override { return m_limits.ramStart; }
    uint32_t ramEnd() const override { return m_limits.ramEnd; }
    uint32_t flashStart() const override { return m_limits.flashStart; }
    uint32_t flashEnd() const override { return m_limits.flashEnd; }
    uint32_t infoStart() const override { return m_limits.infoStart; }
    uint32_t infoEnd() const override { return m_limits.infoEnd; }
    uint32_t infoSegmentSize() const override { return m_infoSegmentSize; }
    bool hasExtendedMemory() const override { return m_limits.flashEnd > 0xFFFF; }
    bool hasHardwareMultiplier() const { return m_multiplier; }

    int interruptPollInterval() const { return m_pollInterval; }
    void setInterruptPollInterval(int cycles) { m_pollInterval = cycles; }

    // PUSH @Rn+ and PUSH #N take 5 cycles instead of 4, as on devices with the CPU4 erratum.
    bool cpu4PushTiming() const { return m_cpu4PushTiming; }
    void setCpu4PushTiming(bool on);

    // Name and description of interrupt vector n (0..15); empty texts for other n.
    static QPair<QString, QString> interruptName(int n);

public slots:
    // Marks interrupt n (0..15) pending; other numbers are ignored.
    void raiseInterrupt(int n) override;

protected:
    void resetCore() override;
    void serviceInterrupts() override;
    uint32_t cyclesToNextPoll() const override;
    uint32_t executeInstructions(const RunSlice &slice) override { return m_cpu->run(slice); }
    uint32_t cyclesInSlice() const override { return m_cpu ? m_cpu->sliceCycles() : 0; }
    uint32_t programCounter() const override;
    bool isAsleep() const override { return m_cpu->isAsleep(); }
    bool pollCanWake() const override;
    StopReason finishedReason() const override;
    void setAccessWatching(bool memory, bool registers, bool pcWrites) override;

private:
    bool interruptsEnabled() const;
    // Takes the limits of the first database device named by the device's identify strings.
    bool findDeviceLimits(const QString &deviceName);

    msp430::MSP430DeviceLibrary &m_devices;
    QString m_deviceType;
    MSP430MemoryLimits m_limits;
    uint32_t m_infoSegmentSize = 128;
    bool m_cpux = false;
    bool m_multiplier = true;
    int m_pollInterval = 100;
    bool m_cpu4PushTiming = false;
    uint32_t m_lastPollCycles = 0;
    uint32_t m_pendingInterrupts = 0; // bit n: interrupt n pending
    bool m_watchMemory = false;
    bool m_watchRegisters = false;
    bool m_reportPcWrites = false;

    std::unique_ptr<msp430::MSP430Registers> m_registers;
    std::unique_ptr<MSP430Memory> m_memory;
    std::unique_ptr<MSP430Cpu> m_cpu;
};

} // namespace zim::simulator
