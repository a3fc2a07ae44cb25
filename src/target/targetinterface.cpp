// The facade every target shares, and what a device port reports through it.
#include "target/targetinterface.h"

#include "target/download.h"

#include "loadfile/loadfileinterface.h"

namespace zim::target {

const project::PropertyValue &TargetPropertyDefinitions::deviceType()
{
    static const project::PropertyValue value(
        QStringLiteral("device_id"), 0, QStringLiteral("Current"), QStringLiteral("Device Type"),
        QStringLiteral("The detected type of the currently connected target device."), QString(),
        project::PropertyValue::Text);
    return value;
}

const project::PropertyValue &TargetPropertyDefinitions::eraseAll()
{
    static const project::PropertyValue value(
        QStringLiteral("loaderEraseAll"), 0, QStringLiteral("Loader"), QStringLiteral("Erase All"),
        QStringLiteral("Erase all erasable memory rather than individual segments when downloading."), QString(),
        project::PropertyValue::YesNo);
    return value;
}

DevicePort::~DevicePort() = default;

QString DevicePort::formatAddress(uint32_t address) const
{
    return QString::asprintf("%04x", address);
}

void DevicePort::reportMessage(const QString &text) const
{
    if (m_target)
        emit m_target->message(text);
}

void DevicePort::reportProgress(const ProgressReport &report) const
{
    if (m_target)
        emit m_target->progress(report);
}

void DevicePort::reportState(TargetState state) const
{
    if (m_target)
        emit m_target->stateChanged(state);
}

bool DevicePort::runResetScript() const
{
    return !m_target || m_target->runResetScript();
}

bool DevicePort::runAttachScript() const
{
    return !m_target || m_target->runAttachScript();
}

const char *progressTitle(const ProgressReport &report)
{
    switch (report.phase) {
    case ProgressReport::Phase::EraseAll:
        return report.space == 0 ? "Erasing entire FLASH memory" : "Erasing entire EEPROM memory";
    case ProgressReport::Phase::Erase:
        return "Erasing";
    case ProgressReport::Phase::EraseSegments:
        return "Erasing FLASH memory";
    case ProgressReport::Phase::Program:
        return "Programming";
    case ProgressReport::Phase::Verify:
        return "Verifying";
    case ProgressReport::Phase::Upload:
        return "Uploading";
    case ProgressReport::Phase::PowerCycle:
        return "Power cycling target";
    }
    return "";
}

const char *progressUnit(ProgressReport::Unit unit)
{
    switch (unit) {
    case ProgressReport::Unit::Bytes:
        return "bytes";
    case ProgressReport::Unit::Sectors:
        return "sectors";
    case ProgressReport::Unit::None:
        break;
    }
    return nullptr;
}

TargetInterface::TargetInterface(std::unique_ptr<DevicePort> port, const QString &name, TargetEnvironment *environment)
    : script::ESClass("TargetInterface"),
      m_port(std::move(port)),
      m_environment(environment),
      m_deviceTypeBinding(std::make_unique<VeltObjectPropertyValue>(TargetPropertyDefinitions::deviceType(), this)),
      m_eraseAllBinding(std::make_unique<VeltObjectPropertyValue>(TargetPropertyDefinitions::eraseAll(), this))
{
    Q_ASSERT(m_port && !m_port->m_target);
    setObjectName(name);
    m_port->m_target = this;
}

TargetInterface::~TargetInterface()
{
    m_port->m_target = nullptr;
}

QList<const QObject *> TargetInterface::propertyObjects() const
{
    return {this, m_port.get()};
}

QObject *TargetInterface::propertyOwner(const QString &property) const
{
    const QByteArray name = property.toUtf8();
    if (metaObject()->indexOfProperty(name.constData()) >= 0)
        return const_cast<TargetInterface *>(this);
    if (m_port->metaObject()->indexOfProperty(name.constData()) >= 0)
        return m_port.get();
    return nullptr;
}

bool TargetInterface::describeProperty(const QString &property, PropertyRecord &record) const
{
    return ObjectTreeObject::describeProperty(property, record) || m_port->describeProperty(property, record);
}

bool TargetInterface::isPropertyVisible(const QString &property) const
{
    if (property == QLatin1String("loaderEraseAll"))
        return (flags() & FlagEraseAll) != 0;
    return m_port->isPropertyVisible(property);
}

const VeltObjectPropertyValue *TargetInterface::propertyDefinition(const QString &property) const
{
    if (property == QLatin1String("device_id"))
        return m_deviceTypeBinding.get();
    if (property == QLatin1String("loaderEraseAll"))
        return m_eraseAllBinding.get();
    return m_port->propertyDefinition(property);
}

void TargetInterface::download(loadfile::LoadFileInterface &file, const QString &fileName, bool check)
{
    downloadFile(*this, file, fileName, check);
}

std::unique_ptr<loadfile::LoadFileInterface> TargetInterface::upload(loadfile::LoadFileInterface &file, const QString &fileName)
{
    return uploadFile(*this, file, fileName);
}

void TargetInterface::checkSectionsFit(loadfile::LoadFileInterface &file)
{
    checkFileFits(*this, file);
}

bool TargetInterface::verify(loadfile::LoadFileInterface &file, const QString &fileName)
{
    return verifyFile(*this, file, fileName);
}

} // namespace zim::target
