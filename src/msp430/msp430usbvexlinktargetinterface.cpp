// The USB Vexlink target: adapter choice, the data link and the model's driver filling.
#include "msp430/msp430usbvexlinktargetinterface.h"

#include "common/hexception.h"
#include "target/targetenvironment.h"
#include "target/targetinterface.h"

namespace zim::msp430 {

namespace {

const char kNoneConnected[] = "No USB Vexlinks are connected.";

QString describe(const platform::UsbDeviceEntry &entry)
{
    return QStringLiteral("  bus position ") + entry.position + QStringLiteral(", serial number ")
           + (entry.serial.isEmpty() ? QStringLiteral("unknown") : entry.serial);
}

} // namespace

MSP430USBVexlinkTargetInterface::MSP430USBVexlinkTargetInterface(target::TargetEnvironment &environment,
                                                                 MSP430DeviceLibrary &devices)
    : MSP430TargetInterface2(environment, devices), m_environment(environment)
{
    setObjectName(QStringLiteral("MSP430USBVexlinkTargetInterface"));
    const QString connection = QStringLiteral("Connection");
    registerProperty(QStringLiteral("operatingVoltage"), connection, QStringLiteral("Operating Voltage"),
                     QStringLiteral("Returns the operating voltage of the target."));
    registerProperty(QStringLiteral("connectToSerialNumber"), connection, QStringLiteral("Use Serial Number"),
                     QStringLiteral("Allows you to specify the serial number of Vexlink to use if more than one is "
                                    "currently connected."));
    registerProperty(QStringLiteral("connectedSerialNumber"), connection, QStringLiteral("Serial Number"),
                     QStringLiteral("The serial number of the currently connected Vexlink."));
}

MSP430USBVexlinkTargetInterface::~MSP430USBVexlinkTargetInterface()
{
    closeLink();
}

QString MSP430USBVexlinkTargetInterface::operatingVoltage() const
{
    if (!isConnected() || m_millivolts <= 0)
        return QString();
    return QString::number(m_millivolts / 1000.0, 'f', 2) + QStringLiteral(" V");
}

void MSP430USBVexlinkTargetInterface::closeLink()
{
    if (m_link)
        m_link->close();
    m_link.reset();
    m_bus.reset();
}

bool MSP430USBVexlinkTargetInterface::openAdapter(const platform::UsbDeviceEntry &entry, QString &reason)
{
    if (entry.productId != kProductModel1 && entry.productId != kProductModel2) {
        reason = QStringLiteral("another model (product identifier 0x%1)")
                     .arg(entry.productId, 4, 16, QLatin1Char('0'));
        return false;
    }
    m_link = std::make_unique<platform::UsbLink>(m_environment.deviceAccess().usbCalls(), m_environment.clock());
    switch (m_link->open(entry.device)) {
    case platform::UsbLink::OpenResult::Opened:
        break;
    case platform::UsbLink::OpenResult::NoPermission:
        reason = QStringLiteral("no permission");
        m_link.reset();
        return false;
    case platform::UsbLink::OpenResult::InUse:
        reason = QStringLiteral("in use");
        m_link.reset();
        return false;
    case platform::UsbLink::OpenResult::Failed:
        reason = m_link->error();
        m_link.reset();
        return false;
    }
    Msp430dDriver &d = driver();
    msp430dFillBase(d);
    d.blockWrite = blockWrite();
    m_session = VexlinkSession();
    m_session.link = m_link.get();
    if (entry.productId == kProductModel1)
        fillVexlinkModel1(d, m_session);
    else
        fillVexlinkModel2(d, m_session);
    const QByteArray path = entry.position.toUtf8();
    d.lastError.clear();
    if (!d.open(&d, path.constData(), 0)) {
        reason = QString::fromStdString(d.lastError);
        m_link.reset();
        return false;
    }
    return true;
}

void MSP430USBVexlinkTargetInterface::connect()
{
    if (isConnected())
        throw common::HException(QStringLiteral("Target interface already connected."));
    closeLink();
    m_bus = std::make_unique<platform::UsbBus>(m_environment.deviceAccess().usbCalls());
    const QList<platform::UsbDeviceEntry> all = m_bus->devices(kVendorId, -1);
    if (all.isEmpty())
        throw common::HException(QLatin1String(kNoneConnected));

    QList<platform::UsbDeviceEntry> candidates;
    for (const platform::UsbDeviceEntry &entry : all)
        if (m_connectToSerialNumber.isEmpty() || entry.serial == m_connectToSerialNumber)
            candidates.append(entry);
    if (candidates.isEmpty()) {
        QString message = QStringLiteral("No USB Vexlinks are connected that have the serial number \"")
                          + m_connectToSerialNumber + QStringLiteral("\"\nAdapters seen:");
        for (const platform::UsbDeviceEntry &entry : all)
            message += QLatin1Char('\n') + describe(entry);
        throw common::HException(message);
    }

    QStringList unused;
    for (const platform::UsbDeviceEntry &entry : std::as_const(candidates)) {
        QString reason;
        if (!openAdapter(entry, reason)) {
            unused.append(describe(entry) + QStringLiteral(": ") + reason);
            continue;
        }
        try {
            connectDevice();
        } catch (...) {
            closeLink();
            throw;
        }
        m_connectedSerialNumber = entry.serial;
        m_devicePath = entry.position;
        return;
    }
    closeLink();
    throw common::HException(QLatin1String(kNoneConnected) + QStringLiteral("\nAdapters seen and not used:\n")
                             + unused.join(QLatin1Char('\n')));
}

void MSP430USBVexlinkTargetInterface::disconnect()
{
    MSP430TargetInterface2::disconnect();
    closeLink();
    m_connectedSerialNumber.clear();
    m_devicePath.clear();
    m_millivolts = 0;
}

void MSP430USBVexlinkTargetInterface::reconnectTransport()
{
    // The driver's close gave up the link; find the adapter where it was and open it again.
    const QString serial = m_connectedSerialNumber;
    const QString position = m_devicePath;
    closeLink();
    try {
        m_bus = std::make_unique<platform::UsbBus>(m_environment.deviceAccess().usbCalls());
        for (const platform::UsbDeviceEntry &entry : m_bus->devices(kVendorId, -1)) {
            QString reason;
            if (entry.position == position && entry.serial == serial && openAdapter(entry, reason))
                return;
        }
    } catch (const common::HException &) {
    }
    closeLink();
    throw common::HException(QStringLiteral("Cannot reconnect to target interface."));
}

target::TargetRegistryEntry usbVexlinkTarget(target::TargetEnvironment &environment, MSP430DeviceLibrary &devices)
{
    return {"MSP430USBVexlinkTargetInterface", "usb", "MSP430 USB Vexlink", false, [&environment, &devices] {
                auto port = std::make_unique<MSP430USBVexlinkTargetInterface>(environment, devices);
                const QString name = port->objectName();
                return std::make_unique<target::TargetInterface>(std::move(port), name, &environment);
            }};
}

} // namespace zim::msp430
