// Loading the MSP430 debug library and calling it through the declarations of its generation.
#include "msp430/msp430dll.h"

#include "common/hexception.h"

#include <QFileInfo>

namespace zim::msp430 {

QList<QByteArray> MSP430DllSymbols::common()
{
    return {"MSP430_Initialize", "MSP430_Close",        "MSP430_Device",     "MSP430_Configure",
            "MSP430_VCC",        "MSP430_Reset",        "MSP430_Erase",      "MSP430_Memory",
            "MSP430_Registers",  "MSP430_Run",          "MSP430_State",      "MSP430_Error_Number",
            "MSP430_Error_String", "MSP430_Secure",     "MSP430_ReadOutFile", "MSP430_ProgramFile",
            "MSP430_VerifyFile", "MSP430_VerifyMem",    "MSP430_EraseCheck"};
}

QList<QByteArray> MSP430DllSymbols::v2Only()
{
    return {"MSP430_Identify",          "MSP430_Breakpoint",      "MSP430_EEM_Open",
            "MSP430_EEM_Read_Register", "MSP430_EEM_Read_Register_Test", "MSP430_EEM_Write_Register",
            "MSP430_EEM_Close"};
}

QList<QByteArray> MSP430DllSymbols::v3Only()
{
    return {"MSP430_OpenDevice", "MSP430_GetFoundDevice"};
}

QList<QByteArray> MSP430DllSymbols::optional()
{
    return {"MSP430_CcGetModuleNames", "MSP430_FET_GetFwVersion", "MSP430_FET_FwUpdate"};
}

// The calls as the rest of the program sees them, whatever the library's integer width.
class MSP430Dll::Calls
{
public:
    virtual ~Calls() = default;
    virtual long long initialize(const char *port, long long &version) = 0;
    virtual long long close(long long vccOff) = 0;
    virtual long long identify(uint8_t *record, long long setId, const char *&call) = 0;
    virtual long long device(long long index, uint8_t *buffer, long long size) = 0;
    virtual long long configure(long long mode, long long value) = 0;
    virtual long long vcc(long long millivolts) = 0;
    virtual long long reset(long long method, long long execute, long long release) = 0;
    virtual long long erase(long long type, long long address, long long length) = 0;
    virtual long long memory(long long address, uint8_t *buffer, long long count, long long read) = 0;
    virtual long long registers(uint32_t *registers, long long mask, long long read) = 0;
    virtual long long breakpoint(long long trigger, long long address) = 0;
    virtual long long run(long long mode, long long release) = 0;
    virtual long long state(long long &state, long long stop, long long &cycles) = 0;
    virtual long long eemOpen() = 0;
    virtual long long eemRead(long long reg, uint32_t &value, bool test) = 0;
    virtual long long eemWrite(long long reg, long long value) = 0;
    virtual long long eemClose() = 0;
    virtual long long ccGetModuleNames(long long deviceId, const char *const **table) = 0;
    virtual bool hasFirmwareCalls() const = 0;
    virtual long long getFwVersion(long long &version) = 0;
    virtual long long fwUpdate(FirmwareCallback callback, void *client) = 0;
    virtual long long errorNumber() = 0;
    virtual const char *errorString(long long number) = 0;
};

namespace {

// The update in progress: the library hands its callback only an integer of the client's
// choice, too narrow for a pointer in the newer generation, and the loader runs one update
// at a time on its one thread.
struct FirmwareUpdate
{
    MSP430Dll::FirmwareCallback callback;
    void *client;
};
thread_local const FirmwareUpdate *activeUpdate = nullptr;

template<typename Int>
class CallTable final : public MSP430Dll::Calls
{
    using T = MSP430DllCallTypes<Int>;

public:
    CallTable(const platform::LoadedLibrary &library, MSP430DllGeneration generation) : m_generation(generation)
    {
        m_initialize = library.function<typename T::Initialize>("MSP430_Initialize");
        m_close = library.function<typename T::Close>("MSP430_Close");
        m_identify = library.function<typename T::Identify>("MSP430_Identify");
        m_getFoundDevice = library.function<typename T::GetFoundDevice>("MSP430_GetFoundDevice");
        m_openDevice = library.function<typename T::OpenDevice>("MSP430_OpenDevice");
        m_device = library.function<typename T::Device>("MSP430_Device");
        m_configure = library.function<typename T::Configure>("MSP430_Configure");
        m_vcc = library.function<typename T::VCC>("MSP430_VCC");
        m_reset = library.function<typename T::Reset>("MSP430_Reset");
        m_erase = library.function<typename T::Erase>("MSP430_Erase");
        m_memory = library.function<typename T::Memory>("MSP430_Memory");
        m_registers = library.function<typename T::Registers>("MSP430_Registers");
        m_breakpoint = library.function<typename T::Breakpoint>("MSP430_Breakpoint");
        m_run = library.function<typename T::Run>("MSP430_Run");
        m_state = library.function<typename T::State>("MSP430_State");
        m_eemOpen = library.function<typename T::EEMOpen>("MSP430_EEM_Open");
        m_eemRead = library.function<typename T::EEMReadRegister>("MSP430_EEM_Read_Register");
        m_eemReadTest = library.function<typename T::EEMReadRegister>("MSP430_EEM_Read_Register_Test");
        m_eemWrite = library.function<typename T::EEMWriteRegister>("MSP430_EEM_Write_Register");
        m_eemClose = library.function<typename T::EEMClose>("MSP430_EEM_Close");
        m_ccGetModuleNames = library.function<typename T::CcGetModuleNames>("MSP430_CcGetModuleNames");
        m_getFwVersion = library.function<typename T::GetFwVersion>("MSP430_FET_GetFwVersion");
        m_fwUpdate = library.function<typename T::FwUpdate>("MSP430_FET_FwUpdate");
        m_errorNumber = library.function<typename T::ErrorNumber>("MSP430_Error_Number");
        m_errorString = library.function<typename T::ErrorString>("MSP430_Error_String");
    }

    long long initialize(const char *port, long long &version) override
    {
        Int v = 0;
        const Int result = m_initialize(port, &v);
        version = v;
        return result;
    }
    long long close(long long vccOff) override { return m_close(Int(vccOff)); }
    long long identify(uint8_t *record, long long setId, const char *&call) override
    {
        if (m_generation == MSP430DllGeneration::V2) {
            call = "MSP430_Identify";
            return m_identify(record, Int(kDeviceRecordSizeV2), Int(setId));
        }
        call = "MSP430_OpenDevice";
        if (m_openDevice("DEVICE_UNKNOWN", "", 0, 0, Int(setId)) == -1)
            return -1;
        call = "MSP430_GetFoundDevice";
        return m_getFoundDevice(record, Int(kDeviceRecordSizeV3));
    }
    long long device(long long index, uint8_t *buffer, long long size) override
    {
        return m_device(Int(index), buffer, Int(size));
    }
    long long configure(long long mode, long long value) override { return m_configure(Int(mode), Int(value)); }
    long long vcc(long long millivolts) override { return m_vcc(Int(millivolts)); }
    long long reset(long long method, long long execute, long long release) override
    {
        return m_reset(Int(method), Int(execute), Int(release));
    }
    long long erase(long long type, long long address, long long length) override
    {
        return m_erase(Int(type), Int(address), Int(length));
    }
    long long memory(long long address, uint8_t *buffer, long long count, long long read) override
    {
        return m_memory(Int(address), buffer, Int(count), Int(read));
    }
    long long registers(uint32_t *registers, long long mask, long long read) override
    {
        Int values[16];
        for (int i = 0; i < 16; ++i)
            values[i] = Int(registers[i]);
        const Int result = m_registers(values, Int(mask), Int(read));
        if (read && result != -1)
            for (int i = 0; i < 16; ++i)
                if (mask & (1LL << i))
                    registers[i] = uint32_t(values[i]);
        return result;
    }
    long long breakpoint(long long trigger, long long address) override
    {
        return m_breakpoint ? m_breakpoint(Int(trigger), Int(address)) : -1;
    }
    long long run(long long mode, long long release) override { return m_run(Int(mode), Int(release)); }
    long long state(long long &state, long long stop, long long &cycles) override
    {
        Int s = 0;
        Int c = 0;
        const Int result = m_state(&s, Int(stop), &c);
        state = s;
        cycles = c;
        return result;
    }
    long long eemOpen() override { return m_eemOpen ? m_eemOpen() : -1; }
    long long eemRead(long long reg, uint32_t &value, bool test) override
    {
        const auto read = test ? m_eemReadTest : m_eemRead;
        if (!read)
            return -1;
        Int v = 0;
        const Int result = read(Int(reg), &v);
        value = uint32_t(v);
        return result;
    }
    long long eemWrite(long long reg, long long value) override
    {
        return m_eemWrite ? m_eemWrite(Int(reg), Int(value)) : -1;
    }
    long long eemClose() override { return m_eemClose ? m_eemClose() : -1; }
    long long ccGetModuleNames(long long deviceId, const char *const **table) override
    {
        if (!m_ccGetModuleNames) {
            *table = nullptr;
            return 0;
        }
        return m_ccGetModuleNames(Int(deviceId), table);
    }
    bool hasFirmwareCalls() const override { return m_getFwVersion && m_fwUpdate; }
    long long getFwVersion(long long &version) override
    {
        if (!m_getFwVersion)
            return -1;
        Int v = 0;
        const Int result = m_getFwVersion(&v);
        version = v;
        return result;
    }
    long long fwUpdate(MSP430Dll::FirmwareCallback callback, void *client) override
    {
        if (!m_fwUpdate)
            return -1;
        const FirmwareUpdate update{callback, client};
        activeUpdate = &update;
        const Int result = m_fwUpdate(nullptr, &CallTable::firmwareProgress, 0);
        activeUpdate = nullptr;
        return result;
    }
    long long errorNumber() override { return m_errorNumber(); }
    const char *errorString(long long number) override { return m_errorString(Int(number)); }

private:
    static void firmwareProgress(uint32_t code, uint32_t value, uint32_t extra, Int client)
    {
        Q_UNUSED(extra);
        Q_UNUSED(client);
        if (activeUpdate)
            activeUpdate->callback(code, value, activeUpdate->client);
    }

    MSP430DllGeneration m_generation;
    typename T::Initialize m_initialize;
    typename T::Close m_close;
    typename T::Identify m_identify;
    typename T::GetFoundDevice m_getFoundDevice;
    typename T::OpenDevice m_openDevice;
    typename T::Device m_device;
    typename T::Configure m_configure;
    typename T::VCC m_vcc;
    typename T::Reset m_reset;
    typename T::Erase m_erase;
    typename T::Memory m_memory;
    typename T::Registers m_registers;
    typename T::Breakpoint m_breakpoint;
    typename T::Run m_run;
    typename T::State m_state;
    typename T::EEMOpen m_eemOpen;
    typename T::EEMReadRegister m_eemRead;
    typename T::EEMReadRegister m_eemReadTest;
    typename T::EEMWriteRegister m_eemWrite;
    typename T::EEMClose m_eemClose;
    typename T::CcGetModuleNames m_ccGetModuleNames;
    typename T::GetFwVersion m_getFwVersion;
    typename T::FwUpdate m_fwUpdate;
    typename T::ErrorNumber m_errorNumber;
    typename T::ErrorString m_errorString;
};

QStringList missingSymbols(const platform::LoadedLibrary &library, const QList<QByteArray> &names)
{
    QStringList missing;
    for (const QByteArray &name : names)
        if (!library.symbol(name))
            missing.append(QString::fromLatin1(name));
    return missing;
}

} // namespace

MSP430Dll::MSP430Dll(std::unique_ptr<platform::LoadedLibrary> library, MSP430DllGeneration generation)
    : m_library(std::move(library)), m_generation(generation)
{
    if (generation == MSP430DllGeneration::V2)
        m_calls = std::make_unique<CallTable<long>>(*m_library, generation);
    else
        m_calls = std::make_unique<CallTable<int32_t>>(*m_library, generation);
}

MSP430Dll::~MSP430Dll() = default;

QStringList MSP430Dll::candidates(const QString &path)
{
    QStringList list{path};
    if (path.endsWith(QLatin1String(".dll"), Qt::CaseInsensitive)) {
        const QFileInfo info(path);
        const QString dir = path.contains(QLatin1Char('/')) ? info.path() + QLatin1Char('/') : QString();
        const QString linuxName = dir + QStringLiteral("lib") + info.completeBaseName().toLower() + QStringLiteral(".so");
        if (!list.contains(linuxName))
            list.append(linuxName);
    }
    if (!list.contains(QStringLiteral("libmsp430.so")))
        list.append(QStringLiteral("libmsp430.so"));
    return list;
}

std::unique_ptr<MSP430Dll> MSP430Dll::load(const QString &path)
{
    platform::LibrarySymbols symbols{MSP430DllSymbols::common(),
                                     MSP430DllSymbols::v2Only() + MSP430DllSymbols::v3Only()
                                         + MSP430DllSymbols::optional()};
    // TI's library is often installed with its companions (hidapi, say) beside it.
    symbols.searchOwnFolder = true;
    QList<platform::LibraryLoadFailure> failures;
    for (const QString &candidate : candidates(path)) {
        platform::LibraryLoadResult result = platform::loadLibrary({candidate}, symbols);
        if (!result.library) {
            failures += result.failures;
            continue;
        }
        const QStringList missingV2 = missingSymbols(*result.library, MSP430DllSymbols::v2Only());
        if (missingV2.isEmpty())
            return std::make_unique<MSP430Dll>(std::move(result.library), MSP430DllGeneration::V2);
        const QStringList missingV3 = missingSymbols(*result.library, MSP430DllSymbols::v3Only());
        if (missingV3.isEmpty())
            return std::make_unique<MSP430Dll>(std::move(result.library), MSP430DllGeneration::V3);
        failures.append({candidate, QStringLiteral("missing symbols: ") + missingV2.join(QStringLiteral(", "))
                                        + QStringLiteral(" (or, for the newer call set, ")
                                        + missingV3.join(QStringLiteral(", ")) + QLatin1Char(')')});
    }
    QString text = QStringLiteral("Cannot load target driver DLL ") + path + QLatin1Char('.');
    for (const platform::LibraryLoadFailure &failure : failures)
        text += QLatin1Char('\n') + failure.text();
    throw common::HException(text);
}

bool MSP430Dll::hasFirmwareCalls() const { return m_calls->hasFirmwareCalls(); }

long long MSP430Dll::initialize(const QByteArray &port, long long &version)
{
    m_lastCall = "MSP430_Initialize";
    return m_calls->initialize(port.constData(), version);
}

long long MSP430Dll::close(long long vccOff)
{
    m_lastCall = "MSP430_Close";
    return m_calls->close(vccOff);
}

long long MSP430Dll::identify(uint8_t *record, long long setId)
{
    return m_calls->identify(record, setId, m_lastCall);
}

long long MSP430Dll::device(long long index, uint8_t *buffer, long long size)
{
    m_lastCall = "MSP430_Device";
    return m_calls->device(index, buffer, size);
}

long long MSP430Dll::configure(long long mode, long long value)
{
    m_lastCall = "MSP430_Configure";
    return m_calls->configure(mode, value);
}

long long MSP430Dll::vcc(long long millivolts)
{
    m_lastCall = "MSP430_VCC";
    return m_calls->vcc(millivolts);
}

long long MSP430Dll::reset(long long method, long long execute, long long releaseJTAG)
{
    m_lastCall = "MSP430_Reset";
    return m_calls->reset(method, execute, releaseJTAG);
}

long long MSP430Dll::erase(long long type, uint32_t address, uint32_t length)
{
    m_lastCall = "MSP430_Erase";
    return m_calls->erase(type, address, length);
}

long long MSP430Dll::memory(uint32_t address, uint8_t *buffer, uint32_t count, bool read)
{
    m_lastCall = "MSP430_Memory";
    return m_calls->memory(address, buffer, count, read ? 1 : 0);
}

long long MSP430Dll::registers(uint32_t *registers, uint32_t mask, bool read)
{
    m_lastCall = "MSP430_Registers";
    return m_calls->registers(registers, mask, read ? 1 : 0);
}

long long MSP430Dll::breakpoint(uint32_t trigger, uint32_t address)
{
    m_lastCall = "MSP430_Breakpoint";
    return m_calls->breakpoint(trigger, address);
}

long long MSP430Dll::run(long long mode, long long releaseJTAG)
{
    m_lastCall = "MSP430_Run";
    return m_calls->run(mode, releaseJTAG);
}

long long MSP430Dll::state(long long &state, bool stop, long long &cycles)
{
    m_lastCall = "MSP430_State";
    return m_calls->state(state, stop ? 1 : 0, cycles);
}

long long MSP430Dll::eemOpen()
{
    m_lastCall = "MSP430_EEM_Open";
    return m_calls->eemOpen();
}

long long MSP430Dll::eemReadRegister(uint32_t reg, uint32_t &value)
{
    m_lastCall = "MSP430_EEM_Read_Register";
    return m_calls->eemRead(reg, value, false);
}

long long MSP430Dll::eemReadRegisterTest(uint32_t reg, uint32_t &value)
{
    m_lastCall = "MSP430_EEM_Read_Register_Test";
    return m_calls->eemRead(reg, value, true);
}

long long MSP430Dll::eemWriteRegister(uint32_t reg, uint32_t value)
{
    m_lastCall = "MSP430_EEM_Write_Register";
    return m_calls->eemWrite(reg, value);
}

long long MSP430Dll::eemClose()
{
    m_lastCall = "MSP430_EEM_Close";
    return m_calls->eemClose();
}

long long MSP430Dll::ccGetModuleNames(uint32_t deviceId, const char *const **table)
{
    m_lastCall = "MSP430_CcGetModuleNames";
    return m_calls->ccGetModuleNames(deviceId, table);
}

long long MSP430Dll::getFwVersion(long long &version)
{
    m_lastCall = "MSP430_FET_GetFwVersion";
    return m_calls->getFwVersion(version);
}

long long MSP430Dll::fwUpdate(FirmwareCallback callback, void *client)
{
    m_lastCall = "MSP430_FET_FwUpdate";
    return m_calls->fwUpdate(callback, client);
}

QString MSP430Dll::errorString() const
{
    const char *text = m_calls->errorString(m_calls->errorNumber());
    return text ? QString::fromLocal8Bit(text) : QString();
}

QString MSP430Dll::failureText() const
{
    const long long number = m_calls->errorNumber();
    const char *text = m_calls->errorString(number);
    return (text ? QString::fromLocal8Bit(text) : QString()) + QStringLiteral(" (error %1 in %2)").arg(number).arg(
               QLatin1String(m_lastCall));
}

} // namespace zim::msp430
