// Instruction semantics and cycle counts on hand-assembled words.
#include "simulatortestutil.h"

#include <utility>

namespace {

using RegisterValues = std::vector<std::pair<int, uint32_t>>;

struct InstructionCase
{
    const char *name;
    std::vector<uint16_t> words;
    int steps;
    RegisterValues before;
    RegisterValues after;
    uint32_t cycles;
};

void PrintTo(const InstructionCase &c, std::ostream *os)
{
    *os << c.name;
}

constexpr int PC = 0, SP = 1, SR = 2;

const InstructionCase kCases[] = {
    // Format I
    {"ADD.B #1,R5 carries out of the byte", {0x5355}, 1, {{5, 0x01FF}}, {{5, 0x0000}, {SR, 0x0003}}, 1},
    {"DADD #1,R5 wraps 9999 with carry", {0xA315}, 1, {{5, 0x9999}}, {{5, 0x0000}, {SR, 0x0001}}, 1},
    {"DADD.B R6,R5 carries above 99", {0xA645}, 1, {{5, 0x0099}, {6, 0x0001}}, {{5, 0x0000}, {SR, 0x0001}}, 1},
    {"SUB R6,R5 overflows", {0x8605}, 1, {{5, 0x8000}, {6, 0x0001}}, {{5, 0x7FFF}, {SR, 0x0101}}, 1},
    {"CMP #5,R5 equal", {0x9035, 0x0005}, 1, {{5, 5}}, {{5, 5}, {SR, 0x0003}, {PC, 0xF004}}, 2},
    {"ADDC adds the carry", {0x6605}, 1, {{5, 0x0001}, {6, 0x0001}, {SR, 1}}, {{5, 0x0003}, {SR, 0}}, 1},
    {"AND to zero clears C", {0xF605}, 1, {{5, 0x00F0}, {6, 0x000F}}, {{5, 0}, {SR, 0x0002}}, 1},
    {"BIT #8,R5 sets C", {0xB235}, 1, {{5, 0x0008}}, {{5, 0x0008}, {SR, 0x0001}}, 1},
    {"BIC.B clears only the low byte's bits", {0xC645}, 1, {{5, 0x12FF}, {6, 0x000F}}, {{5, 0x00F0}}, 1},
    {"XOR of two negatives sets V and C", {0xE605}, 1, {{5, 0x8000}, {6, 0x8001}}, {{5, 0x0001}, {SR, 0x0101}}, 1},
    {"MOV R5,PC takes 2 cycles", {0x4500}, 1, {{5, 0xF100}}, {{PC, 0xF100}}, 2},
    {"an odd value written to PC is made even", {0x4500}, 1, {{5, 0xF101}}, {{PC, 0xF100}}, 2},
    {"MOV.B @R4+ steps a byte", {0x4475}, 1, {{4, 0x0200}}, {{4, 0x0201}, {5, 0x00CD}}, 2},
    {"MOV @R4+ steps a word", {0x4435}, 1, {{4, 0x0200}}, {{4, 0x0202}, {5, 0xCDCD}}, 2},
    {"MOV R5,2(R4) indexed destination", {0x4584, 0x0002, 0x4415, 0x0002}, 2, {{4, 0x0200}, {5, 0xBEEF}},
     {{5, 0xBEEF}}, 4 + 3},
    {"MOV x(PC) symbolic source is relative to the extension word", {0x4015, 0x0004, 0x3FFF, 0xABCD}, 1, {},
     {{5, 0xABCD}}, 3},
    {"MOV @PC reads the next word without skipping it", {0x4025, 0x1234}, 1, {}, {{5, 0x1234}, {PC, 0xF002}}, 2},
    // Format II
    {"RRC rotates C in and sets V", {0x1005}, 1, {{5, 0x0002}, {SR, 1}}, {{5, 0x8001}, {SR, 0x0104}}, 1},
    {"RRA.B keeps bit 7", {0x1145}, 1, {{5, 0x0081}}, {{5, 0x00C0}, {SR, 0x0005}}, 1},
    {"RRA @R4 works in memory", {0x1124, 0x4425}, 2, {{4, 0x0200}}, {{5, 0xE6E6}, {4, 0x0200}}, 3 + 2},
    {"SXT sign-extends", {0x1185}, 1, {{5, 0x0080}}, {{5, 0xFF80}, {SR, 0x0005}}, 1},
    {"PUSH then POP", {0x1205, 0x4136}, 2, {{5, 0xBEEF}}, {{6, 0xBEEF}, {SP, 0x0A00}}, 3 + 2},
    {"CALL #sub pushes the return address", {0x12B0, 0xF010}, 1, {}, {{PC, 0xF010}, {SP, 0x09FE}}, 5},
    {"CALL then RET", {0x12B0, 0xF006, 0x3FFF, 0x4130}, 2, {}, {{PC, 0xF004}, {SP, 0x0A00}}, 5 + 3},
    {"PUSH SR, PUSH PC-label, RETI", {0x1230, 0xF00A, 0x1202, 0x1300, 0x3FFF, 0x3FFF}, 3, {{SR, 0x0105}},
     {{PC, 0xF00A}, {SR, 0x0105}, {SP, 0x0A00}}, 4 + 3 + 5},
    // Jumps
    {"JNE not taken with Z", {0x2001}, 1, {{SR, 2}}, {{PC, 0xF002}}, 2},
    {"JL taken when N differs from V", {0x3801}, 1, {{SR, 0x0004}}, {{PC, 0xF004}}, 2},
    {"JC backwards", {0x2FFE}, 1, {{SR, 1}}, {{PC, 0xEFFE}}, 2},
    // MSP430X
    {"PUSHM.W then POPM.W restores in order", {0x1516, 0x1717}, 2, {{5, 0x1111}, {6, 0x2222}},
     {{7, 0x1111}, {8, 0x2222}, {SP, 0x0A00}}, 0},
    {"PUSHM.A then POPM.A keeps 20 bits", {0x1416, 0x1617}, 2, {{5, 0x1111}, {6, 0x2222}},
     {{7, 0x1111}, {8, 0x2222}, {SP, 0x0A00}}, 0},
    {"CALLA #imm20", {0x13B1, 0x2344}, 1, {}, {{PC, 0x12344}, {SP, 0x09FC}}, 4},
    {"MOVA #imm20", {0x0185, 0x2345}, 1, {}, {{5, 0x12345}}, 2},
    {"ADDA of -1 and 1 is zero", {0x06E5}, 1, {{5, 0xFFFFF}, {6, 1}}, {{5, 0}, {SR, 0x0002}}, 1},
    {"SUBA #imm20", {0x00B5, 0x0001}, 1, {{5, 0x10000}}, {{5, 0x0FFFF}, {SR, 0}}, 2},
    {"RLAM.W #1 shifts the top bit into C", {0x0255}, 1, {{5, 0x8001}}, {{5, 0x0002}, {SR, 0x0001}}, 0},
    {"RRAM.W #2 keeps the sign", {0x0555}, 1, {{5, 0x8000}}, {{5, 0xE000}, {SR, 0x0004}}, 0},
    {"RRUM.W #2 shifts in zeros", {0x0755}, 1, {{5, 0x8000}}, {{5, 0x2000}, {SR, 0}}, 0},
    {"RRCM.A #1 rotates C into bit 19", {0x0045}, 1, {{5, 0x00001}, {SR, 1}}, {{5, 0x80000}, {SR, 0x0005}}, 0},
    {"a lone extension word does nothing", {0x1800}, 1, {}, {{PC, 0xF002}}, 0},
};

class InstructionTest : public testing::TestWithParam<InstructionCase>, protected SimulatorFixture
{
};

TEST_P(InstructionTest, RegistersAndCycles)
{
    const InstructionCase &c = GetParam();
    poke(kCode, c.words);
    regs().write(PC, kCode);
    regs().write(SP, 0x0A00);
    for (const auto &[reg, value] : c.before)
        regs().raw()[reg] = value; // unmasked, so that 20-bit values can be set up

    for (int i = 0; i < c.steps; ++i)
        sim.step();

    for (const auto &[reg, value] : c.after)
        EXPECT_EQ(regs().read(reg), value) << regs().name(reg).toStdString();
    EXPECT_EQ(sim.cycles(), c.cycles);
    EXPECT_EQ(sim.errorKind(), zim::simulator::SimulatorError::None);
}

INSTANTIATE_TEST_SUITE_P(Cases, InstructionTest, testing::ValuesIn(kCases));

// PUSH and CALL in every operand mode: cycles by the documented table, and with the CPU4 erratum's
// timing, which makes PUSH @Rn+ and PUSH #N take 5. R5 points at RAM.
struct TimingCase
{
    const char *name;
    std::vector<uint16_t> words;
    uint32_t cycles;
    uint32_t cpu4Cycles;
};

const TimingCase kTimingCases[] = {
    {"PushRegister", {0x1205}, 3, 3},
    {"PushConstantZero", {0x1203}, 3, 3},
    {"PushConstantEight", {0x1232}, 3, 3},
    {"PushIndirect", {0x1225}, 4, 4},
    {"PushAutoincrement", {0x1235}, 4, 5},
    {"PushByteAutoincrement", {0x1275}, 4, 5},
    {"PushImmediate", {0x1230, 0x1234}, 4, 5},
    {"PushIndexed", {0x1215, 0x0002}, 5, 5},
    {"PushSymbolic", {0x1210, 0x0100}, 5, 5},
    {"PushAbsolute", {0x1212, 0x0200}, 5, 5},
    {"CallRegister", {0x1285}, 4, 4},
    {"CallConstant", {0x12A2}, 4, 4},
    {"CallIndirect", {0x12A5}, 4, 4},
    {"CallAutoincrement", {0x12B5}, 5, 5},
    {"CallImmediate", {0x12B0, 0xF100}, 5, 5},
    {"CallIndexed", {0x1295, 0x0002}, 5, 5},
    {"CallSymbolic", {0x1290, 0x0100}, 5, 5},
    {"CallAbsolute", {0x1292, 0x0200}, 5, 5},
};

void PrintTo(const TimingCase &c, std::ostream *os)
{
    *os << c.name;
}

class PushCallTiming : public testing::TestWithParam<TimingCase>, protected SimulatorFixture
{
protected:
    uint32_t cyclesOfOneStep(bool cpu4)
    {
        sim.setCpu4PushTiming(cpu4);
        load(GetParam().words);
        regs().write(5, 0x0200);
        sim.step();
        return sim.cycles();
    }
};

TEST_P(PushCallTiming, FollowsTheTableAndTheCpu4Setting)
{
    EXPECT_EQ(cyclesOfOneStep(false), GetParam().cycles);
    EXPECT_EQ(cyclesOfOneStep(true), GetParam().cpu4Cycles);
}

INSTANTIATE_TEST_SUITE_P(Modes, PushCallTiming, testing::ValuesIn(kTimingCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
