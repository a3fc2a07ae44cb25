// Random but well-formed MSP430 test programs for comparing two simulators: format I, format II
// and jump instructions whose operands stay inside RAM and the program, with a reset vector,
// a stack and every register set by a prologue.
#pragma once

#include <QString>
#include <cstdint>
#include <random>
#include <vector>

struct GeneratedProgram
{
    static constexpr uint32_t kCodeStart = 0xF000;
    static constexpr uint32_t kRamStart = 0x0200;
    static constexpr uint32_t kRamSize = 0x0800;

    std::vector<uint16_t> code; // at kCodeStart
    std::vector<uint8_t> ram;   // kRamSize bytes at kRamStart
    int steps = 0;              // instructions to execute (the program ends in JMP $)

    // Intel hex of RAM, code and the reset vector.
    QString intelHex() const;
};

class ProgramGenerator
{
public:
    explicit ProgramGenerator(uint32_t seed) : m_random(seed) {}
    GeneratedProgram next(int instructions);

private:
    struct Ext;
    struct Item;
    struct Operand;

    unsigned pick(unsigned count) { return std::uniform_int_distribution<unsigned>(0, count - 1)(m_random); }
    uint16_t word() { return uint16_t(pick(0x10000)); }
    bool chance(unsigned percent) { return pick(100) < percent; }

    Operand source(bool byte);
    Operand destination(bool byte, bool registerAllowed);
    Operand memoryOperand(bool byte);
    void addRandomInstruction(std::vector<Item> &items);
    void addGroup(std::vector<Item> &items);

    std::mt19937 m_random;
};
