// Registers the simulator's target classes with the registry of the target framework.
#include "simulator/simulatorregistration.h"

#include "simulator/msp430monitor.h"
#include "target/programstate.h"

void registerSimulatorTargets(ProgramState &state)
{
    state.targetFactory().registerCreator("MSP430Monitor", [](ProgramState &state, QObject *parent) -> TargetInterface * {
        return new MSP430Monitor(state, parent);
    });
}
