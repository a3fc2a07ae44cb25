// The parallel-port FET's device-control requests: the codes and sizes the target sends, and
// the device that answers them one at a time. FetPortDevice (fetportdevice.h) answers them on
// a ppdev port; tests put their own devices behind the target.
#pragma once

#include <cstdint>
#include <string>

namespace zim::msp430 {

namespace fetrequest {
// Input: 4-byte sharing flag and the port name (at most 10 characters and a NUL); output:
// the 4-byte port base address.
constexpr uint32_t Open = 0x9C402400;
constexpr uint32_t Close = 0x9C406404;
constexpr uint32_t SetTdi = 0x9C406408;
constexpr uint32_t SetTms = 0x9C40640C;
constexpr uint32_t SetTck = 0x9C406410;
constexpr uint32_t ReadTdo = 0x9C406414;
constexpr uint32_t SetRegulator = 0x9C406418;
constexpr uint32_t SetLine = 0x9C40641C;
constexpr uint32_t SetTclk = 0x9C406420;
constexpr uint32_t ReadTclk = 0x9C406424;
constexpr uint32_t PulseTclk = 0x9C406428;
constexpr uint32_t ShiftIr = 0x9C40642C;
constexpr uint32_t ShiftIrCapture = 0x9C406430;
constexpr uint32_t ShiftDr16 = 0x9C406434;
constexpr uint32_t ShiftDr16Capture = 0x9C406438;
constexpr uint32_t ShiftDr8 = 0x9C40643C;
constexpr uint32_t ShiftDr8Capture = 0x9C406440;
constexpr uint32_t CheckFuse = 0x9C406444;
constexpr uint32_t InitJtag = 0x9C406448;
constexpr uint32_t SetTest = 0x9C406450;

constexpr uint32_t kOpenInputSize = 15;
constexpr uint32_t kMaxPortName = 10;
} // namespace fetrequest

// The system errors a request fails with.
namespace feterror {
constexpr int FileNotFound = 2;       // the port's device node did not open
constexpr int GeneralFailure = 31;    // the port stopped answering
constexpr int InvalidParameter = 87;  // not a port, or a request of the wrong size
constexpr int Busy = 170;             // another driver or program holds the port
} // namespace feterror

class FetDevice
{
public:
    virtual ~FetDevice() = default;
    // Sends one request; false when it failed, with error() and detail() telling why.
    virtual bool request(uint32_t code, const void *in, uint32_t inSize, void *out, uint32_t outSize) = 0;
    virtual int error() const = 0;
    // What the system said, with the device node, for the failure text; may be empty.
    virtual std::string detail() const = 0;
};

} // namespace zim::msp430
