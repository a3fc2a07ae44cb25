// Test doubles for the target framework: a memory that keeps its bytes in a map and logs every
// call, a device port built on one or two of them with the target facade over it, and a load
// file made of in-memory sections.
#pragma once

#include "common/hexception.h"
#include "loadfile/loadfileinterface.h"
#include "target/deviceport.h"
#include "target/targetinterface.h"
#include "target/targetmemoryinterface.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

// A byte store with configurable limits. Every operation the download procedures use is
// appended to a shared log as one line of text, e.g. "main.programBytes 1100 256 last".
class FakeMemory : public zim::target::TargetMemoryInterface
{
public:
    FakeMemory(QString name, QStringList &log, bool erasable)
        : zim::target::TargetMemoryInterface(false, 2, erasable), m_name(std::move(name)), m_log(log) {}

    int writeLimit = -1;
    int readLimit = -1;
    int verifyLimit = -1;
    int fillLimit = -1;
    int segmentSize = -1;
    // With segments: eraseRange reports the whole segments it cleared; false reports only the
    // range asked for, as a memory whose report and segment size disagree would.
    bool reportsSegments = true;
    // Address at which the next write or erase throws, to exercise failure paths.
    std::optional<uint32_t> failAt;
    // Writes into this range are silently lost, so that verification fails there.
    std::optional<zim::target::AddressRange> stuck;
    std::map<uint32_t, uint8_t> bytes;

    int maxWriteBlock() const override { return writeLimit; }
    int maxReadBlock() const override { return readLimit; }
    int maxVerifyBlock() const override { return verifyLimit; }
    int maxFillBlock() const override { return fillLimit; }
    int eraseSegmentSize() const override { return segmentSize; }

    void writeBytes(uint32_t address, uint32_t count, const uint8_t *data) override
    {
        failIfAsked(address, count);
        for (uint32_t i = 0; i < count; ++i)
            if (!stuck || !stuck->contains(address + i))
                bytes[address + i] = data[i];
    }
    void readBytes(uint32_t address, uint32_t count, uint8_t *buffer) override
    {
        for (uint32_t i = 0; i < count; ++i) {
            auto it = bytes.find(address + i);
            buffer[i] = it == bytes.end() ? 0xFF : it->second;
        }
    }
    void programBytes(uint32_t address, uint32_t count, const uint8_t *data, bool last) override
    {
        log(QStringLiteral("programBytes %1 %2%3").arg(address, 0, 16).arg(count).arg(last ? " last" : ""));
        writeBytes(address, count, data);
    }
    void fillBytes(uint32_t address, uint32_t count, uint8_t value) override
    {
        log(QStringLiteral("fillBytes %1 %2").arg(address, 0, 16).arg(count));
        zim::target::TargetMemoryInterface::fillBytes(address, count, value);
    }
    void readBackBytes(uint32_t address, uint32_t count, uint8_t *buffer) override
    {
        log(QStringLiteral("readBackBytes %1 %2").arg(address, 0, 16).arg(count));
        readBytes(address, count, buffer);
    }
    bool verifyBytes(uint32_t address, uint32_t count, const uint8_t *data) override
    {
        log(QStringLiteral("verifyBytes %1 %2").arg(address, 0, 16).arg(count));
        std::vector<uint8_t> actual(count);
        readBytes(address, count, actual.data());
        return std::equal(actual.begin(), actual.end(), data);
    }
    void beginErase() override { log(QStringLiteral("beginErase")); }
    void endErase() override { log(QStringLiteral("endErase")); }
    void eraseRange(uint32_t address, uint32_t count, uint32_t &start, uint32_t &length) override
    {
        log(QStringLiteral("eraseRange %1 %2").arg(address, 0, 16).arg(count));
        failIfAsked(address, count);
        uint32_t first = address;
        uint32_t size = count;
        if (segmentSize > 0) {
            // Whole segments go, as FLASH erases them.
            first = address - address % uint32_t(segmentSize);
            const uint32_t end = address + count;
            size = ((end - first + uint32_t(segmentSize) - 1) / uint32_t(segmentSize)) * uint32_t(segmentSize);
        }
        for (uint32_t i = 0; i < size; ++i)
            bytes.erase(first + i);
        start = reportsSegments ? first : address;
        length = reportsSegments ? size : count;
    }
    void eraseAll() override
    {
        log(QStringLiteral("eraseAll"));
        bytes.clear();
    }

private:
    void log(const QString &text) { m_log.append(m_name + QLatin1Char('.') + text); }
    void failIfAsked(uint32_t address, uint32_t count)
    {
        if (failAt && *failAt >= address && *failAt - address < count)
            throw zim::common::HException(QStringLiteral("write failed at 0x%1").arg(*failAt, 0, 16));
    }

    QString m_name;
    QStringList &m_log;
};

// A device port whose memories are FakeMemory objects; it logs its load brackets and run
// control.
class FakePort : public zim::target::DevicePort
{
public:
    explicit FakePort(bool withSecondMemory)
        : zim::target::DevicePort(FlagEraseAll), main(QStringLiteral("main"), log, true)
    {
        if (withSecondMemory)
            second.emplace(QStringLiteral("second"), log, true);
    }

    QStringList log;
    FakeMemory main;
    std::optional<FakeMemory> second;
    bool connected = false;

    void connect() override
    {
        log.append(QStringLiteral("connect"));
        connected = true;
    }
    void disconnect() override
    {
        log.append(QStringLiteral("disconnect"));
        connected = false;
    }
    bool isConnected() const override { return connected; }
    zim::target::TargetMemoryInterface *mainMemory() override { return &main; }
    zim::target::TargetMemoryInterface *secondMemory() override { return second ? &*second : nullptr; }
    bool reset(bool stop) override
    {
        log.append(QStringLiteral("reset %1").arg(stop));
        return true;
    }
    bool go() override { return true; }
    bool run(uint32_t address, bool release) override
    {
        log.append(QStringLiteral("run %1 %2").arg(address, 0, 16).arg(release));
        return true;
    }
    bool stop() override { return true; }
    bool waitForStop(int) override { return true; }
    void beginLoad() override { log.append(QStringLiteral("beginLoad")); }
    void endLoad() override { log.append(QStringLiteral("endLoad")); }
};

// The target facade over a FakePort, with the port's log and memories at hand; when asked, it
// also logs the group and completion signals the procedures emit.
class FakeTarget : public zim::target::TargetInterface
{
public:
    explicit FakeTarget(zim::target::TargetEnvironment *environment = nullptr, bool withSecondMemory = false)
        : FakeTarget(std::make_unique<FakePort>(withSecondMemory), environment)
    {
    }
    explicit FakeTarget(std::unique_ptr<FakePort> port, zim::target::TargetEnvironment *environment = nullptr)
        : zim::target::TargetInterface(std::move(port), QStringLiteral("Fake Target"), environment),
          log(fakePort().log), main(fakePort().main), second(fakePort().second), connected(fakePort().connected)
    {
    }

    FakePort &fakePort() const { return static_cast<FakePort &>(port()); }

    QStringList &log;
    FakeMemory &main;
    std::optional<FakeMemory> &second;
    bool &connected;

    // Appends every kind-carrying message and group signal to the log.
    void logSignals()
    {
        QObject::connect(this, qOverload<const QString &, int>(&zim::target::TargetInterface::message), this,
                         [this](const QString &text, int kind) {
                             log.append(QStringLiteral("message %1 %2").arg(text).arg(kind, 0, 16));
                         });
        QObject::connect(this, &zim::target::TargetInterface::beginGroup, this, [this](const QString &text, int kind) {
            log.append(QStringLiteral("beginGroup %1 %2").arg(text).arg(kind, 0, 16));
        });
        QObject::connect(this, &zim::target::TargetInterface::endGroup, this,
                         [this](const QString &text) { log.append(QStringLiteral("endGroup ") + text); });
    }
};

// A load file over sections given by the test.
class FakeLoadFile : public zim::loadfile::LoadFileInterface
{
public:
    FakeLoadFile() { m_sectionsRead = true; }

    // Adds a section of size bytes counting up from seed.
    void add(int space, const char *name, uint32_t address, uint32_t size, uint8_t seed = 0)
    {
        auto &buffer = m_buffers.emplace_back(size);
        for (uint32_t i = 0; i < size; ++i)
            buffer[i] = uint8_t(seed + i);
        auto section = std::make_unique<zim::loadfile::StandardLoadFileSection>(name, address, size, buffer.data());
        (space == 0 ? m_sections.primarySections : m_sections.secondarySections).push_back(std::move(section));
    }
    // Adds a section without bytes, which a download fills with zeros.
    void addFill(int space, const char *name, uint32_t address, uint32_t size)
    {
        auto section = std::make_unique<zim::loadfile::StandardLoadFileSection>(name, address, size, nullptr);
        (space == 0 ? m_sections.primarySections : m_sections.secondarySections).push_back(std::move(section));
    }

    bool hasStartAddress() const override { return m_start.has_value(); }
    void setStartAddress(uint32_t address) override { m_start = address; }
    uint32_t startAddress() const override { return m_start.value_or(0); }
    bool hasAddresses() const override { return true; }
    void setLoadAddress(uint32_t) override {}
    bool readSections() override { return true; }

private:
    std::vector<std::vector<uint8_t>> m_buffers;
    std::optional<uint32_t> m_start;
};
