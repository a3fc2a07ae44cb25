// The simulator's memory: block transfers for the download procedures and the peripheral path.
#include "simulator/msp430memory.h"

#include "simulator/peripheralbus.h"

#include <algorithm>

namespace zim::simulator {

MSP430Memory::MSP430Memory(const MSP430MemoryLimits &limits, bool multiplier, SimulatorObserver *observer)
    // Erasable like the FLASH it stands in for, so a download erases and programs as on
    // hardware; erasing itself leaves the stored bytes as they are.
    : target::TargetMemoryInterface(false, 2, true),
      m_limits(limits),
      m_observer(observer),
      m_storage(kSize),
      m_written(kSize),
      m_rangeOf(kSize)
{
    Q_ASSERT(observer);
    if (multiplier)
        m_multiplier = std::make_unique<HardwareMultiplier>();

    const target::AddressRange ranges[] = {
        {0x0000, 0x01FF},
        {limits.ramStart, limits.ramEnd},
        {limits.infoStart, limits.infoEnd},
        {limits.flashStart, limits.flashEnd},
        {limits.ram2Start, limits.ram2End},
    };
    // Only the pages of the ranges are written; the rest of the table stays untouched zero pages.
    auto usable = [](const target::AddressRange &range) {
        return range.first <= range.last && range.first < kSize && !(range.first == 0 && range.last == 0);
    };
    // A later range overrides an earlier one where they overlap.
    uint8_t id = 0;
    for (const target::AddressRange &range : ranges) {
        ++id;
        if (!usable(range))
            continue;
        addMemoryRange(range.first, range.last);
        const uint32_t last = std::min(range.last, kMask);
        std::fill(m_rangeOf.data() + range.first, m_rangeOf.data() + last, uint8_t(id | kWordFits));
        m_rangeOf[last] = id;
    }
    // Where a range starts inside an earlier one, the address before it no longer holds a word.
    for (const target::AddressRange &range : ranges) {
        if (usable(range) && range.first > 0
            && (m_rangeOf[range.first - 1] & kRangeId) != (m_rangeOf[range.first] & kRangeId))
            m_rangeOf[range.first - 1] &= kRangeId;
    }
    setAddressDisplayWidth(limits.flashEnd > 0xFFFF ? 5 : 4);
}

MSP430Memory::~MSP430Memory() = default;

void MSP430Memory::writeBytes(uint32_t address, uint32_t count, const uint8_t *data)
{
    // The peripheral areas go register by register, wrapping within 64 KB like the CPU's addresses.
    while (count > 0 && address < 0x200) {
        if (address < 0x100) {
            peripheralWrite(address, 1, *data);
            address = (address + 1) & 0xFFFF;
            ++data;
            --count;
        } else if (count >= 2) {
            peripheralWrite(address, 2, data[0] | (uint32_t(data[1]) << 8));
            address = (address + 2) & 0xFFFF;
            data += 2;
            count -= 2;
        } else {
            // A lone last byte: a peripheral sees the word holding it, while plain storage keeps
            // the byte after it (the first RAM byte, for 0x1FF) as it was.
            if (isPlainStorage(address))
                m_storage[address] = data[0] ^ kFill;
            else
                peripheralWrite(address, 2, data[0]);
            return;
        }
    }
    for (; count > 0; --count) {
        address &= kMask;
        m_storage[address] = *data++ ^ kFill;
        m_written[address] = 1;
        ++address;
    }
}

void MSP430Memory::readBytes(uint32_t address, uint32_t count, uint8_t *buffer)
{
    while (count > 0 && address < 0x200) {
        if (address < 0x100) {
            *buffer++ = uint8_t(peripheralRead(address, 1));
            address = (address + 1) & 0xFFFF;
            --count;
        } else {
            const uint32_t word = peripheralRead(address, 2);
            *buffer++ = uint8_t(word);
            if (count == 1)
                return;
            *buffer++ = uint8_t(word >> 8);
            address = (address + 2) & 0xFFFF;
            count -= 2;
        }
    }
    for (; count > 0; --count)
        *buffer++ = m_storage[address++ & kMask] ^ kFill;
}

uint32_t MSP430Memory::read20(uint32_t address)
{
    const uint32_t low = readWord(address);
    const uint32_t high = readWord(address + 2);
    return low | ((high & 0xF) << 16);
}

void MSP430Memory::write20(uint32_t address, uint32_t value)
{
    writeWord(address, value & 0xFFFF);
    writeWord(address + 2, (value >> 16) & 0xF);
}

uint32_t MSP430Memory::peripheralRead(uint32_t address, unsigned size)
{
    const uint32_t mask = size == 1 ? 0xFF : 0xFFFF;
    if (m_multiplier && HardwareMultiplier::covers(address))
        return m_multiplier->read(address) & mask;
    if (m_peripherals)
        return (m_peripherals->loadPeripheral(address) & 0xFFFF) & mask;
    // Without peripherals the registers are plain storage; the high byte of a word at 0x1FF
    // is the RAM byte at 0x200.
    uint32_t value = 0;
    for (unsigned i = 0; i < size; ++i)
        value |= uint32_t(m_storage[address + i] ^ kFill) << (8 * i);
    return value;
}

void MSP430Memory::peripheralWrite(uint32_t address, unsigned size, uint32_t value)
{
    value &= size == 1 ? 0xFF : 0xFFFF;
    if (m_multiplier && HardwareMultiplier::covers(address)) {
        m_multiplier->write(address, uint16_t(value));
        return;
    }
    if (m_peripherals) {
        m_peripherals->storePeripheral(address, value);
        return;
    }
    for (unsigned i = 0; i < size; ++i) {
        const uint32_t at = address + i;
        m_storage[at] = uint8_t(value >> (8 * i)) ^ kFill;
        if (at >= 0x200)
            m_written[at] = 1;
    }
}

} // namespace zim::simulator
