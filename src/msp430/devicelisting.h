// The text of -listdevices: every device of the device database with its memory limits.
#pragma once

#include <QString>

namespace zim::target {
class ProgramState;
}

namespace zim::msp430 {


// "Devices:\n\n", one line per device in database order, then "\n". Each line: two blanks, the
// name padded to 22 characters, "RAM first-last", "INFO first-last/segment size",
// "FLASH first-last" separated by two blanks, "  MSP430X" for devices with memory beyond
// 64 KB. Acquires and releases the device database; throws its HException.
QString msp430DeviceListing(target::ProgramState &state);

} // namespace zim::msp430
