// When a peripheral access sees the cycle counter: every access an instruction makes, whatever its
// form, sees the count at the end of that instruction, as a free-running timer read shows.
#include "simulatortestutil.h"

namespace {

constexpr int PC = 0, SP = 1;

// A free-running timer at 0x0170 that reads as the cycle counter; every access is noted with the
// count it saw.
const char *const kTimer = R"(
var seen = [];
function reset() {}
function pollForInterrupts(c) {}
function loadPeripheral(a) { seen.push("load " + Simulator.cycles()); return a == 0x170 ? Simulator.cycles() : 0; }
function storePeripheral(a, v) { seen.push("store " + Simulator.cycles()); }
)";

class CycleStampTest : public testing::Test, protected SimulatorFixture
{
protected:
    void SetUp() override { usePeripheralFile(kTimer); }
    QString seen() { return evaluate(QStringLiteral("seen.join()")); }
};

TEST_F(CycleStampTest, MovPushMovReadsOfATimerAdvanceByEachInstruction)
{
    load({0x4215, 0x0170, 0x1212, 0x0170, 0x4216, 0x0170}); // MOV &TAR,R5; PUSH &TAR; MOV &TAR,R6
    for (int i = 0; i < 3; ++i)
        sim.step();
    EXPECT_EQ(regs().read(5), 3u);
    EXPECT_EQ(peekWord(0x09FE), 3u + 5);
    EXPECT_EQ(regs().read(6), 3u + 5 + 3);
}

struct StampCase
{
    const char *name;
    std::vector<uint16_t> words; // run after a one-cycle NOP
    const char *seen;
};

void PrintTo(const StampCase &c, std::ostream *os)
{
    *os << c.name;
}

class EveryForm : public testing::WithParamInterface<StampCase>, public CycleStampTest
{
};

TEST_P(EveryForm, SeesTheEndOfItsInstruction)
{
    std::vector<uint16_t> words{0x4303}; // NOP: 1 cycle
    words.insert(words.end(), GetParam().words.begin(), GetParam().words.end());
    load(words);
    sim.step();
    sim.step();
    EXPECT_EQ(seen().toStdString(), GetParam().seen);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, EveryForm,
    testing::Values(StampCase{"MovRead", {0x4215, 0x0170}, "load 4"},
                    StampCase{"MovWrite", {0x4582, 0x0170}, "load 5,store 5"}, // the destination is read first
                    StampCase{"AddReadModifyWrite", {0x5292, 0x0170, 0x0170}, "load 7,load 7,store 7"},
                    StampCase{"Push", {0x1212, 0x0170}, "load 6"},
                    StampCase{"Call", {0x1292, 0x0170}, "load 6"},
                    StampCase{"RrcReadAndWriteBack", {0x1012, 0x0170}, "load 5,store 5"},
                    StampCase{"Swpb", {0x1092, 0x0170}, "load 5,store 5"},
                    StampCase{"MovaRead", {0x0025, 0x0170}, "load 5,load 5"},
                    StampCase{"MovaWrite", {0x0560, 0x0170}, "store 5,store 5"},
                    StampCase{"Calla", {0x1380, 0x0170}, "load 7,load 7"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CycleStampTest, StackAccessesInThePeripheralRangeSeeTheEndOfTheirInstruction)
{
    load({0x4031, 0x0180, 0x1230, 0x1234, 0x1300}); // MOV #0x180,SP (2 cycles); PUSH #0x1234 (4); RETI (5)
    for (int i = 0; i < 3; ++i)
        sim.step();
    EXPECT_EQ(seen().toStdString(), "store 6,load 11,load 11");
    EXPECT_EQ(regs().read(SP), 0x0182u);
    EXPECT_EQ(regs().read(PC), 0u);
}

} // namespace
