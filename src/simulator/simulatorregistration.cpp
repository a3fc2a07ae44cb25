// Registers the simulator's target classes with the registry of the target framework.
#include "simulator/simulatorregistration.h"

#include "simulator/msp430monitor.h"
#include "target/targetregistry.h"

void registerSimulatorTargets()
{
    targetInterfaceFactory().registerCreator("MSP430Monitor",
                                             [](QObject *parent) -> TargetInterface * { return new MSP430Monitor(parent); });
}
