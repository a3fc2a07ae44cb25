// MSP430 instruction records from the operand stack.
#include "tevo/tevomsp430reader.h"

#include "tevo/tevomodule.h"
#include "tevo/tevomsp430insn.h"

namespace zim::tevo {

TEVOProcessorInsn *TEVOMSP430Reader::readInstruction()
{
    const uint32_t code = takeConstant(0, 0xFFFFFFFF);
    TEVOExpr *second = takeExprOrNull();
    TEVOExpr *first = takeExprOrNull();
    return TEVOMSP430Insn::make(module().pool(), code, first, second);
}

} // namespace zim::tevo
