// The parallel-port Flash Emulation Tool target: our own JTAG driver with a transport of one
// device-control request per low-level entry, sent to the FET's driver (FetPortDevice on a
// ppdev port). Everything above those entries is MSP430TargetInterface2's.
#pragma once

#include "msp430/fetdevice.h"
#include "msp430/msp430targetinterface2.h"
#include "target/targetregistry.h"

#include <functional>
#include <memory>

namespace zim::platform {
class DeviceAccess;
class InterruptGuard;
} // namespace zim::platform

namespace zim::msp430 {

class MSP430ParallelPortFETTargetInterface : public MSP430TargetInterface2
{
    Q_OBJECT
    Q_PROPERTY(QString portName READ portName WRITE setPortName)
    Q_PROPERTY(QString portAddress READ portAddress)
    Q_PROPERTY(bool portSharing READ portSharing WRITE setPortSharing)

public:
    // Makes the FET's driver each time the port is opened; null when it cannot be made.
    using DeviceFactory = std::function<std::unique_ptr<FetDevice>()>;

    // Over the driver that deviceFactory makes; without one, over the ppdev port reached
    // through the environment's device calls.
    MSP430ParallelPortFETTargetInterface(target::TargetEnvironment &environment, MSP430DeviceLibrary &devices,
                                         DeviceFactory deviceFactory = {});
    ~MSP430ParallelPortFETTargetInterface() override;

    QString portName() const { return m_portName; }
    void setPortName(const QString &name) { m_portName = name; }
    QString portAddress() const { return m_portAddress; }
    bool portSharing() const { return m_portSharing; }
    void setPortSharing(bool on) { m_portSharing = on; }

    void connect() override;
    void beginLoad() override;
    void endLoad() override;
    void programBytes(uint32_t address, uint32_t count, const uint8_t *data) override;
    int maxTransferBlock() const override { return 1024; }
    int maxWriteBlock() const override { return 1024; }

protected:
    void reconnectTransport() override;

private:
    void fillDriver();
    // The driver's open entry with the stored port settings; false with the error text set.
    bool openPort();
    bool send(uint32_t code, const void *in, uint32_t inSize, void *out, uint32_t outSize);
    void closePort();

    target::TargetEnvironment &m_environment;
    DeviceFactory m_deviceFactory;
    std::unique_ptr<FetDevice> m_device;
    std::unique_ptr<platform::InterruptGuard> m_interrupt;
    bool m_filled = false;
    QString m_portName = QStringLiteral("LPT1");
    QString m_portAddress;
    bool m_portSharing = false;
    uint32_t m_baseAddress = 0;
    int (*m_genericProgramFlash)(Msp430dDriver *, uint32_t, uint32_t, const uint8_t *) = nullptr;
};

// The registry row: "MSP430ParallelPortFETTargetInterface", short name fet.
target::TargetRegistryEntry parallelPortFetTarget(target::TargetEnvironment &environment,
                                                  MSP430DeviceLibrary &devices);

} // namespace zim::msp430
