// MSP430Cpu: decodes and executes MSP430 and MSP430X instructions on a register file and a
// memory image, counting cycles. Problems are recorded through the observer, never thrown;
// only a peripheral bus may throw out of run().
#pragma once

#include "msp430/msp430registers.h"
#include "simulator/msp430cycles.h"
#include "simulator/msp430memory.h"
#include "simulator/runslice.h"
#include "simulator/simulatorerror.h"

namespace zim::simulator {

class MSP430Cpu
{
public:
    // Status register bits.
    static constexpr uint32_t C = 0x001;
    static constexpr uint32_t Z = 0x002;
    static constexpr uint32_t N = 0x004;
    static constexpr uint32_t GIE = 0x008;
    static constexpr uint32_t CPUOFF = 0x010;
    static constexpr uint32_t OSCOFF = 0x020;
    static constexpr uint32_t SCG1 = 0x080;
    static constexpr uint32_t V = 0x100;

    // None of the three is owned; they must outlive the CPU.
    MSP430Cpu(msp430::MSP430Registers &registers, MSP430Memory &memory, SimulatorObserver &observer);

    // Why the last run() ended before its budget: a taken jump to itself with GIE clear, or the CPU
    // asleep (an instruction set CPUOFF, or it was already set).
    enum class Finish : uint8_t { None, SelfJump, Asleep };

    // Executes instructions from PC, counting each in the slice's profile, until the slice's
    // budget is used, its attention flag is raised, the program jumps to itself or the CPU goes to
    // sleep; returns the cycles used. A sleeping CPU runs nothing: the whole budget (at least one
    // cycle) passes.
    uint32_t run(const RunSlice &slice);
    // CPUOFF is set: no instruction runs until an interrupt wakes the CPU.
    bool isAsleep() const { return m_r[msp430::MSP430Registers::SR] & CPUOFF; }
    // What the last instruction of the last run() finished with.
    Finish finish() const { return m_finish; }
    // Cycles the running slice has used up to the end of the instruction being executed, so that
    // every memory access an instruction makes, in any form, sees the count its instruction ends
    // with; 0 between slices.
    uint32_t sliceCycles() const { return m_sliceCycles; }
    // Pushes PC and SR, clears GIE, wakes the CPU and continues at the vector of interrupt n (0..15).
    void enterInterrupt(unsigned n);
    // SR = 0 and PC from the reset vector at 0xFFFE.
    void loadResetVector();

    // While on, register reads and writes are offered to the observer.
    void setWatchingRegisters(bool on)
    {
        m_watchRegisters = on;
        m_slowRegisterWrites = m_watchRegisters || m_reportPcWrites;
    }
    // Cycles of PUSH @Rn+ and PUSH #N: the documented 4, or 5 as devices with the CPU4 erratum take.
    void setCpu4PushTiming(bool on)
    {
        m_pushAutoincrementCycles = on ? MSP430Cycles::kPushAutoincrementCpu4 : MSP430Cycles::kPush[MSP430Cycles::Indirect];
    }

    // While on, every write to PC is reported to the observer.
    void setReportingPcWrites(bool on)
    {
        m_reportPcWrites = on;
        m_slowRegisterWrites = m_watchRegisters || m_reportPcWrites;
    }

private:
    [[gnu::always_inline]] inline unsigned step();

    enum OperandKind : uint32_t { InRegister, InMemory, Constant };
    // The cycle class of a source operand, as source() decodes its mode: constants count as registers.
    static constexpr unsigned operandClass(unsigned as, unsigned reg)
    {
        return as == 0   ? MSP430Cycles::Register
               : as == 1 ? (reg == 3 ? MSP430Cycles::Register : MSP430Cycles::Indexed)
               : (reg == msp430::MSP430Registers::SR || reg == 3) ? MSP430Cycles::Register
                                                                   : MSP430Cycles::Indirect;
    }
    // Three 32-bit fields, so that it travels in two registers rather than through memory.
    struct Operand
    {
        uint32_t value;
        uint32_t address; // memory operands only
        OperandKind kind;
    };

    unsigned formatI(uint32_t op);

public:
    // Format I for one opcode (4..15) and mode bits 7..4; public only so that the dispatch table can name it.
    template<unsigned Opcode, unsigned Mode> unsigned formatIOperation(uint32_t op);
    template<unsigned Opcode, unsigned Mode> static unsigned callFormatI(MSP430Cpu &cpu, uint32_t op)
    {
        return cpu.formatIOperation<Opcode, Mode>(op);
    }

private:
    unsigned formatII(uint32_t op);
    unsigned jump(uint32_t op);

public:
    // One jump condition (bits 12..10); public only so that the dispatch table can name it.
    template<unsigned Condition> unsigned jumpOn(uint32_t op);
    template<unsigned Condition> static unsigned callJump(MSP430Cpu &cpu, uint32_t op) { return cpu.jumpOn<Condition>(op); }

private:
    unsigned calla(uint32_t op);
    unsigned pushPopMultiple(uint32_t op);
    unsigned addressInstruction(uint32_t op);
    unsigned multipleShift(uint32_t op);
    unsigned unsupported(uint32_t op);

    Operand source(unsigned reg, unsigned as, bool byte);
    // Counts an instruction's cycles into the slice before the instruction touches memory.
    unsigned counted(unsigned cycles)
    {
        m_sliceCycles += cycles;
        return cycles;
    }
    void writeBack(const Operand &operand, unsigned reg, bool byte, uint32_t value);
    void setArithmetic20(unsigned reg, uint32_t operand, bool subtract, bool store);

    [[gnu::always_inline]] uint32_t fetch()
    {
        const uint32_t pc = m_r[msp430::MSP430Registers::PC];
        const uint32_t word = m_memory.fetch(pc);
        m_r[msp430::MSP430Registers::PC] = (pc + 2) & m_pcMask;
        return word;
    }
    uint32_t reg(unsigned n)
    {
        const uint32_t value = m_r[n];
        if (m_watchRegisters) [[unlikely]]
            m_observer.registerAccessed(n, value, false);
        return value;
    }
    // An instruction's register write; stores value as it stands (already masked by the caller).
    void setReg(unsigned n, uint32_t value)
    {
        if (n == msp430::MSP430Registers::SR) [[unlikely]]
            statusWritten(value);
        storeReg(n, value);
    }
    // A register write that is not the program's own choice of SR: flags, interrupt entry, reset.
    void storeReg(unsigned n, uint32_t value)
    {
        m_r[n] = value;
        *m_changed |= 1u << n;
        if (m_slowRegisterWrites) [[unlikely]]
            reportRegisterWrite(n, value);
    }
    // Notes an instruction sending the CPU to sleep, so that the slice ends after it: the CPU is
    // awake while it executes, so any SR it writes with CPUOFF set puts it to sleep.
    void statusWritten(uint32_t value)
    {
        if (value & CPUOFF)
            m_finish = Finish::Asleep;
    }
    void reportRegisterWrite(unsigned n, uint32_t value);
    // Register write of a format I or II instruction: byte or word mask, odd PC made even.
    void writeRegister(unsigned n, uint32_t value, bool byte)
    {
        if (n == msp430::MSP430Registers::PC && (value & 1))
            value = (value & 0xFFFE) | 0x10000;
        setReg(n, value & (byte ? 0xFF : 0xFFFF));
    }
    void setFlags(uint32_t flags, uint32_t affected)
    {
        storeReg(msp430::MSP430Registers::SR, (m_r[msp430::MSP430Registers::SR] & ~affected) | flags);
    }

    msp430::MSP430Registers &m_registers;
    MSP430Memory &m_memory;
    SimulatorObserver &m_observer;
    uint32_t *m_r;
    uint32_t *m_changed;
    uint32_t m_pcMask;
    bool m_watchRegisters = false;
    bool m_reportPcWrites = false;
    bool m_slowRegisterWrites = false; // either of the two above
    Finish m_finish = Finish::None;
    uint8_t m_pushAutoincrementCycles = MSP430Cycles::kPush[MSP430Cycles::Indirect];
    uint32_t m_sliceCycles = 0;
};

} // namespace zim::simulator
