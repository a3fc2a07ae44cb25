// MSP430TargetInterface2: the JTAG target whose protocol this program drives itself through an
// msp430d driver table. A transport subclass opens its link, fills the table and calls
// connectDevice; this class does connection, identification, memory with the watchdog held,
// FLASH programming, erasure and verification, reset and run control.
#pragma once

#include "msp430/msp430d.h"
#include "msp430/msp430devices.h"
#include "msp430/msp430jtagmonitorinterface.h"

#include <map>
#include <memory>
#include <optional>

namespace zim::target {
class TargetEnvironment;
}

namespace zim::msp430 {

class MSP430TargetInterface2 : public MSP430JTAGMonitorInterface
{
    Q_OBJECT
    Q_PROPERTY(bool verifyWrites READ verifyWrites WRITE setVerifyWrites)
    Q_PROPERTY(bool verifyErase READ verifyErase WRITE setVerifyErase)
    Q_PROPERTY(bool blockWrite READ blockWrite WRITE setBlockWrite)
    Q_PROPERTY(bool enableRegulator READ enableRegulator WRITE setEnableRegulator)

public:
    MSP430TargetInterface2(target::TargetEnvironment &environment, MSP430DeviceLibrary &devices);
    ~MSP430TargetInterface2() override;

    bool verifyWrites() const { return m_verifyWrites; }
    void setVerifyWrites(bool on) { m_verifyWrites = on; }
    bool verifyErase() const { return m_verifyErase; }
    void setVerifyErase(bool on) { m_verifyErase = on; }
    bool blockWrite() const { return m_blockWrite; }
    void setBlockWrite(bool on) { m_blockWrite = on; }
    bool enableRegulator() const { return m_enableRegulator; }
    void setEnableRegulator(bool on) { m_enableRegulator = on; }

    // MSP430MonitorInterface, from the selected device record.
    uint32_t ramStart() const override;
    uint32_t ramEnd() const override;
    uint32_t flashStart() const override;
    uint32_t flashEnd() const override;
    uint32_t infoStart() const override;
    uint32_t infoEnd() const override;
    uint32_t infoSegmentSize() const override;
    bool eemAvailable() const override { return emulationLevel() == 3; }
    uint32_t readEEMRegister(uint32_t reg) const override;
    void writeEEMRegister(uint32_t reg, uint32_t value) override;
    uint32_t emulationLevel() const override;
    uint32_t breakpointCount() const override;
    bool hasExtendedMemory() const override;
    uint32_t clockControlLevel() const override;
    uint32_t clockModuleCount() const override;
    QString clockModuleName(uint32_t index) const override;

    // DevicePort
    void disconnect() override;
    bool reset(bool stop) override;
    bool go() override;
    bool run(uint32_t address, bool release) override;
    // Halts a running CPU where it is, whatever breakpoint counts or step range say.
    bool stop() override;
    bool waitForStop(int timeoutMs) override;
    bool step() override;
    void beginLoad() override;
    void endLoad() override;

    // Memory
    void writeBytes(uint32_t address, uint32_t count, const uint8_t *data) override;
    void readBytes(uint32_t address, uint32_t count, uint8_t *buffer) override;
    void pokeMultUint16(uint32_t address, uint32_t count, const uint16_t *words) override;
    void peekMultUint16(uint32_t address, uint32_t count, uint16_t *words) override;
    void programBytes(uint32_t address, uint32_t count, const uint8_t *data) override;
    bool verifyBytes(uint32_t address, uint32_t count, const uint8_t *data) override;
    void eraseAll() override;
    void eraseSegment(uint32_t start, uint32_t length) override;
    bool isInState(TargetState state) override;
    bool handleStop() override;
    void setHardwareBreakpoint(uint32_t trigger, uint32_t address, uint32_t reaction) override;
    void clearHardwareBreakpoint(uint32_t trigger, uint32_t reaction) override;

    // The watchdog control word while the CPU is held.
    uint16_t watchdogShadow() const { return m_watchdog; }

protected:
    // The transport's table; the subclass fills it (msp430dFillBase first) before connecting.
    Msp430dDriver &driver() { return m_driver; }
    // The connect sequence, once the transport is open.
    void connectDevice();
    virtual void storeTargetVoltage(int millivolts) { Q_UNUSED(millivolts); }
    virtual void reconnectTransport() = 0;
    // Raises message, with the transport's error text after ": " when it has one.
    [[noreturn]] void fail(const QString &message);

private:
    [[noreturn]] void failRange(const QString &message, uint32_t address, uint32_t length);
    void clearError() { m_driver.lastError.clear(); }
    void checkReconnect();
    void powerCycle();
    // Reset, device choice and EEM clearing after the device answered.
    void finishConnect();
    void identifyDevice();
    void selectDevice(int index);
    void holdCpu(bool &releaseAfter);
    void releaseAfterAccess(bool releaseAfter);
    void enterDebugState();
    void releaseCpu(bool run);
    // Lets the CPU go: state running, status 1.
    void startRun();
    // Lets a CPU held only for a memory access go on, and gives up the signals when the user
    // asked for them to be released.
    void letRun();
    void releaseSignals();
    // One instruction under the step trigger; the CPU is held again afterwards.
    void stepOnce();
    // The EEM has stopped the CPU (the stop flag of its general control register).
    bool eemStopped();
    // A hit of a counted breakpoint: false while passes are left before it stops.
    bool hitStops(BreakpointId id);
    // The program counter of the register view.
    uint32_t heldPc();
    void unlockSegmentA();
    void readMemory(uint32_t address, uint32_t count, uint8_t *buffer);
    void writeMemory(uint32_t address, uint32_t count, const uint8_t *data);

    target::TargetEnvironment &m_environment;
    MSP430DevicesGuard m_devices;
    Msp430dDriver m_driver;
    bool m_reconnectNeeded = false;
    bool m_debugState = false;
    bool m_verifyWrites = false;
    bool m_verifyErase = false;
    bool m_blockWrite = false;
    bool m_enableRegulator = true;
    uint16_t m_watchdog = 0;
    uint32_t m_registerBlock[16] = {};
    // Passes still to go before a counted breakpoint stops the CPU.
    std::map<BreakpointId, uint32_t> m_hitsLeft;
    // stop() asked for the halt: it is not a breakpoint pass to count or a step to go on with.
    bool m_stopRequested = false;
};

} // namespace zim::msp430
