// The FET's driver on a ppdev parallel port: answers each device-control request of the FET
// by driving the pins of the common FET parallel-port interface. TDI, TMS, TCK and the supply
// sit on the data register, TEST, RST and the buffer enable on the control register, TDO on
// the status register; TDI is TCLK while the TAP idles.
#pragma once

#include "msp430/fetdevice.h"
#include "msp430/msp430d.h"
#include "platform/parallelport.h"

namespace zim::msp430 {

namespace fetpins {
// Data register.
constexpr uint8_t Tdi = 0x01;
constexpr uint8_t Tms = 0x02;
constexpr uint8_t Tck = 0x04;
constexpr uint8_t Power = 0x90;
// Control register: RST is inverted by the port (bit set drives the line low); the two
// enable bits switch the FET's signal buffers on.
constexpr uint8_t Rst = 0x01;
constexpr uint8_t Enable = 0x0A;
constexpr uint8_t Test = 0x04;
// Status register.
constexpr uint8_t Tdo = 0x20;
} // namespace fetpins

class FetPortDevice : public FetDevice
{
public:
    explicit FetPortDevice(const ZimDeviceCalls &calls);

    bool request(uint32_t code, const void *in, uint32_t inSize, void *out, uint32_t outSize) override;
    int error() const override { return m_error; }
    std::string detail() const override { return m_detail; }

private:
    bool open(const void *in, void *out);
    bool failed(int error, std::string detail);
    bool portFailed();
    bool setData(uint8_t bits, bool on);
    bool setControl(uint8_t bits, bool on);

    platform::ParallelPort m_port;
    // The generic shifts and TAP reset of the msp430d base, run on this port's pins.
    Msp430dDriver m_pins;
    int m_error = 0;
    std::string m_detail;
};

} // namespace zim::msp430
