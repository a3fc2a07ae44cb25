// RunSlice: what the run loop hands the processor for one stretch of instructions between two
// of its stop decisions.
#pragma once

#include <cstdint>

namespace zim::simulator {

struct RunSlice
{
    // Instructions run until they have used this many cycles; 0 runs exactly one instruction.
    uint32_t cycleBudget;
    // Execution counters, one per address from profileBase; none when profileLength is 0.
    uint32_t *profile;
    uint32_t profileBase;
    uint32_t profileLength;
    // Raised by the monitor when something an instruction did (an error, a watched access, a stop
    // request, a reset) needs a stop decision: the slice ends after that instruction.
    const bool *attention;
};

} // namespace zim::simulator
