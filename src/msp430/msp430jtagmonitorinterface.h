// MSP430JTAGMonitorInterface: the device port every JTAG or Spy-Bi-Wire driver builds on. From
// the device limits a driver learns at connection it makes the memory model the download
// needs, erases FLASH segment by segment through a FlashErasePlan, allocates the EEM
// triggers with EEMTriggerPlanner and runs the resulting register writes, freezes timers while
// the CPU is halted, applies clock control at run, and declares the five connection
// properties. How a byte reaches the chip is entirely the driver's.
#pragma once

#include "msp430/eemstatestorage.h"
#include "msp430/eemtriggerplanner.h"
#include "msp430/flasheraseplan.h"
#include "msp430/msp430monitorinterface.h"
#include "msp430/msp430registers.h"
#include "target/deviceport.h"
#include "target/targetmemoryinterface.h"

#include <QString>
#include <map>
#include <memory>
#include <optional>

namespace zim::msp430 {

class MSP430JTAGMonitorInterface : public target::DevicePort,
                                   public MSP430MonitorInterface,
                                   public target::TargetMemoryInterface
{
    Q_OBJECT
    Q_PROPERTY(bool identify READ identify WRITE setIdentify)
    Q_PROPERTY(bool releaseJTAG READ releaseJTAG WRITE setReleaseJTAG)
    Q_PROPERTY(QString emulation READ emulation)
    Q_PROPERTY(QString clockControl READ clockControl)
    Q_PROPERTY(bool unlockSegmentA READ unlockSegmentA WRITE setUnlockSegmentA)

public:
    // EEM registers of clock control.
    static constexpr uint32_t kGeneralClockControlRegister = 0x88;
    static constexpr uint32_t kModuleClockControlRegister = 0x8A;
    static constexpr uint32_t kGeneralClockControl = 0x002E;
    static constexpr uint32_t kModuleClockControl = 0x60D7;
    // The timer registers frozen while the CPU is halted.
    static constexpr uint32_t kBasicTimerControl = 0x0040;
    static constexpr uint32_t kTimerAControl = 0x0160;
    static constexpr uint32_t kTimerBControl = 0x0180;

    explicit MSP430JTAGMonitorInterface(uint32_t flags = FlagEraseAll);
    ~MSP430JTAGMonitorInterface() override;

    bool identify() const { return m_identify; }
    void setIdentify(bool on) { m_identify = on; }
    bool releaseJTAG() const { return m_releaseJTAG; }
    void setReleaseJTAG(bool on) { m_releaseJTAG = on; }
    bool unlockSegmentA() const { return m_unlockSegmentA; }
    void setUnlockSegmentA(bool on) { m_unlockSegmentA = on; }
    // "Low", "Medium", "High" from emulationLevel; "None", "Standard", "Extended" from
    // clockControlLevel; empty for any other level.
    QString emulation() const;
    QString clockControl() const;

    // DevicePort
    bool isConnected() const override { return m_connected; }
    QString deviceType() const override { return m_deviceType; }
    target::TargetMemoryInterface *mainMemory() override { return m_connected ? this : nullptr; }
    target::TargetRegisterInterface *registers() override { return m_registers.get(); }
    // Succeeds at once when already stopped; otherwise the device must be halted and
    // handleStop must accept the stop, after which the selected timers are frozen. A failure
    // inside is a false result.
    bool stop() override;
    QString formatAddress(uint32_t address) const override;
    TargetState state() const { return m_state; }

    // What a driver supplies besides the limits and the memory transfers.
    // Programs trigger t with its address; the plain form writes EEM register 8t.
    virtual void setHardwareBreakpoint(uint32_t trigger, uint32_t address, uint32_t reaction);
    virtual void clearHardwareBreakpoint(uint32_t trigger, uint32_t reaction);
    // 0 none, 1 standard, 2 extended.
    virtual uint32_t clockControlLevel() const = 0;
    virtual uint32_t clockModuleCount() const { return 0; }
    virtual QString clockModuleName(uint32_t index) const
    {
        Q_UNUSED(index);
        return QString();
    }
    // Erases the one segment start..start + length - 1.
    virtual void eraseSegment(uint32_t start, uint32_t length) = 0;
    bool isFlash(uint32_t address) const;
    // Whether the device is in state (TargetRunning or TargetStopped) now.
    virtual bool isInState(TargetState state) = 0;
    // True when a stop seen while polling is a real stop.
    virtual bool handleStop() = 0;

    // The erase protocol of a download: beginErase plans, eraseRange marks, endErase erases
    // the marked segments with a message and progress for each.
    void beginErase() override;
    void eraseRange(uint32_t address, uint32_t count, uint32_t &start, uint32_t &length) override;
    void endErase() override;

    // Hardware breakpoints on the EEM triggers: the id to clear it with, or
    // DebuggerBreakpointFailure (the table and the device untouched).
    BreakpointId setBreakpoint(const BreakpointRequest &request);
    void clearBreakpoint(BreakpointId id);
    uint32_t breakpointsInUse() const { return m_triggers.breakpointsInUse(); }
    const TriggerTable &triggerTable() const { return m_triggers; }
    // The request a breakpoint was set with; nullptr for an id not in use.
    const BreakpointRequest *breakpointRequest(BreakpointId id) const
    {
        const auto it = m_requests.find(id);
        return it == m_requests.end() ? nullptr : &it->second;
    }
    // The execute breakpoint whose address range holds pc.
    std::optional<BreakpointId> breakpointAt(uint32_t pc) const;
    // The program counter lies in the range of the breakpoint held without a trigger.
    bool pcInStepRange(uint32_t pc) const;

    // The break taken when the program counter is written with a RAM address; stays off when
    // the EEM cannot take it.
    void setPcInRamBreak(bool on);
    bool pcInRamBreak() const { return m_pcInRam.has_value(); }
    static QString pcInRamStopText() { return QLatin1String(EEMTriggerPlanner::kPcInRamStopText); }

    // State storage (the EEM's trace of eight entries), at the High emulation level: 13 then,
    // else 0. Each operation rewrites the control register from its current value.
    uint32_t stateStorageCapability() const { return EEMStateStorage::capability(emulationLevel()); }
    void enableStateStorage(bool on);
    void resetStateStorage();
    void setStateStorageStopWhenFull(bool stop);
    // Mode 1, 4 or 8 (HException for others); 0 when the control register names none.
    void setStateStorageMode(uint32_t mode);
    uint32_t stateStorageMode() const;
    // Starts reading what was stored; then readStateStorageEntry gives the entries in order,
    // false when none is left.
    void beginStateStorageRead();
    bool readStateStorageEntry(uint32_t &firstWord, uint32_t &secondWord);

    // The timers frozen at a halt; none by default.
    void setTimerFreeze(bool basicTimer, bool timerA, bool timerB);

protected:
    // Called by the driver once its transport is open and the limits are known.
    void completeConnection(const QString &deviceType);
    void completeDisconnection();
    // The driver reports the state it sees.
    void setState(TargetState state);
    // Before the CPU runs again: the frozen timers get their saved values back and clock
    // control is written.
    void prepareResume();

private:
    struct FrozenTimer
    {
        bool freeze = false;
        bool saved = false;
        uint16_t value = 0;
    };
    void freezeTimers();
    void runSteps(const std::vector<EEMStep> &steps);

    bool m_identify = true;
    bool m_releaseJTAG = false;
    bool m_unlockSegmentA = false;
    bool m_connected = false;
    TargetState m_state = TargetNotConnected;
    QString m_deviceType;
    std::unique_ptr<MSP430Registers> m_registers;
    std::unique_ptr<FlashErasePlan> m_erasePlan;
    TriggerTable m_triggers;
    BreakpointId m_nextBreakpoint = 1;
    std::map<BreakpointId, BreakpointRequest> m_requests;
    std::optional<BreakpointId> m_pcInRam;
    StateStorageCursor m_stateStorage;
    // Basic timer, Timer_A, Timer_B.
    FrozenTimer m_timers[3];
};

} // namespace zim::msp430
