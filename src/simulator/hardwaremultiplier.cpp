// Multiplier register semantics (MSP430x1xx Family User's Guide, chapter "Hardware Multiplier").
#include "simulator/hardwaremultiplier.h"

namespace zim::simulator {

uint16_t HardwareMultiplier::read(uint32_t address) const
{
    switch (address) {
    case 0x130:
    case 0x132:
    case 0x134:
    case 0x136:
        return uint16_t(m_first);
    case 0x138:
        return uint16_t(m_second);
    case 0x13A:
        return uint16_t(m_result);
    case 0x13C:
        return uint16_t(m_result >> 16);
    case 0x13E:
        return uint16_t(m_extension);
    default:
        return 0;
    }
}

void HardwareMultiplier::write(uint32_t address, uint16_t value)
{
    switch (address) {
    case 0x130:
    case 0x132:
    case 0x134:
    case 0x136:
        // Writing the first operand chooses the mode by its address.
        m_first = value;
        m_mode = int((address - 0x130) / 2);
        break;
    case 0x138:
        m_second = value;
        compute();
        break;
    case 0x13A:
        m_result = (m_result & 0xFFFF0000u) | value;
        break;
    case 0x13C:
        m_result = (m_result & 0x0000FFFFu) | (uint32_t(value) << 16);
        break;
    case 0x13E:
        m_extension = value;
        break;
    default:
        break;
    }
}

void HardwareMultiplier::compute()
{
    const int64_t signedProduct = int64_t(int16_t(m_first)) * int16_t(m_second);
    switch (m_mode) {
    case 0:
        m_result = uint64_t(m_first) * m_second;
        m_extension = 0;
        break;
    case 1:
        m_result = uint32_t(signedProduct);
        m_extension = signedProduct < 0 ? 0xFFFF : 0;
        break;
    case 2:
        m_result += uint64_t(m_first) * m_second;
        if (m_result > 0xFFFFFFFFu) {
            m_extension = 1;
            m_result &= 0xFFFFFFFFu;
        } else {
            m_extension = 0;
        }
        break;
    case 3:
        m_result += uint64_t(signedProduct);
        if (m_result & 0x80000000u) {
            m_extension = 0xFFFF;
            m_result &= 0xFFFFFFFFu;
        } else {
            m_extension = 0;
        }
        break;
    }
}

} // namespace zim::simulator
