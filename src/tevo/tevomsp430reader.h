// The TEVO reader for MSP430 modules.
#pragma once

#include "tevo/tevoreader.h"

namespace zim::tevo {

class TEVOMSP430Reader : public TEVOReader
{
public:
    using TEVOReader::TEVOReader;

    const char *processorName() const override { return "MSP430"; }

protected:
    // Pops the instruction code, then the second and the first operand (each an expression or
    // null), and makes a TEVOMSP430Insn.
    TEVOProcessorInsn *readInstruction() override;
};

} // namespace zim::tevo
