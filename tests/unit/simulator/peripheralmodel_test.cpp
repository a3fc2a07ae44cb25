// The shipped peripheral model keeps stored flags between syncs while nothing can change them:
// a read at the very cycle a flag changes must still see the change. It follows the family of
// the simulated device, and its serial ports receive only what their settings say.
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
        QObject::connect(&m_simulator.target, qOverload<const QString &>(&zim::target::TargetInterface::message),
                         [this](const QString &text) { m_messages << text; });
    }
    // Starts the model afresh as it starts for the device named (the device table's name, "" for
    // none), counting the resets it asks for.
    void resetAs(const QString &device)
    {
        m_messages.clear();
        evaluate(QStringLiteral("announced = false; fakeCycles = 0; var resetsAsked = 0;"
                                "Simulator.resetTarget = function () { ++resetsAsked; };"
                                "Simulator.device = function () { return \"%1\"; }; reset();")
                     .arg(device));
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

    TestSimulator<> m_simulator;
    TestEnvironment &m_state = m_simulator.state;
    zim::simulator::MSP430Monitor &m_sim = m_simulator.sim;
    std::unique_ptr<PeripheralSimulator> m_peripherals;
    QStringList m_messages;
};

constexpr uint32_t IE2 = 0x01, IFG2 = 0x03, ME2 = 0x05, WDTCTL = 0x120, UTCTL1 = 0x79, UBR01 = 0x7C, TXBUF1 = 0x7F, UTXIFG1 = 0x20;
constexpr uint32_t TACTL = 0x160, TACCTL0 = 0x162, TACCTL1 = 0x164, TACCTL2 = 0x166, TACCR0 = 0x172, TACCR1 = 0x174;
constexpr uint32_t IFG1 = 0x02, ME1 = 0x04, U0CTL = 0x70, UTCTL0 = 0x71, UBR00 = 0x74, RXBUF0 = 0x76, TXBUF0 = 0x77, URXIFG0 = 0x40;
constexpr uint32_t UCB0CTL1 = 0x69, UCB0BR0 = 0x6A, UCB0RXBUF = 0x6E, UCB0TXBUF = 0x6F, UCB0RXIFG = 0x04;
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

// Timer_A's CCR0 interrupt enters vector 6 (0xFFEC) on an x1xx device and vector 9 (0xFFF2) on
// an x2xx device; without a device the model is an x1xx device.
TEST_F(PeripheralModel, TimerVectorFollowsTheDeviceFamily)
{
    const struct { const char *device; int vector; const char *message; } cases[] = {
        {"", 6, "Peripheral model: no device selected; simulating MSP430x1xx peripherals"},
        {"MSP430F149", 6, "Peripheral model: simulating MSP430F149 as an MSP430x1xx device"},
        {"MSP430F1611", 6, "Peripheral model: simulating MSP430F1611 as an MSP430x1xx device"},
        {"MSP430F2617", 9, "Peripheral model: simulating MSP430F2617 as an MSP430x2xx device"},
        {"MSP430G2553", 9, "Peripheral model: simulating MSP430G2553 as an MSP430x2xx device"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.device);
        resetAs(QLatin1String(c.device));
        EXPECT_EQ(m_messages, QStringList{QLatin1String(c.message)});
        storeAt(5, WDTCTL, 0x5A80);
        storeAt(10, TACCR0, 50);
        storeAt(10, TACCTL0, 0x10); // CCIE
        storeAt(10, TACTL, 0x220);  // SMCLK, continuous
        EXPECT_EQ(pollAt(59), -1);
        EXPECT_EQ(pollAt(60), c.vector);
    }
}

// A device of a family the model does not cover keeps every address below 0x200 as memory that
// reads back what was written: a write to where the x1xx watchdog lives (PMMCTL0 on an F5xx
// device) resets nothing, no flag rises and no interrupt comes.
TEST_F(PeripheralModel, UncoveredFamilyIsPlainMemory)
{
    resetAs(QStringLiteral("MSP430F5437"));
    EXPECT_EQ(m_messages, QStringList{QStringLiteral(
        "Peripheral model: MSP430F5437 is not an MSP430x1xx or x2xx device; its peripherals are not "
        "simulated and addresses below 0x200 are plain memory")});
    EXPECT_EQ(loadAt(0, IFG1), 0u);
    storeAt(10, WDTCTL, 0xA500);
    EXPECT_EQ(loadAt(11, WDTCTL), 0xA500u);
    storeAt(12, TACTL, 0x0224);
    storeAt(12, TACCTL0, 0x10);
    storeAt(13, IE2, 0xFF);
    EXPECT_EQ(loadAt(200000, TACTL), 0x0224u);
    EXPECT_EQ(loadAt(200000, IFG2), 0u);
    EXPECT_EQ(pollAt(200000), -1);
    EXPECT_EQ(evaluate(QStringLiteral("resetsAsked")), QStringLiteral("0"));
    EXPECT_EQ(loadAt(200001, 0x1FE), 0u) << "never written";
}

// The family is reported once per load of the file, not at every reset of the device.
TEST_F(PeripheralModel, FamilyIsReportedOnce)
{
    resetAs(QStringLiteral("MSP430F2617"));
    evaluate(QStringLiteral("reset(); reset();"));
    EXPECT_EQ(m_messages.size(), 1);
}

// USART0 in SPI mode receives 0 for every byte it sends, not the byte itself: a chip's status
// read must not come back as the command just sent. USCI_B0 loops its bytes back.
TEST_F(PeripheralModel, SerialPortsReceiveWhatTheirSettingSays)
{
    resetAs(QStringLiteral("MSP430F1611"));
    storeAt(5, WDTCTL, 0x5A80);
    storeAt(10, ME1, 0x40);      // USPIE0
    storeAt(10, U0CTL, 0x16);    // SPI master, 8 bits
    storeAt(10, UTCTL0, 0xA2);   // SMCLK
    storeAt(10, UBR00, 2);
    storeAt(20, TXBUF0, 0x5A);
    loadAt(21, IFG1); // the byte moves into the shift register
    EXPECT_EQ(loadAt(5000, IFG1) & URXIFG0, URXIFG0);
    EXPECT_EQ(loadAt(5001, RXBUF0), 0u);

    resetAs(QStringLiteral("MSP430F2617"));
    storeAt(5, WDTCTL, 0x5A80);
    storeAt(10, UCB0BR0, 2);
    storeAt(10, UCB0CTL1, 0x80); // SMCLK, out of reset
    storeAt(20, UCB0TXBUF, 0x5A);
    loadAt(21, IFG2);
    EXPECT_EQ(loadAt(5000, IFG2) & UCB0RXIFG, UCB0RXIFG);
    EXPECT_EQ(loadAt(5001, UCB0RXBUF), 0x5Au);

    // A port that nothing answers receives nothing at all.
    resetAs(QStringLiteral("MSP430F1611"));
    evaluate(QStringLiteral("USART0_ANSWER = NO_ANSWER; reset();"));
    storeAt(5, WDTCTL, 0x5A80);
    storeAt(10, ME1, 0x40);
    storeAt(10, U0CTL, 0x16);
    storeAt(10, UTCTL0, 0xA2);
    storeAt(10, UBR00, 2);
    storeAt(20, TXBUF0, 0x5A);
    loadAt(21, IFG1); // the byte moves into the shift register
    EXPECT_EQ(loadAt(5000, UTCTL0) & 1, 1u) << "the byte went out";
    EXPECT_EQ(loadAt(5000, IFG1) & URXIFG0, 0u);
}

} // namespace
