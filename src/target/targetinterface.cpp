// The behaviour every target shares.
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

TargetInterface::TargetInterface(uint32_t flags, QObject *parent, const QString &name)
    : ObjectTreeObject(parent),
      script::ESClass("TargetInterface"),
      m_flags(flags),
      m_deviceTypeBinding(std::make_unique<VeltObjectPropertyValue>(TargetPropertyDefinitions::deviceType(), this)),
      m_eraseAllBinding(std::make_unique<VeltObjectPropertyValue>(TargetPropertyDefinitions::eraseAll(), this))
{
    setObjectName(name);
}

TargetInterface::~TargetInterface() = default;

bool TargetInterface::describeProperty(const QString &property, PropertyRecord &record) const
{
    return ObjectTreeObject::describeProperty(property, record);
}

bool TargetInterface::isPropertyVisible(const QString &property) const
{
    if (property == QLatin1String("loaderEraseAll"))
        return (m_flags & FlagEraseAll) != 0;
    return true;
}

const VeltObjectPropertyValue *TargetInterface::propertyDefinition(const QString &property) const
{
    if (property == QLatin1String("device_id"))
        return m_deviceTypeBinding.get();
    if (property == QLatin1String("loaderEraseAll"))
        return m_eraseAllBinding.get();
    return nullptr;
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

QString TargetInterface::formatAddress(uint32_t address) const
{
    return QString::asprintf("%04x", address);
}

} // namespace zim::target
