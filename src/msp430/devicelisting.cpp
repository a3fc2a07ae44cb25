// Formatting the device list from the device database.
#include "msp430/devicelisting.h"

#include "msp430/msp430devices.h"

namespace zim::msp430 {

namespace {

QString address(unsigned value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString range(unsigned first, unsigned last)
{
    return address(first) + QLatin1Char('-') + address(last);
}

} // namespace

QString msp430DeviceListing(MSP430DeviceLibrary &library)
{
    MSP430DevicesGuard devices(library);
    QString text = QStringLiteral("Devices:\n\n");
    for (int i = 0, n = devices->count(); i < n; ++i) {
        devices->select(i);
        text += QStringLiteral("  ") + QString::fromLatin1(devices->name(i)).leftJustified(22);
        text += QStringLiteral("RAM ") + range(devices->ramStart(), devices->ramEnd());
        text += QStringLiteral("  INFO ") + range(devices->infoStart(), devices->infoEnd()) + QLatin1Char('/')
            + QString::number(devices->infoSegmentSize());
        text += QStringLiteral("  FLASH ") + range(devices->flashStart(), devices->flashEnd());
        if (devices->hasExtendedMemory())
            text += QStringLiteral("  MSP430X");
        text += QLatin1Char('\n');
    }
    text += QLatin1Char('\n');
    return text;
}

} // namespace zim::msp430
