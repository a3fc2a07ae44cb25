// The registry of target interfaces.
#include "target/targetregistry.h"

#include "target/targetinterface.h"

namespace zim::target {

std::unique_ptr<TargetInterface> TargetInterfaceFactory::create(const QString &className) const
{
    for (const TargetRegistryEntry &e : m_entries)
        if (className == QLatin1String(e.className))
            return e.create();
    return nullptr;
}

QString TargetInterfaceFactory::classForShortName(const QString &name) const
{
    for (const TargetRegistryEntry &e : m_entries)
        if (e.shortName && name == QLatin1String(e.shortName))
            return QString::fromLatin1(e.className);
    return QString();
}

} // namespace zim::target
