// Cycle counts of the MSP430 instructions (MSP430x1xx Family User's Guide, section 3.4.4),
// by operand class, as the simulator's cycle counter adds them.
#pragma once

#include <cstdint>

namespace zim::simulator {

struct MSP430Cycles
{

    // Operand classes: register or constant generator; indexed, symbolic or absolute;
    // indirect, autoincrement or immediate.
    enum OperandClass : uint8_t { Register = 0, Indexed = 1, Indirect = 2 };

    // Format I by source class (row) and destination: register, PC, indexed.
    static constexpr uint8_t kFormatI[3][3] = {
        {1, 2, 4}, // Rn / constant
        {3, 3, 6}, // x(Rn), EDE, &EDE
        {2, 3, 5}, // @Rn, @Rn+, #N
    };

    // RRC, RRA, SWPB and SXT by operand class.
    static constexpr uint8_t kShiftSwap[3] = {1, 4, 3};
    // PUSH by operand class; PUSH @Rn+ and PUSH #N (an immediate is @PC+) are indirect too.
    static constexpr uint8_t kPush[3] = {3, 5, 4};
    // PUSH @Rn+ and PUSH #N on devices with the CPU4 erratum, chosen by a simulator property.
    static constexpr uint8_t kPushAutoincrementCpu4 = 5;
    // CALL: register, constant or @Rn take 4; x(Rn), EDE, &EDE, @Rn+ and #N take 5.
    static constexpr uint8_t kCallShort = 4;
    static constexpr uint8_t kCallLong = 5;
    static constexpr uint8_t kReti = 5;
    static constexpr uint8_t kJump = 2;

    // CALLA by addressing mode, bits 7..4 of the opcode minus 4: Rn, x(Rn), @Rn, @Rn+, &abs20,
    // EDE, (unsupported), #imm20.
    static constexpr uint8_t kCalla[8] = {4, 6, 5, 5, 6, 6, 0, 4};

    // MSP430X address instructions by bits 7..4 of the opcode.
    static constexpr uint8_t kAddress[16] = {
        3, // MOVA @Rs, Rd
        3, // MOVA @Rs+, Rd
        4, // MOVA &abs20, Rd
        4, // MOVA x(Rs), Rd
        0, // RRCM/RRAM/RLAM/RRUM.A
        0, // RRCM/RRAM/RLAM/RRUM.W
        4, // MOVA Rs, &abs20
        4, // MOVA Rs, x(Rd)
        2, // MOVA #imm20, Rd
        2, // CMPA #imm20, Rd
        2, // ADDA #imm20, Rd
        2, // SUBA #imm20, Rd
        1, // MOVA Rs, Rd
        1, // CMPA Rs, Rd
        1, // ADDA Rs, Rd
        1, // SUBA Rs, Rd
    };
};

} // namespace zim::simulator
