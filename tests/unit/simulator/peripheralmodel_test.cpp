// The shipped peripheral model keeps stored flags between syncs while nothing can change them:
// a read at the very cycle a flag changes must still see the change.
#include "simulatortestutil.h"

#include "simulator/peripheralsimulator.h"

#include <QFile>

namespace {

using zim::simulator::PeripheralSimulator;

class PeripheralModel : public testing::Test
{
protected:
    void SetUp() override
    {
        QFile file(QStringLiteral(ZIM_SOURCE_DIR "/data/targets/msp430peripherals.js"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "cannot open the shipped peripheral model";
        m_peripherals = std::make_unique<PeripheralSimulator>(QString::fromUtf8(file.readAll()) + QLatin1Char('\n'), m_sim);
        // The test sets the cycle count itself; USART1 keeps what it sends to itself.
        evaluate(QStringLiteral("var fakeCycles = 0; Simulator.cycles = function () { return fakeCycles; };"
                                "USART1_OUTPUT = false; reset();"));
    }
    QString evaluate(const QString &expression)
    {
        auto &context = m_peripherals->context();
        return context.toString(context.evaluate(expression).value);
    }
    uint32_t loadAt(uint32_t cycle, uint32_t address)
    {
        evaluate(QStringLiteral("fakeCycles = %1;").arg(cycle));
        return m_peripherals->loadPeripheral(address);
    }
    int pollAt(uint32_t cycle)
    {
        evaluate(QStringLiteral("fakeCycles = %1;").arg(cycle));
        return m_peripherals->pollForInterrupts(1);
    }
    void storeAt(uint32_t cycle, uint32_t address, uint32_t value)
    {
        evaluate(QStringLiteral("fakeCycles = %1;").arg(cycle));
        m_peripherals->storePeripheral(address, value);
    }

    TestState m_state;
    zim::simulator::MSP430Monitor m_sim{m_state};
    std::unique_ptr<PeripheralSimulator> m_peripherals;
};

constexpr uint32_t IE2 = 0x01, IFG2 = 0x03, ME2 = 0x05, WDTCTL = 0x120, UTCTL1 = 0x79, UBR01 = 0x7C, TXBUF1 = 0x7F, UTXIFG1 = 0x20;
constexpr uint32_t TACTL = 0x160, TACCTL0 = 0x162, TACCTL1 = 0x164, TACCTL2 = 0x166, TACCR0 = 0x172, TACCR1 = 0x174;
constexpr int TimerA0Vector = 6, Usart1TxVector = 2;

TEST_F(PeripheralModel, TransmitReadyReturnsAtTheCycleTheShiftRegisterEmpties)
{
    storeAt(10, ME2, 0x30);
    storeAt(11, UTCTL1, 0x20); // SMCLK
    storeAt(12, UBR01, 16);
    storeAt(100, TXBUF1, 0x41);
    ASSERT_EQ(loadAt(101, IFG2) & UTXIFG1, UTXIFG1) << "the first byte moved on into the shift register";
    storeAt(102, TXBUF1, 0x42);
    const uint32_t shiftEnd = evaluate(QStringLiteral("usart1.shiftEnd")).toUInt();
    ASSERT_GT(shiftEnd, 110u);
    EXPECT_EQ(loadAt(103, IFG2) & UTXIFG1, 0u);
    EXPECT_EQ(loadAt(shiftEnd - 1, IFG2) & UTXIFG1, 0u);
    EXPECT_EQ(loadAt(shiftEnd, IFG2) & UTXIFG1, UTXIFG1);
}

TEST_F(PeripheralModel, TimerFlagReadDuringACalmStretchSeesTheCompare)
{
    storeAt(10, TACCR1, 50);
    storeAt(10, TACTL, 0x220); // SMCLK, continuous: one count per cycle from cycle 10
    loadAt(11, IFG2);          // starts a stretch in which only the timers count
    EXPECT_EQ(loadAt(59, TACCTL1) & 1, 0u);
    EXPECT_EQ(loadAt(60, TACCTL1) & 1, 1u);
}

TEST_F(PeripheralModel, CompareMovedEarlierAfterAQuietCountIsStillSeen)
{
    storeAt(10, TACCR1, 50);
    storeAt(10, TACTL, 0x220);
    loadAt(11, IFG2);          // the count now knows 48 steps set no flag
    storeAt(12, TACCR1, 20);
    EXPECT_EQ(loadAt(29, TACCTL1) & 1, 0u);
    EXPECT_EQ(loadAt(30, TACCTL1) & 1, 1u);
}

TEST_F(PeripheralModel, PollsSeeACompareMovedEarlierAfterAQuietPoll)
{
    storeAt(10, TACCR0, 50);
    storeAt(10, TACCTL0, 0x10); // CCIE
    storeAt(10, TACTL, 0x220);
    EXPECT_EQ(pollAt(20), -1);  // nothing due before cycle 60 now
    storeAt(21, TACCR0, 30);
    EXPECT_EQ(pollAt(39), -1);
    EXPECT_EQ(pollAt(40), TimerA0Vector);
}

TEST_F(PeripheralModel, CalmCaptureReadsSeeEachAclkEdgeAtItsCycle)
{
    storeAt(10, TACTL, 0x220);     // SMCLK, continuous
    storeAt(10, TACCTL2, 0x5100);  // capture ACLK rising edges
    loadAt(11, IFG2);
    // The model's own clock says when ACLK ticks.
    const uint32_t firstEdge = evaluate(QStringLiteral(
        "var e = 12; while (Math.floor(aclkTicks(e)) == Math.floor(aclkTicks(11))) ++e; e")).toUInt();
    const uint32_t secondEdge = evaluate(QStringLiteral(
        "var f = e; while (Math.floor(aclkTicks(f)) == Math.floor(aclkTicks(e))) ++f; f")).toUInt();
    ASSERT_GT(firstEdge, 20u);
    ASSERT_GT(secondEdge, firstEdge + 20);
    uint32_t cycle = 12;
    while (cycle < secondEdge + 10 && !(loadAt(cycle, TACCTL2) & 1))
        ++cycle;
    EXPECT_EQ(cycle, firstEdge);
    storeAt(cycle, TACCTL2, 0x5100); // clears the flag
    loadAt(cycle + 1, IFG2);
    ++cycle;
    while (cycle < secondEdge + 10 && !(loadAt(cycle, TACCTL2) & 1))
        ++cycle;
    EXPECT_EQ(cycle, secondEdge);
    EXPECT_EQ(loadAt(cycle, TACCTL2) & 2, 0u) << "one edge, no overflow";
}

TEST_F(PeripheralModel, PollDuringACalmStretchSeesAFlagRaisedByARead)
{
    storeAt(5, WDTCTL, 0x5A80); // hold
    storeAt(10, ME2, 0x30);
    storeAt(11, UTCTL1, 0x20);
    storeAt(12, UBR01, 16);
    storeAt(13, IE2, UTXIFG1);
    EXPECT_EQ(pollAt(14), Usart1TxVector); // the empty transmitter's flag, taken
    EXPECT_EQ(pollAt(50), -1);
    storeAt(100, TXBUF1, 0x41);
    ASSERT_EQ(loadAt(101, IFG2) & UTXIFG1, UTXIFG1) << "the byte moved on into the shift register";
    EXPECT_EQ(pollAt(102), Usart1TxVector);
}

} // namespace
