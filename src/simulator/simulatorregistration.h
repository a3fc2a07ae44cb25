// Start-up registration of the simulator targets with the target registry.
#pragma once

namespace zim::target {
class ProgramState;
}

namespace zim::simulator {


// Lets the registry create "MSP430Monitor" (short name "sim"). Call once before parsing the command line.
void registerSimulatorTargets(target::ProgramState &state);

} // namespace zim::simulator
