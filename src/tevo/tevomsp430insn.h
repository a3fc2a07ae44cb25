// The MSP430 processor instruction record: an instruction code, up to two operand expressions
// and the bytes the linker stored for it.
#pragma once

#include "tevo/tevoinsn.h"

namespace zim::tevo {

class TEVOMSP430Insn : public TEVOProcessorInsn
{
public:
    static constexpr bool ownsNothing = true;
    TEVOMSP430Insn(uint32_t code, TEVOExpr *first, TEVOExpr *second)
        : m_code(code), m_first(first), m_second(second)
    {
    }

    uint32_t code() const { return m_code; }
    TEVOExpr *first() const { return m_first; }
    TEVOExpr *second() const { return m_second; }

    // The size class of the code: 4 (+2 per operand) for the MSP430X extended form from
    // 0x18000000, 8 from 0x20000, 6 from 0x10000, 2 for jumps, 2 (+2 per operand) otherwise.
    static uint32_t sizeFor(uint32_t code, bool hasFirst, bool hasSecond)
    {
        const uint32_t operands = (hasFirst ? 2 : 0) + (hasSecond ? 2 : 0);
        if (code >= 0x18000000)
            return 4 + operands;
        if (code >= 0x20000)
            return 8;
        if (code >= 0x10000)
            return 6;
        if ((code & 0xFFFF) >= 0x2000 && (code & 0xFFFF) <= 0x3FFF)
            return 2;
        return 2 + operands;
    }

    uint32_t size() override { return sizeFor(m_code, m_first, m_second); }
    // Loading needs the stored bytes: fewer than the size is a problem.
    QString problem() override;
    QByteArray listingText() override;

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    uint32_t m_code;
    TEVOExpr *m_first;
    TEVOExpr *m_second;
};

} // namespace zim::tevo
