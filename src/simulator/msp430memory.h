// MSP430Memory: the simulator's flat 1 MB memory image with its written map, the peripheral
// path below 0x200 and the memory map that downloads are checked against. The image is kept
// XORed with the fill value, so that it starts as untouched zero pages yet reads as 0xCD.
#pragma once

#include "simulator/hardwaremultiplier.h"
#include "simulator/simulatorerror.h"
#include "simulator/zeroedarray.h"
#include "target/targetmemoryinterface.h"

#include <memory>

namespace zim::simulator {

class PeripheralBus;

struct MSP430MemoryLimits
{
    uint32_t ramStart = 0x0200;
    uint32_t ramEnd = 0x09FF;
    uint32_t infoStart = 0x1000;
    uint32_t infoEnd = 0x10FF;
    uint32_t flashStart = 0x1100;
    uint32_t flashEnd = 0xFFFF;
    // A second RAM range of the device (the upper RAM of an F1611, say); none when both are 0.
    uint32_t ram2Start = 0;
    uint32_t ram2End = 0;
};

class MSP430Memory : public target::TargetMemoryInterface
{
public:
    static constexpr uint32_t kSize = 0x100000;
    static constexpr uint32_t kMask = kSize - 1;
    static constexpr uint8_t kFill = 0xCD;

    // observer receives recorded errors and, while watching, every access; it is not owned.
    MSP430Memory(const MSP430MemoryLimits &limits, bool multiplier, SimulatorObserver *observer);
    ~MSP430Memory() override;

    // Download, verify and upload: bytes below 0x100 one by one and 0x100-0x1FF word by word
    // through the peripheral path, the rest straight to storage. No range checks.
    void writeBytes(uint32_t address, uint32_t count, const uint8_t *data) override;
    void readBytes(uint32_t address, uint32_t count, uint8_t *buffer) override;

    // Accesses made by instructions: range and alignment are checked and recorded, never thrown.
    uint32_t readByte(uint32_t address) { return access<1, false>(address, 0); }
    uint32_t readWord(uint32_t address) { return access<2, false>(address, 0); }
    void writeByte(uint32_t address, uint32_t value) { access<1, true>(address, value); }
    void writeWord(uint32_t address, uint32_t value) { access<2, true>(address, value); }
    uint32_t read(uint32_t address, bool byte) { return byte ? readByte(address) : readWord(address); }
    void write(uint32_t address, bool byte, uint32_t value)
    {
        if (byte)
            writeByte(address, value);
        else
            writeWord(address, value);
    }
    // 20-bit values: the low 16 bits at address, bits 19..16 in the word at address + 2.
    uint32_t read20(uint32_t address);
    void write20(uint32_t address, uint32_t value);

    // Instruction fetch: checked like a word read but not offered to the access watch.
    [[gnu::always_inline]] uint32_t fetch(uint32_t address)
    {
        address &= kMask;
        if (!inRange(address, 2)) [[unlikely]]
            m_observer->recordError(SimulatorError::OutOfRangeRead, address);
        if (address & 1) [[unlikely]]
            m_observer->recordError(SimulatorError::UnalignedWordRead, address);
        if (address < 0x200) [[unlikely]]
            return peripheralRead(address, 2);
        return loadWord(address);
    }

    // While true, every instruction access is offered to the observer.
    void setWatching(bool watching) { m_watching = watching; }
    void setPeripheralBus(PeripheralBus *bus) { m_peripherals = bus; }
    HardwareMultiplier *multiplier() const { return m_multiplier.get(); }
    const MSP430MemoryLimits &limits() const { return m_limits; }

    // The stored byte and the written flag of an address 0x00000-0xFFFFF.
    uint8_t storedByte(uint32_t address) const { return m_storage[address & kMask] ^ kFill; }
    bool isWritten(uint32_t address) const { return m_written[address & kMask] != 0; }

    // True when address .. address + size - 1 lies inside one range of the memory map.
    bool inRange(uint32_t address, uint32_t size) const
    {
        const uint8_t first = m_rangeOf[address & kMask];
        if (size == 1)
            return first != 0;
        if (size == 2)
            return first & kWordFits;
        return (first & kRangeId) != 0 && (first & kRangeId) == (m_rangeOf[(address + size - 1) & kMask] & kRangeId);
    }

private:
    template<unsigned Size, bool Write> [[gnu::always_inline]] uint32_t access(uint32_t address, uint32_t value)
    {
        address &= kMask;
        if (!inRange(address, Size)) [[unlikely]]
            m_observer->recordError(Write ? SimulatorError::OutOfRangeWrite : SimulatorError::OutOfRangeRead, address);
        if (Size == 2 && (address & 1)) [[unlikely]]
            m_observer->recordError(Write ? SimulatorError::UnalignedWordWrite : SimulatorError::UnalignedWordRead,
                                    address);
        if (address < 0x200) [[unlikely]] {
            if (Write)
                peripheralWrite(address, Size, value);
            else
                value = peripheralRead(address, Size);
        } else if (Write) {
            m_storage[address] = uint8_t(value) ^ kFill;
            m_written[address] = 1;
            if (Size == 2) {
                const uint32_t high = (address + 1) & kMask;
                m_storage[high] = uint8_t(value >> 8) ^ kFill;
                m_written[high] = 1;
            }
        } else if (Size == 1) {
            value = m_storage[address] ^ kFill;
        } else {
            value = loadWord(address);
        }
        if (m_watching) [[unlikely]]
            m_observer->memoryAccessed(address, Size, value, Write);
        return value;
    }

    uint32_t loadWord(uint32_t address) const
    {
        return (m_storage[address] | (uint32_t(m_storage[(address + 1) & kMask]) << 8)) ^ (kFill * 0x101u);
    }
    // True when address goes to neither the multiplier nor a peripheral simulation.
    bool isPlainStorage(uint32_t address) const
    {
        return !m_peripherals && !(m_multiplier && HardwareMultiplier::covers(address));
    }
    uint32_t peripheralRead(uint32_t address, unsigned size);
    void peripheralWrite(uint32_t address, unsigned size, uint32_t value);

    MSP430MemoryLimits m_limits;
    SimulatorObserver *m_observer;
    PeripheralBus *m_peripherals = nullptr;
    std::unique_ptr<HardwareMultiplier> m_multiplier;
    ZeroedArray<uint8_t> m_storage; // each byte XOR kFill
    ZeroedArray<uint8_t> m_written;
    // Per address: the 1-based index of the memory-map range holding it (0 outside every range),
    // plus kWordFits when the next address lies in the same range, so that a word check is one lookup.
    static constexpr uint8_t kRangeId = 0x7F;
    static constexpr uint8_t kWordFits = 0x80;
    ZeroedArray<uint8_t> m_rangeOf;
    bool m_watching = false;
};

} // namespace zim::simulator
