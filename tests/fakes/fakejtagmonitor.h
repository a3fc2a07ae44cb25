// A JTAG driver over an array: the device limits of an MSP430F149 (FLASH 0x1100-0xFFFF,
// 128-byte information segments, 2 KB RAM), a full EEM, and a log of every segment erase,
// EEM register write and run-control call, so that tests see what the JTAG monitor base asks
// of a driver.
#pragma once

#include "msp430/msp430jtagmonitorinterface.h"

#include <QStringList>
#include <algorithm>
#include <map>
#include <vector>

class FakeJTAGMonitor : public zim::msp430::MSP430JTAGMonitorInterface
{
public:
    FakeJTAGMonitor() : memory(0x20000, 0xFF) {}

    std::vector<uint8_t> memory;
    QStringList log;
    std::map<uint32_t, uint32_t> eem;
    uint32_t level = 3;
    uint32_t clockLevel = 2;
    // Above 0xffff for a device with extended memory.
    uint32_t flashLast = 0xFFFF;
    bool halted = true;

    uint32_t ramStart() const override { return 0x0200; }
    uint32_t ramEnd() const override { return 0x09FF; }
    uint32_t flashStart() const override { return 0x1100; }
    uint32_t flashEnd() const override { return flashLast; }
    uint32_t infoStart() const override { return 0x1000; }
    uint32_t infoEnd() const override { return 0x10FF; }
    uint32_t infoSegmentSize() const override { return 128; }
    bool hasExtendedMemory() const override { return flashLast > 0xFFFF; }
    bool eemAvailable() const override { return level != 0; }
    uint32_t emulationLevel() const override { return level; }
    uint32_t breakpointCount() const override { return level == 3 ? 8 : level == 2 ? 3 : 2; }
    uint32_t readEEMRegister(uint32_t reg) const override
    {
        const auto it = eem.find(reg);
        return it == eem.end() ? 0 : it->second;
    }
    void writeEEMRegister(uint32_t reg, uint32_t value) override
    {
        log.append(QStringLiteral("eem %1 %2").arg(reg, 0, 16).arg(value, 0, 16));
        eem[reg] = value;
    }
    uint32_t clockControlLevel() const override { return clockLevel; }

    void writeBytes(uint32_t address, uint32_t count, const uint8_t *data) override
    {
        std::copy(data, data + count, memory.begin() + address);
    }
    void readBytes(uint32_t address, uint32_t count, uint8_t *buffer) override
    {
        std::copy(memory.begin() + address, memory.begin() + address + count, buffer);
    }
    void eraseSegment(uint32_t start, uint32_t length) override
    {
        log.append(QStringLiteral("eraseSegment %1 %2").arg(start, 0, 16).arg(length));
        std::fill(memory.begin() + start, memory.begin() + start + length, 0xFF);
    }
    void eraseAll() override
    {
        log.append(QStringLiteral("eraseAll"));
        std::fill(memory.begin() + 0x1000, memory.end(), 0xFF);
    }
    bool isInState(TargetState state) override { return (state == TargetStopped) == halted; }
    bool handleStop() override { return true; }

    void connect() override
    {
        log.append(QStringLiteral("connect"));
        completeConnection(QStringLiteral("MSP430F149"));
    }
    void disconnect() override
    {
        log.append(QStringLiteral("disconnect"));
        completeDisconnection();
    }
    bool reset(bool stop) override
    {
        log.append(QStringLiteral("reset %1").arg(stop));
        setState(stop ? TargetStopped : TargetRunning);
        return true;
    }
    bool go() override
    {
        prepareResume();
        log.append(QStringLiteral("go"));
        halted = false;
        setState(TargetRunning);
        return true;
    }
    bool run(uint32_t, bool) override { return go(); }
    bool waitForStop(int) override { return halted; }
};
