// The simulator target: reset, interrupts, the run loop and its stop conditions.
#include "simulatortestutil.h"

#include "common/hexception.h"

namespace {

constexpr int PC = 0, SP = 1, SR = 2;

class MonitorTest : public testing::Test, protected SimulatorFixture
{
};

TEST_F(MonitorTest, ResetStartsAtTheVectorWithSRClear)
{
    regs().write(SR, 0x01FF);
    load({0x4205}); // MOV SR,R5
    sim.step();
    EXPECT_EQ(regs().read(5), 0u);
    EXPECT_EQ(regs().read(PC), kCode + 2);
}

TEST_F(MonitorTest, StoreAndLoadAbsoluteTakeFivePlusThreeCycles)
{
    load({0x40B2, 0x1234, 0x0200, 0x4215, 0x0200}); // MOV #0x1234,&0x0200; MOV &0x0200,R5
    sim.step();
    EXPECT_EQ(sim.cycles(), 5u);
    sim.step();
    EXPECT_EQ(regs().read(5), 0x1234u);
    EXPECT_EQ(sim.cycles(), 8u);
    EXPECT_TRUE(memory().isWritten(0x0200));
}

TEST_F(MonitorTest, RaisedInterruptIsEnteredWithGIEClear)
{
    sim.setInterruptPollInterval(0);
    poke(0xFFF4, {0xF100});
    poke(0xF100, {0x4303, 0x1300}); // NOP; RETI
    load({0x4303, 0x4303});
    sim.step();
    ASSERT_EQ(regs().read(PC), 0xF002u);
    regs().write(SR, 0x0001);
    sim.raiseInterrupt(10);
    sim.step(); // enters the interrupt, then runs its first instruction
    EXPECT_EQ(regs().read(PC), 0xF102u);
    EXPECT_EQ(regs().read(SP), 0x09FCu);
    EXPECT_EQ(peekWord(0x09FE), 0xF002u);
    EXPECT_EQ(peekWord(0x09FC), 0x0001u);
    sim.step(); // RETI
    EXPECT_EQ(regs().read(PC), 0xF002u);
    EXPECT_EQ(regs().read(SP), 0x0A00u);
    EXPECT_EQ(regs().read(SR), 0x0001u);
}

TEST_F(MonitorTest, InterruptsWaitForThePollIntervalAndTakeTheHighestFirst)
{
    poke(0xFFE6, {0xF200});
    poke(0xFFF8, {0xF300});
    poke(0xF300, {0x4303});
    load({0x3FFF}); // JMP $: 2 cycles a step
    sim.raiseInterrupt(3);
    sim.raiseInterrupt(12);
    sim.raiseInterrupt(16); // ignored
    for (int i = 0; i < 50; ++i)
        sim.step();
    EXPECT_EQ(regs().read(PC), kCode) << "no poll before 100 cycles";
    sim.step();
    EXPECT_EQ(regs().read(PC), 0xF302u);
    EXPECT_EQ(peekWord(0x09FE), kCode);
}

TEST_F(MonitorTest, SelfJumpWithInterruptsEnabledRunsToTheLimit)
{
    load({0xD232, 0x3FFF}); // EINT (BIS #8,SR); JMP $
    EXPECT_EQ(sim.runFor(1000), zim::simulator::SimulatedHMonitor::StopReason::CycleLimit);
    EXPECT_GE(sim.cycles(), 1000u);
    EXPECT_LT(sim.cycles(), 1002u);
}

TEST_F(MonitorTest, ErrorStopsEndTheRunWithTheirMessage)
{
    load({0x4215, 0x0201, 0x3FFF});
    EXPECT_EQ(sim.runFor(100), zim::simulator::SimulatedHMonitor::StopReason::SelfJump) << "unaligned reads are ignored by default";

    sim.setErrorStop(QStringLiteral("Unaligned access on word read"), true);
    sim.reset(true);
    EXPECT_EQ(sim.runFor(100), zim::simulator::SimulatedHMonitor::StopReason::ErrorStop);
    EXPECT_EQ(sim.stopMessage(), QStringLiteral("Unaligned access on word read"));
    EXPECT_EQ(sim.stopAddress(), 0x0201u);
}

TEST_F(MonitorTest, ExecutionBreakpointStopsBeforeAndResumesThrough)
{
    load({0x4303, 0x4303, 0x4303, 0x3FFF});
    zim::simulator::SimulatedHMonitor::Breakpoint breakpoint;
    breakpoint.address = kCode + 4;
    sim.addBreakpoint(breakpoint);
    EXPECT_EQ(sim.runFor(100), zim::simulator::SimulatedHMonitor::StopReason::Breakpoint);
    EXPECT_EQ(regs().read(PC), kCode + 4);
    EXPECT_EQ(sim.runFor(100), zim::simulator::SimulatedHMonitor::StopReason::SelfJump);
}

TEST_F(MonitorTest, TraceBufferIsBounded)
{
    EXPECT_THROW(sim.setTraceBufferSize(zim::simulator::SimulatedHMonitor::kMaxTraceEntries + 1),
                 zim::common::HException);
    EXPECT_THROW(sim.setTraceBufferSize(-1), zim::common::HException);
    EXPECT_EQ(sim.traceBufferSize(), 8);
    sim.setTraceBufferSize(zim::simulator::SimulatedHMonitor::kMaxTraceEntries);
    sim.setJumpCountEnabled(true);
    sim.setJumpCountMode(zim::simulator::SimulatedHMonitor::PerInstruction);
    sim.setTraceWrapping(true);
    load({0xD232, 0x3FFF}); // EINT; JMP $
    sim.runFor(2 * 2 * zim::simulator::SimulatedHMonitor::kMaxTraceEntries);
    const QList<uint32_t> trace = sim.trace();
    ASSERT_EQ(trace.size(), zim::simulator::SimulatedHMonitor::kMaxTraceEntries);
    EXPECT_EQ(trace.first(), kCode + 2);
    EXPECT_EQ(trace.last(), kCode + 2);
}

} // namespace
