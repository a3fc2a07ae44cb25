// The MSP430 instruction set: format I (two operands), format II (one operand) and jumps,
// decoded as in the MSP430x1xx Family User's Guide, chapter 3.
#include "simulator/msp430cpu.h"

#include "simulator/msp430cycles.h"

#include <array>
#include <utility>

namespace zim::simulator {

namespace {

constexpr unsigned PC = msp430::MSP430Registers::PC;
constexpr unsigned SP = msp430::MSP430Registers::SP;
constexpr unsigned SR = msp430::MSP430Registers::SR;

constexpr uint32_t kArithmeticFlags = MSP430Cpu::C | MSP430Cpu::Z | MSP430Cpu::N | MSP430Cpu::V;

// Four BCD digits to binary; digits above 9 count with their face value.
uint32_t bcdToBinary(uint32_t value)
{
    return (value & 0xF) + ((value >> 4) & 0xF) * 10 + ((value >> 8) & 0xF) * 100 + ((value >> 12) & 0xF) * 1000;
}

uint32_t binaryToBcd(uint32_t value)
{
    uint32_t result = 0;
    for (int digit = 0; digit < 4; ++digit) {
        result |= (value % 10) << (4 * digit);
        value /= 10;
    }
    return result;
}

} // namespace

MSP430Cpu::MSP430Cpu(msp430::MSP430Registers &registers, MSP430Memory &memory, SimulatorObserver &observer)
    : m_registers(registers),
      m_memory(memory),
      m_observer(observer),
      m_r(registers.raw()),
      m_changed(registers.rawChangedMask()),
      m_pcMask(registers.isCpuX() ? 0xFFFFF : 0xFFFF)
{
}

void MSP430Cpu::enterInterrupt(unsigned n)
{
    const uint32_t sp = (m_r[SP] - 4) & m_pcMask;
    setReg(SP, sp);
    m_memory.writeWord(sp + 2, m_r[PC]);
    m_memory.writeWord(sp, m_r[SR]);
    // Entry clears GIE and wakes the CPU: the routine runs with CPUOFF, OSCOFF and SCG1 clear, as
    // on silicon, while the stacked SR keeps them, so that its RETI sends the CPU back to sleep
    // unless the routine cleared them on the stack. The other bits stay as they were.
    storeReg(SR, m_r[SR] & ~(GIE | CPUOFF | OSCOFF | SCG1));
    setReg(PC, m_memory.readWord(0xFFE0 + 2 * n));
}

void MSP430Cpu::loadResetVector()
{
    // A reset is not a jump: PC is loaded without telling jump counting.
    storeReg(SR, 0);
    m_r[PC] = m_memory.readWord(0xFFFE);
    m_registers.markChanged(PC);
}

unsigned MSP430Cpu::unsupported(uint32_t op)
{
    m_observer.recordError(SimulatorError::UnsupportedOpcode, op);
    return 0;
}

// Inlined into every instruction group: it is on the path of almost every instruction.
[[gnu::always_inline]] inline MSP430Cpu::Operand MSP430Cpu::source(unsigned rs, unsigned as, bool byte)
{
    const uint32_t mask = byte ? 0xFF : 0xFFFF;
    switch (as) {
    case 0:
        if (rs == 3)
            return {0, 0, Constant};
        return {reg(rs) & mask, 0, InRegister};
    case 1: {
        if (rs == 3)
            return {1, 0, Constant};
        const uint32_t at = m_r[PC];
        const uint32_t x = fetch();
        uint32_t address;
        if (rs == PC)
            address = at + x; // symbolic: relative to the extension word itself
        else if (rs == SR)
            address = x; // absolute
        else
            address = reg(rs) + x;
        address &= 0xFFFF;
        return {m_memory.read(address, byte), address, InMemory};
    }
    case 2: {
        if (rs == SR)
            return {4, 0, Constant};
        if (rs == 3)
            return {2, 0, Constant};
        const uint32_t address = reg(rs) & 0xFFFF;
        return {m_memory.read(address, byte), address, InMemory};
    }
    default: {
        if (rs == SR)
            return {8 & mask, 0, Constant};
        if (rs == 3)
            return {0xFFFF & mask, 0, Constant};
        if (rs == PC) {
            const uint32_t at = m_r[PC];
            return {fetch() & mask, at, InMemory};
        }
        const uint32_t base = reg(rs);
        const uint32_t address = base & 0xFFFF;
        const uint32_t value = m_memory.read(address, byte);
        setReg(rs, (base + (byte ? 1 : 2)) & m_pcMask);
        return {value, address, InMemory};
    }
    }
}

void MSP430Cpu::writeBack(const Operand &operand, unsigned reg, bool byte, uint32_t value)
{
    if (operand.kind == InRegister)
        writeRegister(reg, value, byte);
    else if (operand.kind == InMemory)
        m_memory.write(operand.address, byte, value);
}

// One instantiation per opcode and addressing-mode bits (Ad, B/W, As: bits 7..4), so that the
// operation, its flag rule and the operand modes are fixed at compile time; formatI dispatches
// through a table of them.
template<unsigned Opcode, unsigned Mode>
unsigned MSP430Cpu::formatIOperation(uint32_t op)
{
    constexpr bool byte = Mode & 0x4;
    constexpr bool indexedDst = Mode & 0x8;
    constexpr unsigned as = Mode & 0x3;
    const unsigned rs = (op >> 8) & 0xF;
    const unsigned rd = op & 0xF;
    const uint32_t mask = byte ? 0xFF : 0xFFFF;
    const uint32_t msb = byte ? 0x80 : 0x8000;

    const unsigned cycles =
        counted(MSP430Cycles::kFormatI[operandClass(as, rs)][indexedDst ? 2 : (rd == PC ? 1 : 0)]);

    const Operand src = source(rs, as, byte);
    const uint32_t s = src.value;

    // The destination is always read, MOV included.
    Operand dst;
    if (!indexedDst) {
        dst = {rd == 3 ? 0 : reg(rd) & mask, 0, InRegister};
    } else if (rd == 3) {
        dst = {1, 0, Constant};
    } else {
        const uint32_t at = m_r[PC];
        const uint32_t x = fetch();
        uint32_t address;
        if (rd == PC)
            address = at + x;
        else if (rd == SR)
            address = x;
        else
            address = reg(rd) + x;
        address &= 0xFFFF;
        dst = {m_memory.read(address, byte), address, InMemory};
    }
    const uint32_t d = dst.value;
    const uint32_t carry = m_r[SR] & C;


    uint32_t result = 0;
    uint32_t flags = 0;
    uint32_t affected = 0;
    bool store = true;
    auto arithmetic = [&](uint32_t sum, uint32_t addend, bool subtract) {
        result = sum & mask;
        flags = (result & msb ? N : 0) | (result == 0 ? Z : 0) | (sum & (mask + 1) ? C : 0);
        const bool overflow = subtract ? ((d ^ s) & msb) && ((result ^ d) & msb)
                                       : !((d ^ addend) & msb) && ((result ^ d) & msb);
        if (overflow)
            flags |= V;
        affected = kArithmeticFlags;
    };
    auto logical = [&](uint32_t value, bool overflow) {
        result = value & mask;
        flags = (result & msb ? N : 0) | (result == 0 ? Z : C) | (overflow ? V : 0);
        affected = kArithmeticFlags;
    };

    switch (Opcode) {
    case 0x4: // MOV
        result = s;
        break;
    case 0x5: // ADD
        arithmetic(d + s, s, false);
        break;
    case 0x6: // ADDC
        arithmetic(d + s + carry, s, false);
        break;
    case 0x7: // SUBC
        arithmetic(d + (~s & mask) + carry, ~s & mask, true);
        break;
    case 0x8: // SUB
        arithmetic(d + (~s & mask) + 1, ~s & mask, true);
        break;
    case 0x9: // CMP
        arithmetic(d + (~s & mask) + 1, ~s & mask, true);
        store = false;
        break;
    case 0xA: { // DADD
        const uint32_t sum = bcdToBinary(d) + bcdToBinary(s) + carry;
        result = binaryToBcd(sum) & mask;
        if (sum == 0)
            flags = Z;
        else
            flags = (result & msb ? N : 0) | (sum > (byte ? 99u : 9999u) ? C : 0);
        affected = C | Z | N;
        break;
    }
    case 0xB: // BIT
        logical(d & s, false);
        store = false;
        break;
    case 0xC: // BIC
        result = d & ~s & 0xFFFF;
        break;
    case 0xD: // BIS
        result = d | s;
        break;
    case 0xE: // XOR
        logical(d ^ s, (d & msb) && (s & msb));
        break;
    default: // AND
        logical(d & s, false);
        break;
    }

    if (store) {
        if (dst.kind == InRegister)
            writeRegister(rd, result, byte);
        else if (dst.kind == InMemory)
            m_memory.write(dst.address, byte, result);
    }
    if (affected)
        setFlags(flags, affected);
    return cycles;
}

namespace {

template<std::size_t... I>
constexpr auto makeFormatITable(std::index_sequence<I...>)
{
    // Index: bits 15..4 of the opcode without the source register, that is opcode * 16 + mode bits;
    // opcodes below 4 never get here. Plain function pointers call more cheaply than member ones.
    using Handler = unsigned (*)(MSP430Cpu &, uint32_t);
    return std::array<Handler, sizeof...(I)>{
        (I / 16 >= 4 ? &MSP430Cpu::callFormatI<(I / 16 >= 4 ? I / 16 : 4), I % 16> : nullptr)...};
}

} // namespace

[[gnu::always_inline]] inline unsigned MSP430Cpu::formatI(uint32_t op)
{
    static constexpr auto kTable = makeFormatITable(std::make_index_sequence<256>());
    return kTable[(op >> 12) * 16 + ((op >> 4) & 0xF)](*this, op);
}

unsigned MSP430Cpu::formatII(uint32_t op)
{
    const unsigned group = op >> 6;
    if (group == 0x4D || group == 0x4E)
        return calla(op);

    const unsigned r = op & 0xF;
    const unsigned as = (op >> 4) & 3;
    const bool byte = op & 0x40;
    const uint32_t mask = byte ? 0xFF : 0xFFFF;
    const uint32_t msb = byte ? 0x80 : 0x8000;
    const unsigned sourceClass = operandClass(as, r);

    switch (group) {
    case 0x40:
    case 0x41:   // RRC
    case 0x44:
    case 0x45: { // RRA
        const unsigned cycles = counted(MSP430Cycles::kShiftSwap[sourceClass]);
        const Operand operand = source(r, as, byte);
        const uint32_t value = operand.value;
        const bool rotate = group <= 0x41;
        const uint32_t top = rotate ? ((m_r[SR] & C) ? msb : 0) : (value & msb);
        const uint32_t result = ((value >> 1) | top) & mask;
        writeBack(operand, r, byte, result);
        uint32_t flags = (result & msb ? N : 0) | (result == 0 ? Z : 0) | (value & 1 ? C : 0);
        if (rotate && !(value & msb) && (m_r[SR] & C))
            flags |= V;
        setFlags(flags, C | Z | N | V);
        return cycles;
    }
    case 0x42: { // SWPB
        const unsigned cycles = counted(MSP430Cycles::kShiftSwap[sourceClass]);
        const Operand operand = source(r, as, false);
        writeBack(operand, r, false, ((operand.value << 8) | (operand.value >> 8)) & 0xFFFF);
        return cycles;
    }
    case 0x46: { // SXT
        const unsigned cycles = counted(MSP430Cycles::kShiftSwap[sourceClass]);
        const Operand operand = source(r, as, false);
        const uint32_t result = (operand.value & 0x80) ? (operand.value | 0xFF00) & 0xFFFF : operand.value & 0xFF;
        writeBack(operand, r, false, result);
        setFlags((result & 0x8000 ? N : 0) | (result == 0 ? Z : C), C | Z | N | V);
        return cycles;
    }
    case 0x48:
    case 0x49: { // PUSH
        // @Rn+ and #N (@PC+) are the indirect class's autoincrement forms.
        const bool autoincrement = as == 3 && sourceClass == MSP430Cycles::Indirect;
        const unsigned cycles =
            counted(autoincrement ? m_pushAutoincrementCycles : MSP430Cycles::kPush[sourceClass]);
        const uint32_t sp = (m_r[SP] - 2) & m_pcMask;
        setReg(SP, sp);
        const Operand operand = source(r, as, byte);
        m_memory.write(sp, byte, operand.value);
        return cycles;
    }
    case 0x4A: { // CALL
        const bool fast = sourceClass == MSP430Cycles::Register || as == 2;
        const unsigned cycles = counted(fast ? MSP430Cycles::kCallShort : MSP430Cycles::kCallLong);
        const uint32_t sp = (m_r[SP] - 2) & m_pcMask;
        setReg(SP, sp);
        const Operand operand = source(r, as, false);
        m_memory.writeWord(sp, m_r[PC]);
        writeRegister(PC, operand.value, false);
        return cycles;
    }
    case 0x4C: { // RETI
        const unsigned cycles = counted(MSP430Cycles::kReti);
        const uint32_t sp = m_r[SP];
        const uint32_t sr = m_memory.readWord(sp);
        const uint32_t pc = m_memory.readWord(sp + 2);
        setReg(SP, (sp + 4) & m_pcMask);
        writeRegister(SR, sr, false);
        writeRegister(PC, pc, false);
        return cycles;
    }
    default:
        return unsupported(op);
    }
}

void MSP430Cpu::reportRegisterWrite(unsigned n, uint32_t value)
{
    if (m_watchRegisters)
        m_observer.registerAccessed(n, value, true);
    if (n == PC && m_reportPcWrites)
        m_observer.pcWritten(value);
}

template<unsigned Condition>
unsigned MSP430Cpu::jumpOn(uint32_t op)
{
    const uint32_t sr = m_r[SR];
    bool taken;
    switch (Condition) {
    case 0: taken = !(sr & Z); break;                    // JNE
    case 1: taken = sr & Z; break;                       // JEQ
    case 2: taken = !(sr & C); break;                    // JNC
    case 3: taken = sr & C; break;                       // JC
    case 4: taken = sr & N; break;                       // JN
    case 5: taken = !(sr & N) == !(sr & V); break;       // JGE
    case 6: taken = !(sr & N) != !(sr & V); break;       // JL
    default: taken = true; break;                        // JMP
    }
    if (taken) {
        const uint32_t offset = op & 0x3FF;
        if (offset == 0x3FF && !(sr & GIE))
            m_finish = Finish::SelfJump;
        const int32_t words = offset & 0x200 ? int32_t(offset) - 0x400 : int32_t(offset);
        setReg(PC, (m_r[PC] + uint32_t(2 * words)) & m_pcMask);
    }
    return MSP430Cycles::kJump;
}

[[gnu::always_inline]] inline unsigned MSP430Cpu::jump(uint32_t op)
{
    using Handler = unsigned (*)(MSP430Cpu &, uint32_t);
    static constexpr Handler kTable[8] = {&MSP430Cpu::callJump<0>, &MSP430Cpu::callJump<1>, &MSP430Cpu::callJump<2>,
                                          &MSP430Cpu::callJump<3>, &MSP430Cpu::callJump<4>, &MSP430Cpu::callJump<5>,
                                          &MSP430Cpu::callJump<6>, &MSP430Cpu::callJump<7>};
    return kTable[(op >> 10) & 7](*this, op);
}

inline unsigned MSP430Cpu::step()
{
    const uint32_t op = fetch();
    if (op >= 0x4000)
        return formatI(op);
    if (op >= 0x2000)
        return jump(op);
    if (op >= 0x1800)
        return 0; // a lone extension word does nothing
    if (op >= 0x1400)
        return pushPopMultiple(op);
    if (op >= 0x1000)
        return formatII(op);
    return addressInstruction(op);
}

uint32_t MSP430Cpu::run(const RunSlice &slice)
{
    if (isAsleep()) [[unlikely]] {
        m_finish = Finish::Asleep;
        return slice.cycleBudget > 0 ? slice.cycleBudget : 1;
    }
    m_finish = Finish::None;
    uint32_t used = 0;
    do {
        const uint32_t pc = m_r[PC];
        if (pc - slice.profileBase < slice.profileLength)
            ++slice.profile[pc - slice.profileBase];
        m_sliceCycles = used;
        used += step();
        if ((m_finish != Finish::None) | *slice.attention) [[unlikely]]
            break;
    } while (used < slice.cycleBudget);
    m_sliceCycles = 0;
    return used;
}

} // namespace zim::simulator
