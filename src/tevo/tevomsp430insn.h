// The MSP430 processor instruction record: an instruction code, up to two operand expressions
// and the bytes the linker stored for it.
#pragma once

#include "tevo/tevoinsn.h"

namespace zim::tevo {

class TEVOMSP430Insn : public TEVOProcessorInsn
{
public:
    static constexpr bool ownsNothing = true;

    // A record from the pool. Operands, where there are any, are kept right after the record,
    // so that an instruction without extension words takes 64 bytes instead of 80.
    static TEVOMSP430Insn *make(TEVOPool &pool, uint32_t code, TEVOExpr *first, TEVOExpr *second)
    {
        if (!first && !second)
            return pool.make<TEVOMSP430Insn>(code);
        TEVOMSP430Insn *insn = pool.makeWithTail<TEVOMSP430Insn>(2 * sizeof(TEVOExpr *), code);
        insn->setDetail(uint8_t(insn->detail() | operandsBit));
        insn->operands()[0] = first;
        insn->operands()[1] = second;
        return insn;
    }

    uint32_t code() const { return m_code; }
    TEVOExpr *first() const { return hasOperands() ? operands()[0] : nullptr; }
    TEVOExpr *second() const { return hasOperands() ? operands()[1] : nullptr; }

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

    uint32_t size() override { return sizeFor(m_code, first(), second()); }
    // Loading needs the stored bytes: fewer than the size is a problem.
    QString problem() override;
    QByteArray listingText() override;

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    friend class TEVOPool;

    // Set in the detail byte when the operands follow the record.
    static constexpr uint8_t operandsBit = 2;

    explicit TEVOMSP430Insn(uint32_t code) : m_code(code) {}

    bool hasOperands() const { return detail() & operandsBit; }
    TEVOExpr **operands() { return reinterpret_cast<TEVOExpr **>(this + 1); }
    TEVOExpr *const *operands() const { return reinterpret_cast<TEVOExpr *const *>(this + 1); }

    uint32_t m_code;
};

static_assert(sizeof(void *) != 8 || sizeof(TEVOMSP430Insn) == 64);
static_assert(sizeof(TEVOMSP430Insn) % alignof(TEVOExpr *) == 0);

} // namespace zim::tevo
