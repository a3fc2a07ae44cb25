// MSP430Registers: the sixteen CPU registers of an MSP430 monitor with a mask of the registers written.
#pragma once

#include "target/targetregisterinterface.h"

#include <QString>
#include <cstdint>

namespace zim::msp430 {

class MSP430Registers : public target::TargetRegisterInterface
{
public:
    enum : unsigned { PC = 0, SP = 1, SR = 2 };

    // cpux: registers are 20 bits wide (MSP430X); otherwise 16.
    explicit MSP430Registers(bool cpux);
    int count() const override { return 16; }
    // "PC", "SP", "SR", "R3" ... "R15"; empty for n >= 16.
    QString name(int n) const override;
    // Index of a register name (case-insensitive, "R0".."R2" accepted too), -1 when unknown.
    int index(const QString &name) const override;
    // Size in bytes: 2 for SR, 3 for the others with CPUX, else 2.
    int size(int n) const override;
    uint32_t read(int n) const override { return n >= 0 && n < 16 ? m_regs[n] : 0; }
    void write(int n, uint32_t value) override;
    int reserved() const override { return 0; }
    uint32_t pc() const override { return m_regs[PC]; }
    uint32_t sp() const override { return m_regs[SP]; }
    void setPC(uint32_t value) override { write(PC, value); }

    bool isCpuX() const { return m_cpux; }
    uint32_t changedMask() const { return m_changed; }
    void clearChanged() { m_changed = 0; }

    // Direct access for the simulator's decoder, which marks changes itself.
    uint32_t *raw() { return m_regs; }
    uint32_t value(unsigned n) const { return m_regs[n & 0xF]; }
    void markChanged(unsigned n) { m_changed |= 1u << n; }
    uint32_t *rawChangedMask() { return &m_changed; }

private:
    bool m_cpux;
    uint32_t m_regs[16] = {};
    uint32_t m_changed = 0;
};

} // namespace zim::msp430
