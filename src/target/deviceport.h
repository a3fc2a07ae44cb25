// DevicePort: one driver's side of a target (the core simulator, a vendor library, a JTAG
// transport): connection, memory, registers and run control, plus the driver's own properties
// (Qt properties of the port, listed after the target's). The TargetInterface facade holds
// one port and does everything that is the same for every driver over it.
#pragma once

#include "target/objecttreeobject.h"
#include "target/progressreport.h"

#include <QString>
#include <cstdint>

namespace zim::target {

class TargetInterface;
class TargetMemoryInterface;
class TargetRegisterInterface;
class VeltObjectPropertyValue;

class DevicePort : public ObjectTreeObject
{
    Q_OBJECT
public:
    // The states a target passes through.
    enum TargetState {
        TargetConnected = 0,
        TargetDisconnected = 1,
        TargetNotConnected = 2,
        TargetRunning = 3,
        TargetStopped = 4,
    };
    Q_ENUM(TargetState)

    // Flag bit: the target offers the Erase All property.
    static constexpr uint32_t FlagEraseAll = 0x100;

    explicit DevicePort(uint32_t flags = 0) : m_flags(flags) {}
    ~DevicePort() override;

    // The facade that reports for this port; nullptr while the port is used on its own.
    TargetInterface *target() const { return m_target; }

    // Connection; these hide QObject::connect/disconnect, so signal wiring inside ports names
    // QObject::connect explicitly.
    virtual void connect() = 0;
    virtual void disconnect() = 0;
    virtual bool isConnected() const = 0;
    // Work before connect that may ask the user or the system (nothing by default).
    virtual void prepareConnect() {}
    // The detected device type ("device_id"), empty while unknown.
    virtual QString deviceType() const { return QString(); }

    // Memory space 0, the memory scripts use, memory space 1 (or nullptr), the registers (or
    // nullptr); all nullptr while disconnected.
    virtual TargetMemoryInterface *mainMemory() = 0;
    virtual TargetMemoryInterface *memory() { return mainMemory(); }
    virtual TargetMemoryInterface *secondMemory() { return nullptr; }
    virtual TargetRegisterInterface *registers() { return nullptr; }

    // Run control. reset(true) leaves the device stopped; reset(false) lets it run.
    virtual bool reset(bool stop) = 0;
    virtual bool go() = 0;
    // Starts the loaded program; release leaves the device running without the debugger.
    virtual bool run(uint32_t address, bool release) = 0;
    virtual bool stop() = 0;
    virtual bool waitForStop(int timeoutMs) = 0;
    // Executes one instruction; false when the device cannot.
    virtual bool step() { return false; }
    // Why the last run stopped; empty when the device did not stop by itself.
    virtual QString stopMessage() const { return QString(); }
    virtual void raiseInterrupt(int n) { Q_UNUSED(n); }

    // Brackets of one load; calls nest.
    virtual void beginLoad() {}
    virtual void endLoad() {}
    virtual bool canDownload() { return true; }

    uint32_t flags() const { return m_flags; }
    // "%04x" of the address unless the device needs more digits.
    virtual QString formatAddress(uint32_t address) const;
    // Presentation of the port's own properties: hidden ones, and bindings that describe them
    // (nullptr: the texts registered with registerProperty, if any).
    virtual bool isPropertyVisible(const QString &property) const
    {
        Q_UNUSED(property);
        return true;
    }
    virtual const VeltObjectPropertyValue *propertyDefinition(const QString &property) const
    {
        Q_UNUSED(property);
        return nullptr;
    }

protected:
    // Reports through the facade; nothing happens while the port has none.
    void reportMessage(const QString &text) const;
    void reportProgress(const ProgressReport &report) const;
    void reportState(TargetState state) const;
    // The project's reset and attach scripts, run by the facade at the point of a reset or
    // attach that the device chooses; true at once while the port has no facade.
    bool runResetScript() const;
    bool runAttachScript() const;

private:
    friend class TargetInterface;
    uint32_t m_flags;
    TargetInterface *m_target = nullptr;
};

} // namespace zim::target
