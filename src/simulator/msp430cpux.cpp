// The MSP430X additions: address instructions (MOVA, CMPA, ADDA, SUBA), multiple shifts,
// CALLA and PUSHM/POPM (MSP430x4xx/5xx Family User's Guides, chapter "CPUX").
#include "simulator/msp430cpu.h"

#include "simulator/msp430cycles.h"

namespace zim::simulator {

namespace {

constexpr unsigned PC = msp430::MSP430Registers::PC;
constexpr unsigned SP = msp430::MSP430Registers::SP;
constexpr uint32_t kMask20 = 0xFFFFF;

int32_t signExtend20(uint32_t value)
{
    return int32_t(value << 12) >> 12;
}

int32_t signExtend16(uint32_t value)
{
    return int16_t(uint16_t(value));
}

} // namespace

void MSP430Cpu::setArithmetic20(unsigned d, uint32_t operand, bool subtract, bool store)
{
    const int32_t a = signExtend20(reg(d));
    const int32_t b = signExtend20(operand);
    const int32_t result = int32_t(subtract ? uint32_t(a) - uint32_t(b) : uint32_t(a) + uint32_t(b));
    const bool overflow = subtract ? ((a ^ b) < 0 && (result ^ a) < 0) : ((a ^ b) >= 0 && (result ^ a) < 0);
    uint32_t flags = (result < 0 ? N : 0) | (result == 0 ? Z : 0) | ((uint32_t(result) >> 20) & 1 ? C : 0);
    if (overflow)
        flags |= V;
    if (store)
        setReg(d, uint32_t(result) & kMask20);
    setFlags(flags, C | Z | N | V);
}

unsigned MSP430Cpu::addressInstruction(uint32_t op)
{
    const unsigned s = (op >> 8) & 0xF;
    const unsigned d = op & 0xF;
    const unsigned kind = (op >> 4) & 0xF;
    counted(MSP430Cycles::kAddress[kind]);
    switch (kind) {
    case 0: // MOVA @Rs, Rd
        setReg(d, m_memory.read20(reg(s)));
        break;
    case 1: { // MOVA @Rs+, Rd
        const uint32_t base = reg(s);
        const uint32_t value = m_memory.read20(base);
        setReg(d, value);
        setReg(s, (base + 4) & kMask20);
        break;
    }
    case 2: { // MOVA &abs20, Rd
        const uint32_t x = fetch();
        setReg(d, m_memory.read20((s << 16) | x));
        break;
    }
    case 3: { // MOVA x(Rs), Rd
        const uint32_t x = fetch();
        setReg(d, m_memory.read20((reg(s) + signExtend16(x)) & kMask20));
        break;
    }
    case 4:
    case 5:
        return multipleShift(op);
    case 6: { // MOVA Rs, &abs20
        const uint32_t x = fetch();
        m_memory.write20((d << 16) | x, reg(s));
        break;
    }
    case 7: { // MOVA Rs, x(Rd)
        const uint32_t x = fetch();
        m_memory.write20((reg(d) + signExtend16(x)) & kMask20, reg(s));
        break;
    }
    case 8: // MOVA #imm20, Rd
        setReg(d, (s << 16) | fetch());
        break;
    case 9: // CMPA #imm20, Rd
        setArithmetic20(d, (s << 16) | fetch(), true, false);
        break;
    case 10: // ADDA #imm20, Rd
        setArithmetic20(d, (s << 16) | fetch(), false, true);
        break;
    case 11: // SUBA #imm20, Rd
        setArithmetic20(d, (s << 16) | fetch(), true, true);
        break;
    case 12: // MOVA Rs, Rd
        setReg(d, reg(s) & kMask20);
        break;
    case 13: // CMPA Rs, Rd
        setArithmetic20(d, reg(s), true, false);
        break;
    case 14: // ADDA Rs, Rd
        setArithmetic20(d, reg(s), false, true);
        break;
    default: // SUBA Rs, Rd
        setArithmetic20(d, reg(s), true, true);
        break;
    }
    return MSP430Cycles::kAddress[kind];
}

unsigned MSP430Cpu::multipleShift(uint32_t op)
{
    const bool word = (op >> 4) & 1;
    const unsigned count = ((op >> 10) & 3) + 1;
    const unsigned d = op & 0xF;
    const unsigned topBit = word ? 15 : 19;
    const uint32_t mask = word ? 0xFFFF : kMask20;
    const uint32_t top = 1u << topBit;

    // The .W forms work on the low word and clear bits 19..16, as the hardware does.
    uint32_t value = reg(d) & mask;
    uint32_t carry = m_r[msp430::MSP430Registers::SR] & C;
    for (unsigned i = 0; i < count; ++i) {
        switch ((op >> 8) & 3) {
        case 0: { // RRCM
            const uint32_t out = value & 1;
            value = (value >> 1) | (carry ? top : 0);
            carry = out;
            break;
        }
        case 1: // RRAM
            carry = value & 1;
            value = (value >> 1) | (value & top);
            break;
        case 2: // RLAM
            carry = (value >> topBit) & 1;
            value = (value << 1) & mask;
            break;
        default: // RRUM
            carry = value & 1;
            value >>= 1;
            break;
        }
    }
    setReg(d, value);
    setFlags((carry ? C : 0) | (value & top ? N : 0) | (value == 0 ? Z : 0), C | Z | N);
    return 0;
}

unsigned MSP430Cpu::calla(uint32_t op)
{
    const unsigned mode = ((op >> 4) & 0xF) - 4;
    const unsigned n = op & 0xF;
    counted(MSP430Cycles::kCalla[mode]);
    uint32_t target;
    switch (mode) {
    case 0: // CALLA Rn
        target = reg(n);
        break;
    case 1: { // CALLA x(Rn)
        const uint32_t x = fetch();
        target = m_memory.read20((reg(n) + signExtend16(x)) & kMask20);
        break;
    }
    case 2: // CALLA @Rn
        target = m_memory.read20(reg(n));
        break;
    case 3: { // CALLA @Rn+
        const uint32_t base = reg(n);
        target = m_memory.read20(base);
        setReg(n, (base + 4) & kMask20);
        break;
    }
    case 4: // CALLA &abs20
        target = m_memory.read20((n << 16) | fetch());
        break;
    case 5: { // CALLA EDE
        const uint32_t at = m_r[PC];
        const uint32_t x = fetch();
        target = m_memory.read20((at + signExtend16(x)) & kMask20);
        break;
    }
    case 7: // CALLA #imm20
        target = (n << 16) | fetch();
        break;
    default:
        return unsupported(op);
    }
    const uint32_t sp = (m_r[SP] - 4) & kMask20;
    setReg(SP, sp);
    m_memory.write20(sp, m_r[PC]);
    setReg(PC, target & kMask20);
    return MSP430Cycles::kCalla[mode];
}

unsigned MSP430Cpu::pushPopMultiple(uint32_t op)
{
    const unsigned count = ((op >> 4) & 0xF) + 1;
    const unsigned first = op & 0xF;
    switch (op >> 8) {
    case 0x14: // PUSHM.A: first is the highest register stored
    case 0x15: { // PUSHM.W
        const bool address = (op >> 8) == 0x14;
        for (unsigned i = 0; i < count; ++i) {
            const unsigned r = (first - i) & 0xF;
            const uint32_t sp = (m_r[SP] - (address ? 4 : 2)) & kMask20;
            setReg(SP, sp);
            if (address)
                m_memory.write20(sp, reg(r));
            else
                m_memory.writeWord(sp, reg(r) & 0xFFFF);
        }
        break;
    }
    default: { // POPM.A (0x16) and POPM.W (0x17): first is the lowest register, as assemblers encode it
        const bool address = (op >> 8) == 0x16;
        for (unsigned i = 0; i < count; ++i) {
            const unsigned r = (first + i) & 0xF;
            const uint32_t sp = m_r[SP];
            const uint32_t value = address ? m_memory.read20(sp) : m_memory.readWord(sp);
            setReg(SP, (sp + (address ? 4 : 2)) & kMask20);
            setReg(r, value);
        }
        break;
    }
    }
    return 0;
}

} // namespace zim::simulator
