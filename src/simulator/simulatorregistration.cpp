// The simulator's row of the target registry.
#include "simulator/simulatorregistration.h"

#include "simulator/msp430monitor.h"
#include "target/targetinterface.h"

namespace zim::simulator {

target::TargetRegistryEntry simulatorTarget(target::TargetEnvironment &environment, msp430::MSP430DeviceLibrary &devices)
{
    return {"MSP430Monitor", "sim", "MSP430 Core Simulator", false, [&environment, &devices] {
                auto port = std::make_unique<MSP430Monitor>(environment, devices);
                const QString name = port->objectName();
                return std::make_unique<target::TargetInterface>(std::move(port), name, &environment);
            }};
}

} // namespace zim::simulator
