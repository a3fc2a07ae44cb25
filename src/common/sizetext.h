// Byte counts as messages and progress output show them: "1023 bytes", "1 KB", "12.5 KB",
// with thousands grouped by commas.
#pragma once

#include <QString>
#include <cstdint>

// Below 1024 "<n> bytes"; otherwise whole kilobytes with the tenths digit (truncated) when
// it is not 0: 1536 gives "1.5 KB", 1048576 gives "1,024 KB".
namespace zim::common {

QString sizeText(uint32_t n);

// Decimal with "," between groups of three digits: 1234567 gives "1,234,567".
QString groupedNumber(uint32_t n);

} // namespace zim::common
