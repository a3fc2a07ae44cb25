// Our declarations of the MSP430 debug library's C calls, once for each generation: the
// older one passes and returns every integer as `long` (8 bytes on 64-bit Linux), the newer
// one as `int32_t`. Which generation a library is, is told by the symbols it exports.
#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

namespace zim::msp430 {

enum class MSP430DllGeneration {
    V2, // MSP430_Identify, MSP430_Breakpoint and MSP430_EEM_Open ... MSP430_EEM_Close
    V3, // MSP430_OpenDevice and MSP430_GetFoundDevice instead
};

// The function types of one generation; Int is `long` for V2 and `int32_t` for V3.
template<typename Int>
struct MSP430DllCallTypes
{
    using FirmwareCallback = void (*)(uint32_t code, uint32_t value, uint32_t extra, Int client);

    using Initialize = Int (*)(const char *port, Int *version);
    using Close = Int (*)(Int vccOff);
    using Identify = Int (*)(uint8_t *record, Int size, Int setId);
    using GetFoundDevice = Int (*)(uint8_t *record, Int size);
    using OpenDevice = Int (*)(const char *device, const char *password, Int passwordWords, Int deviceCode,
                               Int setId);
    using Device = Int (*)(Int index, uint8_t *buffer, Int size);
    using Configure = Int (*)(Int mode, Int value);
    using VCC = Int (*)(Int millivolts);
    using Reset = Int (*)(Int method, Int execute, Int releaseJTAG);
    using Erase = Int (*)(Int type, Int address, Int length);
    using Memory = Int (*)(Int address, uint8_t *buffer, Int count, Int read);
    using Registers = Int (*)(Int *registers, Int mask, Int read);
    using Breakpoint = Int (*)(Int trigger, Int address);
    using Run = Int (*)(Int mode, Int releaseJTAG);
    using State = Int (*)(Int *state, Int stop, Int *cycles);
    using EEMOpen = Int (*)();
    using EEMReadRegister = Int (*)(Int reg, Int *value);
    using EEMWriteRegister = Int (*)(Int reg, Int value);
    using EEMClose = Int (*)();
    // The table is 32 pointers to NUL-terminated names.
    using CcGetModuleNames = Int (*)(Int deviceId, const char *const **table);
    using GetFwVersion = Int (*)(Int *version);
    using FwUpdate = Int (*)(const char *file, FirmwareCallback callback, Int client);
    using ErrorNumber = Int (*)();
    using ErrorString = const char *(*)(Int number);
};

// Symbol names. A library must export the common set and the whole set of one generation.
struct MSP430DllSymbols
{
    // Both generations.
    static QList<QByteArray> common();
    static QList<QByteArray> v2Only();
    static QList<QByteArray> v3Only();
    // Used when present: the clock-module names and the firmware calls.
    static QList<QByteArray> optional();
};

// Bytes of the device record: the older generation fills 80, the newer one needs room for
// its whole device structure; the fields read lie in the first 70 bytes of both.
inline constexpr int kDeviceRecordSizeV2 = 80;
inline constexpr int kDeviceRecordSizeV3 = 184;

} // namespace zim::msp430
