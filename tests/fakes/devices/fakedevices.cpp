// A stand-in for the msp430devices library that counts, in environment variables, how often
// it is loaded, unloaded, asked for its object and asked to free it. Built in variants that
// leave out one entry point or the other.
#include "msp430/msp430devicedatabase.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

void bump(const char *variable)
{
    const char *value = std::getenv(variable);
    char text[16];
    std::snprintf(text, sizeof text, "%d", (value ? std::atoi(value) : 0) + 1);
#if defined(_WIN32)
    _putenv_s(variable, text);
#else
    setenv(variable, text, 1);
#endif
}

struct LoadCounter
{
    LoadCounter() { bump("ZIM_FAKE_DEVICES_LOADS"); }
    ~LoadCounter() { bump("ZIM_FAKE_DEVICES_UNLOADS"); }
} loadCounter;

class FakeDevices final : public zim::msp430::MSP430DeviceDatabase
{
public:
    int count() const override { return 1; }
    void identificationPattern(int, int pattern[9]) const override
    {
        for (int i = 0; i < 9; ++i)
            pattern[i] = -1;
    }
    const char *name(int index) const override { return index == 0 ? "FAKE430" : ""; }
    void select(int) override {}
    void reserved() override {}
    const char *selectedName() const override { return "FAKE430"; }
    bool hasTestPin() const override { return false; }
    bool hasCpuX() const override { return false; }
    bool hasCpuXv2() const override { return false; }
    bool hasFram() const override { return false; }
    int emulationLevel() const override { return 1; }
    int clockControlLevel() const override { return 0; }
    int breakpointCount() const override { return 2; }
    unsigned ramStart() const override { return 0x200; }
    unsigned ramEnd() const override { return 0x2FF; }
    unsigned ram2Start() const override { return 0; }
    unsigned ram2End() const override { return 0; }
    unsigned infoStart() const override { return 0x1000; }
    unsigned infoEnd() const override { return 0x10FF; }
    unsigned infoSegmentSize() const override { return 128; }
    unsigned flashStart() const override { return 0xF000; }
    unsigned flashEnd() const override { return 0xFFFF; }
    int clockModuleCount() const override { return 0; }
    const char *clockModuleName(int) const override { return ""; }
    bool hasExtendedMemory() const override { return false; }
};

} // namespace

#ifdef FAKE_WITH_ALLOCATE
FAKE_EXPORT zim::msp430::MSP430DeviceDatabase *AllocateMSP430Devices()
{
    bump("ZIM_FAKE_DEVICES_ALLOCATIONS");
#ifdef FAKE_WITH_RELEASE
    return new FakeDevices;
#else
    // Nobody frees the object of a library without a release entry.
    static FakeDevices devices;
    return &devices;
#endif
}
#endif

#ifdef FAKE_WITH_RELEASE
FAKE_EXPORT void ReleaseMSP430Devices(zim::msp430::MSP430DeviceDatabase *devices)
{
    bump("ZIM_FAKE_DEVICES_RELEASES");
    delete static_cast<FakeDevices *>(devices);
}
#endif
