// Registers the simulator's target classes with the registry of the target framework.
#include "simulator/simulatorregistration.h"

#include "simulator/msp430monitor.h"
#include "target/programstate.h"

namespace zim::simulator {

void registerSimulatorTargets(target::ProgramState &state)
{
    state.targetFactory().registerCreator("MSP430Monitor", [](target::ProgramState &state, QObject *parent) -> target::TargetInterface * {
        return new MSP430Monitor(state, parent);
    });
}

} // namespace zim::simulator
