// MSP430USBVexlinkTargetInterface: the own JTAG target over the USB Vexlink adapter. It lists
// the adapters on the bus, picks one (by serial number when asked), opens its bulk data link
// and fills the driver table with the filling of the adapter's model; the JTAG work is the
// base's.
#pragma once

#include "msp430/msp430targetinterface2.h"
#include "msp430/vexlinkdriver.h"
#include "platform/usblink.h"
#include "target/targetregistry.h"

#include <memory>

namespace zim::msp430 {

class MSP430USBVexlinkTargetInterface : public MSP430TargetInterface2
{
    Q_OBJECT
    Q_PROPERTY(QString operatingVoltage READ operatingVoltage)
    Q_PROPERTY(QString connectToSerialNumber READ connectToSerialNumber WRITE setConnectToSerialNumber)
    Q_PROPERTY(QString connectedSerialNumber READ connectedSerialNumber)

public:
    // The adapter's USB identifiers: one vendor, a product per firmware model.
    static constexpr uint16_t kVendorId = 0x0403;
    static constexpr uint16_t kProductModel1 = 0x0001;
    static constexpr uint16_t kProductModel2 = 0x0005;

    MSP430USBVexlinkTargetInterface(target::TargetEnvironment &environment, MSP430DeviceLibrary &devices);
    ~MSP430USBVexlinkTargetInterface() override;

    QString operatingVoltage() const;
    QString connectToSerialNumber() const { return m_connectToSerialNumber; }
    void setConnectToSerialNumber(const QString &serial) { m_connectToSerialNumber = serial.trimmed(); }
    QString connectedSerialNumber() const { return m_connectedSerialNumber; }
    // Where the connected adapter sits on the bus ("1-2.3"); empty while not connected.
    QString devicePath() const { return m_devicePath; }

    void connect() override;
    void disconnect() override;
    int maxTransferBlock() const override { return 8192; }
    int maxWriteBlock() const override { return 8192; }

protected:
    void storeTargetVoltage(int millivolts) override { m_millivolts = millivolts; }
    void reconnectTransport() override;

private:
    // Opens the link to entry and fills the table for its model; false (the link closed) when
    // the adapter cannot be used, with why in reason.
    bool openAdapter(const platform::UsbDeviceEntry &entry, QString &reason);
    void closeLink();

    target::TargetEnvironment &m_environment;
    QString m_connectToSerialNumber;
    QString m_connectedSerialNumber;
    QString m_devicePath;
    int m_millivolts = 0;
    std::unique_ptr<platform::UsbBus> m_bus;
    std::unique_ptr<platform::UsbLink> m_link;
    VexlinkSession m_session;
};

// The registry row: "MSP430USBVexlinkTargetInterface", short name usb.
target::TargetRegistryEntry usbVexlinkTarget(target::TargetEnvironment &environment, MSP430DeviceLibrary &devices);

} // namespace zim::msp430
