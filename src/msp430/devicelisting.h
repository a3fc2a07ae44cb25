// The text of -listdevices: every device of the device database with its memory limits.
#pragma once

#include <QString>

namespace zim::msp430 {

class MSP430DeviceLibrary;

// "Devices:\n\n", one line per device in database order, then "\n". Each line: two blanks, the
// name padded to 22 characters, "RAM first-last", "INFO first-last/segment size",
// "FLASH first-last" separated by two blanks, "  MSP430X" for devices with memory beyond
// 64 KB. Acquires and releases the device database; throws its HException.
QString msp430DeviceListing(MSP430DeviceLibrary &library);

} // namespace zim::msp430
