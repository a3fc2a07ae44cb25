// Register numbers and bit values of the MSP430 embedded emulation module (EEM).
#pragma once

#include <cstdint>

namespace zim::msp430::eem {

// Trigger t owns four registers from 8t on.
constexpr uint32_t kTriggerStride = 8;
constexpr uint32_t kValueOffset = 0;
constexpr uint32_t kControlOffset = 2;
constexpr uint32_t kMaskOffset = 4;
constexpr uint32_t kCombinationOffset = 6;

// Register triggers follow the ordinary ones at these trigger numbers.
constexpr uint32_t kFirstRegisterTrigger = 8;
constexpr uint32_t kRegisterTriggerCount = 2;
constexpr uint32_t kRegisterTriggerLevel = 3;
// Ranges, data triggers and register triggers need at least this emulation level.
constexpr uint32_t kComplexTriggerLevel = 2;

// Control register: comparison, indexed by the breakpoint's comparison (0 equal,
// 1 not equal, 2 less or equal, 3 greater or equal).
constexpr uint32_t kCompareEqual = 0x00;
constexpr uint32_t kCompareNotEqual = 0x18;
constexpr uint32_t kCompareLessOrEqual = 0x10;
constexpr uint32_t kCompareGreaterOrEqual = 0x08;
constexpr uint32_t kComparisonBits[] = {kCompareEqual, kCompareNotEqual, kCompareLessOrEqual,
                                        kCompareGreaterOrEqual};
// Control register: access, indexed by the breakpoint kind (0 execute, 1 data read,
// 2 data write), and the bit of a trigger that compares a data value.
constexpr uint32_t kAccessBits[] = {0x00, 0x24, 0x26};
constexpr uint32_t kDataValueBit = 0x01;
// A register trigger names the CPU register in these bits of its control register.
constexpr uint32_t kRegisterNumberMask = 0xF;
constexpr uint32_t kRegisterNumberShift = 8;
constexpr uint32_t kRegisterTriggerFullMask = 0xFFFF;

// State storage (trace).
constexpr uint32_t kStateStorageLevel = 3;
constexpr uint32_t kStateStorageCapability = 13;
constexpr uint32_t kStorageIndexRegister = 0x9A;
constexpr uint32_t kStorageWriteIndexRegister = 0x9B;
constexpr uint32_t kStorageDataRegister = 0x9D;
constexpr uint32_t kStorageControlRegister = 0x9E;
constexpr uint32_t kStorageStatusRegister = 0x9F;
constexpr uint32_t kStorageWriteIndexShift = 10;
constexpr uint32_t kStorageEntries = 8;
constexpr uint32_t kStorageWordsPerEntry = 4;
constexpr uint32_t kStorageEnableBit = 0x01;
constexpr uint32_t kStorageResetBit = 0x40;
constexpr uint32_t kStorageContinueWhenFullBit = 0x08;
constexpr uint32_t kStorageModeBits = 0x06;
constexpr uint32_t kStorageStatusHasData = 0x100;
constexpr uint32_t kStorageStatusWrapped = 0x200;

struct StorageMode
{
    uint32_t mode;
    uint32_t bits;
};
constexpr StorageMode kStorageModes[] = {{1, 0x02}, {4, 0x00}, {8, 0x06}};

} // namespace zim::msp430::eem
