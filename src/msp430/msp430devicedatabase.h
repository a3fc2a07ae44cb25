// The device database object of the msp430devices library and its two C entry points. Kept
// free of Qt so that the library builds from it alone.
#pragma once

// One device database object, created by the msp430devices library. The operations keep
// this exact order: the library is built separately and the virtual table is the interface,
// so only plain C++ types cross it. Record indexes run from 0 to count() - 1; the queries
// after select() answer for the selected record. Texts stay owned by the library and live
// as long as the object.
namespace zim::msp430 {

class MSP430DeviceDatabase
{
public:
    // Number of device records.
    virtual int count() const = 0;
    // The identification pattern of record index: pattern[0..6] are the bytes expected at
    // 0x0FF0, 0x0FF1, 0x0FF2, 0x0FF3, 0x0FF8, 0x0FF9 and 0x0FFD (-1 for any), pattern[7] the
    // fuse value (-1 when the fuses are not compared) and pattern[8] the fuse mask. An index
    // out of range gives a pattern that no device answers.
    virtual void identificationPattern(int index, int pattern[9]) const = 0;
    // The device name of record index; an empty text for an index out of range.
    virtual const char *name(int index) const = 0;
    // Makes record index the selected one; an index out of range is ignored.
    virtual void select(int index) = 0;
    // Never called; keeps the slot so that the operations after it stay in place.
    virtual void reserved() = 0;
    // The name of the selected record.
    virtual const char *selectedName() const = 0;

    // The four feature answers, sent to the JTAG driver as feature bits 1, 2, 4 and 8.
    virtual bool hasTestPin() const = 0;      // bit 1: JTAG entry goes through the TEST pin
    virtual bool hasCpuX() const = 0;         // bit 2: MSP430X CPU (20-bit registers)
    virtual bool hasCpuXv2() const = 0;       // bit 4: CPUXv2 core with its own JTAG access
    virtual bool hasFram() const = 0;         // bit 8: main memory is FRAM, not FLASH

    // 1 Low, 2 Medium, 3 High.
    virtual int emulationLevel() const = 0;
    // 0 none, 1 standard (general clock control), 2 extended (general and module).
    virtual int clockControlLevel() const = 0;
    // Number of EEM triggers.
    virtual int breakpointCount() const = 0;

    // Memory limits of the selected device: first and last address of each range.
    virtual unsigned ramStart() const = 0;
    virtual unsigned ramEnd() const = 0;
    // 0 and 0 when the device has no second RAM range.
    virtual unsigned ram2Start() const = 0;
    virtual unsigned ram2End() const = 0;
    virtual unsigned infoStart() const = 0;
    virtual unsigned infoEnd() const = 0;
    // 64 or 128 bytes.
    virtual unsigned infoSegmentSize() const = 0;
    virtual unsigned flashStart() const = 0;
    virtual unsigned flashEnd() const = 0;

    // Names of the clock-control modules (may be none).
    virtual int clockModuleCount() const = 0;
    // The name of clock module index; an empty text for an index out of range.
    virtual const char *clockModuleName(int index) const = 0;

    // True when the address space extends beyond 64 KB.
    virtual bool hasExtendedMemory() const = 0;

protected:
    // Only the library that created the object deletes it (through ReleaseMSP430Devices).
    ~MSP430DeviceDatabase() = default;
};

// The two entry points of the msp430devices library.
extern "C" {
typedef MSP430DeviceDatabase *(*AllocateMSP430DevicesFunction)();
typedef void (*ReleaseMSP430DevicesFunction)(MSP430DeviceDatabase *);
}

} // namespace zim::msp430
