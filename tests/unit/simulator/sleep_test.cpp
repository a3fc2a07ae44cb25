// Low-power modes: a CPU with CPUOFF set runs no instruction, time passes from poll to poll, an
// interrupt wakes it, and its RETI sends it back to sleep unless the routine woke it on the stack.
#include "simulatortestutil.h"

namespace {

constexpr int PC = 0, SR = 2;
constexpr uint32_t CPUOFF = 0x0010, GIE = 0x0008;
using Stop = zim::simulator::SimulatedHMonitor::StopReason;

// Raises the Timer_A CCIFG0 interrupt (6) once every 1000 cycles of Simulator.cycles().
const char *const kTimer = R"(
var next = 1000;
function reset() { next = 1000; }
function pollForInterrupts(c) { if (Simulator.cycles() >= next) { next += 1000; return 6; } }
function loadPeripheral(a) { return 0; }
function storePeripheral(a, v) {}
)";

class SleepTest : public testing::Test, protected SimulatorFixture
{
protected:
    // The routine of interrupts 6 and 10 at 0xF100.
    void routine(const std::vector<uint16_t> &words)
    {
        poke(0xFFEC, {0xF100});
        poke(0xFFF4, {0xF100});
        poke(0xF100, words);
    }
};

TEST_F(SleepTest, SleepingCpuDoesNotReachABreakpointOnItsNextInstruction)
{
    load({0xD032, 0x0018, 0x3FFF}); // BIS #CPUOFF+GIE,SR; JMP $
    zim::simulator::SimulatedHMonitor::Breakpoint breakpoint;
    breakpoint.address = kCode + 4;
    sim.addBreakpoint(breakpoint);
    EXPECT_EQ(sim.runFor(1000), Stop::CycleLimit);
    EXPECT_EQ(regs().read(PC), kCode + 4);
}

TEST_F(SleepTest, StepWhileAsleepWaitsForTheNextPoll)
{
    load({0xD032, 0x0018, 0x3FFF});
    sim.step();
    EXPECT_EQ(sim.cycles(), 2u);
    sim.step();
    EXPECT_EQ(sim.cycles(), 100u);
    EXPECT_EQ(regs().read(PC), kCode + 4);
    sim.raiseInterrupt(10);
    routine({0x5315, 0x1300}); // INC R5; RETI
    sim.step(); // the poll enters the routine, which runs its first instruction
    EXPECT_EQ(regs().read(5), 1u);
    EXPECT_EQ(regs().read(SR) & CPUOFF, 0u) << "the routine runs awake";
}

TEST_F(SleepTest, RoutineThatEnablesAndDisablesInterruptsLeavesTheCpuAsleep)
{
    routine({0xD232, 0xC232, 0x5315, 0x1300}); // EINT; DINT; INC R5; RETI
    load({0xD032, 0x0018, 0x3FFF});            // BIS #CPUOFF+GIE,SR; JMP $
    sim.raiseInterrupt(10);
    EXPECT_EQ(sim.runFor(1000), Stop::CycleLimit);
    EXPECT_EQ(regs().read(5), 1u);
    EXPECT_EQ(regs().read(PC), kCode + 4);
    EXPECT_EQ(regs().read(SR), CPUOFF | GIE) << "RETI restored the sleeping status";
}

TEST_F(SleepTest, TimerInterruptWakesTheSleepingCpuWhichSleepsAgainAfterRETI)
{
    usePeripheralFile(kTimer);
    routine({0x5315, 0x1300});                      // INC R5; RETI
    load({0xD032, 0x0018, 0x5316, 0x3FFC});         // idle: BIS #CPUOFF+GIE,SR; INC R6; JMP idle
    EXPECT_EQ(sim.runFor(10500), Stop::CycleLimit);
    EXPECT_EQ(regs().read(5), 10u) << "one wake-up a thousand cycles";
    EXPECT_EQ(regs().read(6), 0u) << "the main loop never ran on";
    EXPECT_EQ(sim.cycles(), 10500u);
}

TEST_F(SleepTest, RoutineThatClearsCpuOffOnTheStackResumesTheMainLoop)
{
    usePeripheralFile(kTimer);
    routine({0x5315, 0xC0B1, 0x0010, 0x0000, 0x1300}); // INC R5; BIC #CPUOFF,0(SP); RETI
    load({0xD032, 0x0018, 0x5316, 0x3FFC});            // idle: BIS #CPUOFF+GIE,SR; INC R6; JMP idle
    EXPECT_EQ(sim.runFor(10500), Stop::CycleLimit);
    EXPECT_EQ(regs().read(5), 10u);
    EXPECT_EQ(regs().read(6), 10u) << "each wake-up runs the main loop once";
}

TEST_F(SleepTest, SleepingWithInterruptsDisabledAndAPendingInterruptWakes)
{
    routine({0x5315, 0xC0B1, 0x0010, 0x0000, 0x1300}); // INC R5; BIC #CPUOFF,0(SP); RETI
    load({0xD032, 0x0010, 0x5316, 0x3FFF});            // BIS #CPUOFF,SR; INC R6; JMP $
    sim.raiseInterrupt(10);
    EXPECT_EQ(sim.runFor(1000), Stop::SelfJump);
    EXPECT_EQ(regs().read(5), 1u);
    EXPECT_EQ(regs().read(6), 1u);
}

} // namespace
