// The debug-library target's row of the target registry.
#include "msp430/vendorlibrarytarget.h"

#include "msp430/msp430targetinterface.h"
#include "target/targetinterface.h"

namespace zim::msp430 {

target::TargetRegistryEntry vendorLibraryTarget(target::TargetEnvironment &environment)
{
    return {"MSP430TargetInterface", "msp430_dll", "TI MSP430.dll Interface", false, [&environment] {
                auto port = std::make_unique<MSP430TargetInterface>(environment);
                const QString name = port->objectName();
                return std::make_unique<target::TargetInterface>(std::move(port), name, &environment);
            }};
}

} // namespace zim::msp430
