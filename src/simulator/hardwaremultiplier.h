// The 16x16 hardware multiplier at 0x0130-0x013F: four modes, a 32-bit result and an extension word.
#pragma once

#include <cstdint>

namespace zim::simulator {

class HardwareMultiplier
{
public:
    static constexpr uint32_t kFirst = 0x130;
    static constexpr uint32_t kLast = 0x13F;

    static bool covers(uint32_t address) { return address >= kFirst && address <= kLast; }

    // Word register access; odd addresses are ignored on write and read as 0.
    uint16_t read(uint32_t address) const;
    void write(uint32_t address, uint16_t value);

    int mode() const { return m_mode; }

private:
    void compute();

    uint32_t m_first = 0;
    uint32_t m_second = 0;
    int m_mode = 0; // 0 MPY, 1 MPYS, 2 MAC, 3 MACS
    uint64_t m_result = 0;
    uint32_t m_extension = 0;
};

} // namespace zim::simulator
