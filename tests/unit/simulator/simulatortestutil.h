// A connected simulator with helpers to place hand-assembled words and step through them.
#pragma once

#include "simulator/msp430monitor.h"
#include "simulator/peripheralsimulator.h"
#include "testsimulator.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

class SimulatorFixture
{
public:
    static constexpr uint32_t kCode = 0xF000;

    SimulatorFixture() { sim.connect(); }

    zim::simulator::MSP430Memory &memory() { return *sim.simulatedMemory(); }
    zim::msp430::MSP430Registers &regs() { return *sim.cpuRegisters(); }

    void poke(uint32_t address, const std::vector<uint16_t> &words)
    {
        std::vector<uint8_t> bytes;
        for (uint16_t word : words) {
            bytes.push_back(uint8_t(word));
            bytes.push_back(uint8_t(word >> 8));
        }
        memory().writeBytes(address, uint32_t(bytes.size()), bytes.data());
    }
    uint32_t peekWord(uint32_t address)
    {
        uint8_t bytes[2];
        memory().readBytes(address, 2, bytes);
        return bytes[0] | (uint32_t(bytes[1]) << 8);
    }

    // Places the program at kCode, points the reset vector at it and resets with SP at the
    // top of the default RAM; the first step() then runs the first instruction.
    void load(const std::vector<uint16_t> &words)
    {
        poke(kCode, words);
        poke(0xFFFE, {kCode});
        sim.reset(true);
        regs().write(zim::msp430::MSP430Registers::SP, 0x0A00);
    }

    // Connects again with a peripheral file holding text; call it before load().
    void usePeripheralFile(const char *text)
    {
        sim.disconnect();
        ASSERT_TRUE(m_dir.isValid());
        QFile file(m_dir.filePath(QStringLiteral("peripherals.js")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(text), qint64(qstrlen(text)));
        file.close();
        sim.setEnablePeripheralFile(true);
        sim.setPeripheralFile(file.fileName());
        sim.connect();
        ASSERT_NE(sim.peripherals(), nullptr);
    }
    // The text of an expression evaluated in the peripheral file's context.
    QString evaluate(const QString &expression)
    {
        auto *peripherals = dynamic_cast<zim::simulator::PeripheralSimulator *>(sim.peripherals());
        if (!peripherals)
            return QStringLiteral("no peripheral file");
        auto &context = peripherals->context();
        return context.toString(context.evaluate(expression).value);
    }

    TestSimulator<> simulator;
    TestEnvironment &state = simulator.state;
    zim::simulator::MSP430Monitor &sim = simulator.sim;

private:
    QTemporaryDir m_dir;
};
