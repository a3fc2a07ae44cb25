// MSP430Dll: the MSP430 debug library loaded at run time, with the call set of its
// generation behind one interface. Every call returns the library's result widened to
// long long (-1 on failure) and remembers its name, so that a failure can be reported with
// the library's text, its error number and the call that failed.
#pragma once

#include "msp430/msp430dllcalls.h"
#include "platform/libraryloader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace zim::msp430 {

class MSP430Dll
{
public:
    using FirmwareCallback = void (*)(uint32_t code, uint32_t value, void *client);

    class Calls;
    MSP430Dll(std::unique_ptr<platform::LoadedLibrary> library, MSP430DllGeneration generation);
    ~MSP430Dll();
    MSP430Dll(const MSP430Dll &) = delete;
    MSP430Dll &operator=(const MSP430Dll &) = delete;

    // The files tried for path (already macro-expanded): path itself, the Linux library name
    // in the same folder when path names a ".dll", and "libmsp430.so" through the dynamic
    // loader's search; no name twice.
    static QStringList candidates(const QString &path);
    // The first candidate that loads with the whole call set of one generation. Throws
    // HException "Cannot load target driver DLL PATH." with one line per refused candidate.
    static std::unique_ptr<MSP430Dll> load(const QString &path);

    MSP430DllGeneration generation() const { return m_generation; }
    QString path() const { return m_library->path(); }
    bool hasFirmwareCalls() const;

    long long initialize(const QByteArray &port, long long &version);
    long long close(long long vccOff);
    // The older generation's MSP430_Identify; the newer one opens the device with
    // MSP430_OpenDevice and reads the record with MSP430_GetFoundDevice. record holds
    // kDeviceRecordSizeV3 bytes.
    long long identify(uint8_t *record, long long setId);
    long long device(long long index, uint8_t *buffer, long long size);
    long long configure(long long mode, long long value);
    long long vcc(long long millivolts);
    long long reset(long long method, long long execute, long long releaseJTAG);
    long long erase(long long type, uint32_t address, uint32_t length);
    long long memory(uint32_t address, uint8_t *buffer, uint32_t count, bool read);
    // registers: 16 values; mask selects the registers transferred.
    long long registers(uint32_t *registers, uint32_t mask, bool read);
    // Absent from the newer generation: -1 without a call.
    long long breakpoint(uint32_t trigger, uint32_t address);
    long long run(long long mode, long long releaseJTAG);
    long long state(long long &state, bool stop, long long &cycles);
    // The emulation-module calls of the older generation; the newer one answers -1 (not open)
    // without a call.
    long long eemOpen();
    long long eemReadRegister(uint32_t reg, uint32_t &value);
    long long eemReadRegisterTest(uint32_t reg, uint32_t &value);
    long long eemWriteRegister(uint32_t reg, uint32_t value);
    long long eemClose();
    // A library without the call reports success with no names (table left null).
    long long ccGetModuleNames(uint32_t deviceId, const char *const **table);
    // -1 without a call when the library lacks the firmware calls.
    long long getFwVersion(long long &version);
    long long fwUpdate(FirmwareCallback callback, void *client);

    // The library's text for its last failure, then " (error N in MSP430_Xxx)" naming the
    // call that returned -1.
    QString failureText() const;
    // The library's text for its last error alone.
    QString errorString() const;
    const char *lastCall() const { return m_lastCall; }

private:
    std::unique_ptr<platform::LoadedLibrary> m_library;
    MSP430DllGeneration m_generation;
    std::unique_ptr<Calls> m_calls;
    const char *m_lastCall = "";
};

} // namespace zim::msp430
