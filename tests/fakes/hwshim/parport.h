// The device shim's parallel-port FET: /dev/parportN answered on shadow registers whose pins
// drive a simulated JTAG MSP430, wired as the common FET parallel-port interface (data
// register: TDI 0x01, TMS 0x02, TCK 0x04, supply 0x10|0x80; control register: RST 0x01 driven
// low when set, TEST 0x04, buffer enable 0x02|0x08; status register: TDO 0x20). The pins reach
// the device only while both enable bits are set; without them TDO floats high.
//
// Settings in ZIM_FAKE_HW (key=value, separated by ';'):
//   parportN=DEVICE    a FET on /dev/parportN with DEVICE behind it (MSP430F149, MSP430F1232,
//                      MSP430F1611, MSP430F2274); /proc/sys/dev/parport/parportN/base-addr
//                      reads 888 (0x378) plus 0x100 per port number
//   fuse=blown         the JTAG fuse of every emulated device is blown (fuse=intact: not)
//   unplug-after=N     the cable is pulled after N register writes of a port: writes still
//                      succeed, the device hears nothing and TDO floats high
//   busy=parportN      another driver holds the port: an exclusive claim fails with EBUSY, a
//                      shared one blocks until a signal interrupts it (then EINTR)
//   busy-from-open=N   as busy, for every port from its N-th open on (a program that took the
//                      port while it was released)
//   sigint-after=N     the process receives SIGINT after N register writes, as from Ctrl-C
//   port-ns=N          each register access takes N ns of the virtual clock (default 1000)
//   dump=FILE          on close, the device's information and main FLASH is written to FILE as
//                      Intel hex: one record per 16-byte row that holds anything but 0xFF,
//                      from the row's first to its last such byte
//   log=FILE           (the core's) the emulation logs open, exclusive, claim, release, each
//                      FLASH erase, a close that leaves the buffers enabled (the device stays
//                      held), and on close the counts: register writes, status reads and
//                      link time of the virtual clock since the open, then the device's own
//                      counts since the start (unknown JTAG instructions and opcodes, FLASH
//                      writes and violations)
//
// Preloaded into another program (LD_PRELOAD), the shim exports open, open64, __open_2,
// __open64_2, ioctl and close: the emulated paths go to the emulation, everything else to the
// C library's own calls; ZIM_FAKE_HW is read on the first call.
#ifndef ZIM_TESTS_HWSHIM_PARPORT_H
#define ZIM_TESTS_HWSHIM_PARPORT_H

#include <cstdint>

namespace zim::hwshim::parport {

// The base address the kernel reports for /dev/parport0; each further port adds 0x100.
constexpr uint32_t kBaseAddress = 0x378;
// Virtual time of one register access unless port-ns says otherwise.
constexpr uint64_t kDefaultAccessNs = 1000;

} // namespace zim::hwshim::parport

#endif
