// Start-up registration of the simulator targets with the target registry.
#pragma once

class ProgramState;

// Lets the registry create "MSP430Monitor" (short name "sim"). Call once before parsing the command line.
void registerSimulatorTargets(ProgramState &state);
