// Names and sizes of the MSP430 register file.
#include "msp430/msp430registers.h"

namespace zim::msp430 {

MSP430Registers::MSP430Registers(bool cpux) : m_cpux(cpux) {}

QString MSP430Registers::name(int n) const
{
    switch (n) {
    case 0:
        return QStringLiteral("PC");
    case 1:
        return QStringLiteral("SP");
    case 2:
        return QStringLiteral("SR");
    default:
        return n >= 3 && n < 16 ? QStringLiteral("R%1").arg(n) : QString();
    }
}

int MSP430Registers::index(const QString &name) const
{
    const QString upper = name.toUpper();
    for (int n = 0; n < 16; ++n) {
        if (upper == this->name(n))
            return n;
    }
    if (upper == QLatin1String("R0"))
        return 0;
    if (upper == QLatin1String("R1"))
        return 1;
    if (upper == QLatin1String("R2"))
        return 2;
    return -1;
}

int MSP430Registers::size(int n) const
{
    if (n == SR)
        return 2;
    return m_cpux ? 3 : 2;
}

void MSP430Registers::write(int n, uint32_t value)
{
    if (n < 0 || n >= 16)
        return;
    m_regs[n] = value & (m_cpux ? 0xFFFFFu : 0xFFFFu);
    m_changed |= 1u << n;
}

} // namespace zim::msp430
