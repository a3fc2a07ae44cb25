// The msp430devices library: our device database object over the generated device table,
// handed out through the two C entry points the loader resolves at run time.
#include "msp430/msp430devicedatabase.h"

#include <string>
#include <vector>

#if defined(_WIN32)
#define MSP430DEVICES_EXPORT extern "C" __declspec(dllexport)
#else
#define MSP430DEVICES_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct DeviceRecord
{
    const char *name;
    int pattern[9];
    bool testPin, cpuX, cpuXv2, fram;
    int emulationLevel, clockControlLevel, breakpointCount;
    unsigned ramStart, ramEnd, ram2Start, ram2End;
    unsigned infoStart, infoEnd, infoSegmentSize;
    unsigned flashStart, flashEnd;
    bool extendedMemory;
    const char *clockModules; // names separated by ";"
};

const DeviceRecord kDevices[] = {
#define DEVICE(name, id0, id1, id2, id3, id8, id9, idD, fuseValue, fuseMask, testPin, cpuX, cpuXv2, fram, \
               emulation, clockControl, breakpoints, ramStart, ramEnd, ram2Start, ram2End, infoStart,        \
               infoEnd, infoSegment, flashStart, flashEnd, extended, clocks)                                 \
    {name, {id0, id1, id2, id3, id8, id9, idD, fuseValue, fuseMask}, testPin != 0, cpuX != 0, cpuXv2 != 0,   \
     fram != 0, emulation, clockControl, breakpoints, ramStart, ramEnd, ram2Start, ram2End, infoStart,       \
     infoEnd, infoSegment, flashStart, flashEnd, extended != 0, clocks},
#include "msp430devices.def"
#undef DEVICE
};

constexpr int kDeviceCount = int(sizeof kDevices / sizeof kDevices[0]);

std::vector<std::string> splitNames(const char *text)
{
    std::vector<std::string> names;
    std::string current;
    for (const char *p = text; *p; ++p) {
        if (*p == ';') {
            if (!current.empty())
                names.push_back(current);
            current.clear();
        } else {
            current += *p;
        }
    }
    if (!current.empty())
        names.push_back(current);
    return names;
}

class DeviceDatabase final : public zim::msp430::MSP430DeviceDatabase
{
public:
    DeviceDatabase() { select(0); }

    int count() const override { return kDeviceCount; }

    void identificationPattern(int index, int pattern[9]) const override
    {
        for (int i = 0; i < 9; ++i)
            pattern[i] = valid(index) ? kDevices[index].pattern[i] : -1;
        // An index out of range matches nothing: its fuse comparison can never hold.
        if (!valid(index)) {
            pattern[0] = 0x100;
            pattern[8] = 0;
        }
    }

    const char *name(int index) const override { return valid(index) ? kDevices[index].name : ""; }

    void select(int index) override
    {
        if (!valid(index))
            return;
        m_selected = &kDevices[index];
        m_clockModules = splitNames(m_selected->clockModules);
    }

    void reserved() override {}

    const char *selectedName() const override { return m_selected->name; }

    bool hasTestPin() const override { return m_selected->testPin; }
    bool hasCpuX() const override { return m_selected->cpuX; }
    bool hasCpuXv2() const override { return m_selected->cpuXv2; }
    bool hasFram() const override { return m_selected->fram; }

    int emulationLevel() const override { return m_selected->emulationLevel; }
    int clockControlLevel() const override { return m_selected->clockControlLevel; }
    int breakpointCount() const override { return m_selected->breakpointCount; }

    unsigned ramStart() const override { return m_selected->ramStart; }
    unsigned ramEnd() const override { return m_selected->ramEnd; }
    unsigned ram2Start() const override { return m_selected->ram2Start; }
    unsigned ram2End() const override { return m_selected->ram2End; }
    unsigned infoStart() const override { return m_selected->infoStart; }
    unsigned infoEnd() const override { return m_selected->infoEnd; }
    unsigned infoSegmentSize() const override { return m_selected->infoSegmentSize; }
    unsigned flashStart() const override { return m_selected->flashStart; }
    unsigned flashEnd() const override { return m_selected->flashEnd; }

    int clockModuleCount() const override { return int(m_clockModules.size()); }
    const char *clockModuleName(int index) const override
    {
        return index >= 0 && index < clockModuleCount() ? m_clockModules[size_t(index)].c_str() : "";
    }

    bool hasExtendedMemory() const override { return m_selected->extendedMemory; }

private:
    static bool valid(int index) { return index >= 0 && index < kDeviceCount; }

    const DeviceRecord *m_selected = nullptr;
    std::vector<std::string> m_clockModules;
};

} // namespace

MSP430DEVICES_EXPORT zim::msp430::MSP430DeviceDatabase *AllocateMSP430Devices()
{
    try {
        return new DeviceDatabase;
    } catch (...) {
        // No exception may cross into the caller, which may be built with another compiler.
        return nullptr;
    }
}

MSP430DEVICES_EXPORT void ReleaseMSP430Devices(zim::msp430::MSP430DeviceDatabase *devices)
{
    delete static_cast<DeviceDatabase *>(devices);
}
