// The registry of target interfaces.
#include "target/targetregistry.h"

#include "target/targetinterface.h"

namespace zim::target {

TargetInterface *TargetInterfaceFactory::create(const QString &, ProgramState &, QObject *)
{
    return nullptr;
}

QString TargetInterfaceFactory::classForShortName(const QString &name) const
{
    for (const TargetRegistryEntry &e : m_entries)
        if (e.shortName && name == QLatin1String(e.shortName))
            return QString::fromLatin1(e.className);
    return QString();
}

void TargetInterfaceFactory::registerCreator(const char *className, Creator creator)
{
    const QString name = QString::fromLatin1(className);
    for (auto &c : m_creators) {
        if (c.first == name) {
            c.second = std::move(creator);
            return;
        }
    }
    m_creators.append({name, std::move(creator)});
}

MSP430TargetInterfaceFactory::MSP430TargetInterfaceFactory()
{
    m_entries = {
        {"MSP430Monitor", "sim", "MSP430 Core Simulator", false},
        {"MSP430ParallelPortFETTargetInterface", "fet", "Flash Emulation Tool (MSP-FET430PIF)", false},
        {"MSP430USBVexlinkTargetInterface", "usb", "MSP430 USB Vexlink", false},
        {"MSP430TargetInterface", "msp430_dll", "TI MSP430.dll Interface", false},
    };
}

TargetInterface *MSP430TargetInterfaceFactory::create(const QString &className, ProgramState &state, QObject *parent)
{
    for (const TargetRegistryEntry &e : std::as_const(m_entries)) {
        if (className != QLatin1String(e.className))
            continue;
        for (const auto &c : std::as_const(m_creators)) {
            if (c.first != className)
                continue;
            TargetInterface *target = c.second(state, parent);
            if (target)
                target->setProgramState(&state);
            return target;
        }
        return nullptr;
    }
    return TargetInterfaceFactory::create(className, state, parent);
}

} // namespace zim::target
