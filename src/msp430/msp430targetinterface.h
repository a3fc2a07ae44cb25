// MSP430TargetInterface: the device port over TI's MSP430 debug library, loaded at run time
// from the targetDllPath property. The library does everything that touches the chip; this
// class sequences its calls, turns its device record into the limits the JTAG monitor base
// needs, and reports every failure with the library's text, error number and failing call.
#pragma once

#include "msp430/msp430dll.h"
#include "msp430/msp430jtagmonitorinterface.h"

#include <QString>
#include <array>
#include <map>
#include <optional>
#include <memory>

namespace zim::target {
class TargetEnvironment;
}

namespace zim::msp430 {

class MSP430TargetInterface : public MSP430JTAGMonitorInterface
{
    Q_OBJECT
    Q_PROPERTY(QString port READ port WRITE setPort)
    Q_PROPERTY(QString targetDllPath READ targetDllPath WRITE setTargetDllPath)
    Q_PROPERTY(bool isUsb READ isUsb WRITE setIsUsb)
    Q_PROPERTY(bool supportsSpyBiWire READ supportsSpyBiWire WRITE setSupportsSpyBiWire)
    Q_PROPERTY(bool useSpyBiWire READ useSpyBiWire WRITE setUseSpyBiWire)
    Q_PROPERTY(QString version READ version)
    Q_PROPERTY(uint vcc READ vcc WRITE setVcc)
    Q_PROPERTY(bool upgradeAdapterFirmware READ upgradeAdapterFirmware WRITE setUpgradeAdapterFirmware)

public:
    static constexpr const char *kDefaultDllPath = "$(VeltDir)/bin/msp430.dll";

    // environment gives the macros of the path, the project's interface type and device, and
    // the clock of every wait (not owned; it outlives the port).
    explicit MSP430TargetInterface(target::TargetEnvironment &environment);
    ~MSP430TargetInterface() override;

    QString port() const { return m_port; }
    void setPort(const QString &port) { m_port = port; }
    QString targetDllPath() const { return m_dllPath; }
    void setTargetDllPath(const QString &path) { m_dllPath = path; }
    bool isUsb() const { return m_isUsb; }
    void setIsUsb(bool on) { m_isUsb = on; }
    bool supportsSpyBiWire() const { return m_supportsSpyBiWire; }
    void setSupportsSpyBiWire(bool on) { m_supportsSpyBiWire = on; }
    bool useSpyBiWire() const { return m_useSpyBiWire; }
    void setUseSpyBiWire(bool on) { m_useSpyBiWire = on; }
    QString version() const { return isConnected() ? m_version : QString(); }
    uint vcc() const { return m_vcc; }
    void setVcc(uint millivolts) { m_vcc = millivolts; }
    // Set: connect first updates the adapter's firmware; never done otherwise.
    bool upgradeAdapterFirmware() const { return m_upgradeFirmware; }
    void setUpgradeAdapterFirmware(bool on) { m_upgradeFirmware = on; }

    // The library generation in use while connected.
    const MSP430Dll *library() const { return m_dll.get(); }

    // MSP430MonitorInterface, from the device record.
    uint32_t ramStart() const override;
    uint32_t ramEnd() const override;
    uint32_t flashStart() const override { return field16(36); }
    uint32_t flashEnd() const override { return field32(66); }
    uint32_t infoStart() const override { return field16(38); }
    uint32_t infoEnd() const override { return field16(64); }
    uint32_t infoSegmentSize() const override;
    bool eemAvailable() const override { return m_eemStatus == 0; }
    uint32_t readEEMRegister(uint32_t reg) const override;
    void writeEEMRegister(uint32_t reg, uint32_t value) override;
    uint32_t emulationLevel() const override { return field16(44); }
    uint32_t breakpointCount() const override { return field16(42); }
    bool hasExtendedMemory() const override { return flashEnd() > 0x10000; }

    // MSP430JTAGMonitorInterface
    void setHardwareBreakpoint(uint32_t trigger, uint32_t address, uint32_t reaction) override;
    void clearHardwareBreakpoint(uint32_t trigger, uint32_t reaction) override;
    uint32_t clockControlLevel() const override { return field16(46); }
    uint32_t clockModuleCount() const override { return 32; }
    QString clockModuleName(uint32_t index) const override;
    void eraseSegment(uint32_t start, uint32_t length) override;
    bool isInState(TargetState state) override;
    bool handleStop() override;

    // DevicePort
    void connect() override;
    void disconnect() override;
    bool reset(bool stop) override;
    bool go() override;
    bool run(uint32_t address, bool release) override;
    bool waitForStop(int timeoutMs) override;
    bool step() override;
    void beginLoad() override;
    void endLoad() override;

    // TargetMemoryInterface
    void writeBytes(uint32_t address, uint32_t count, const uint8_t *data) override;
    void readBytes(uint32_t address, uint32_t count, uint8_t *buffer) override;
    void eraseAll() override;
    int maxTransferBlock() const override { return 1024; }
    int maxWriteBlock() const override { return 8192; }
    // A verify block is read by one library call.
    int maxVerifyBlock() const override { return 8192; }
    bool verifyBytes(uint32_t address, uint32_t count, const uint8_t *data) override;

    // Leaves the target running without the debugger.
    void release();

public slots:
    // Updates the adapter's firmware through the library; only while not connected.
    void upgradeFirmware();

private:
    // The messages of one firmware update, as the library reports its steps; client is the
    // target.
    static void firmwareProgress(uint32_t code, uint32_t value, void *client);
    uint32_t field16(int offset) const;
    uint32_t field32(int offset) const;
    QString deviceName() const;
    // Throws HException prefix + the library's failure text when result is -1.
    void check(long long result, const QString &prefix) const;
    void loadLibrary();
    QString interfaceType() const;
    long long deviceSetNumber();
    void stopForAccess();
    void resumeAfterAccess();
    void writeChunk(uint32_t address, uint32_t count, const uint8_t *data);
    void startRun(int mode);
    void resume();
    void readAllRegisters();
    uint32_t readPC();

    target::TargetEnvironment &m_environment;
    QString m_port = QStringLiteral("USB");
    QString m_dllPath;
    bool m_isUsb = true;
    bool m_supportsSpyBiWire = true;
    bool m_useSpyBiWire = false;
    uint m_vcc = 3300;
    bool m_upgradeFirmware = false;
    QString m_version;
    std::unique_ptr<MSP430Dll> m_dll;
    std::array<uint8_t, kDeviceRecordSizeV3> m_record{};
    long long m_eemStatus = -1;
    int m_runMode = 3;
    uint32_t m_savedEEM4 = 0;
    bool m_resume = false;
    // Hits still to pass before a counted breakpoint stops the CPU.
    std::map<BreakpointId, uint32_t> m_hitsLeft;
};

} // namespace zim::msp430
