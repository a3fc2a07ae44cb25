// The two fillings of the msp430d driver table for the USB Vexlink: model 1 speaks in 64-byte
// command packets, buffered and sent in batches until a command needs its reply; model 2 in
// short commands, one bulk transfer each. Argument layouts and reply lengths are in
// docs/usb-protocol.md.
#pragma once

#include "msp430/msp430d.h"
#include "platform/usblink.h"

#include <cstdint>
#include <vector>

namespace zim::msp430 {

struct VexlinkSession
{
    // Packets of model 1 gathered into one bulk transfer; a reply or the end of a high-level
    // entry sends them sooner.
    static constexpr size_t kBatchPackets = 64;

    platform::UsbLink *link = nullptr;
    std::vector<uint8_t> pending;
    // The generic entries of the base filling, which the transport's own entries wrap.
    Msp430dDriver generic;
    uint64_t packets = 0;   // model 1 command packets sent
    uint64_t commands = 0;  // model 2 commands sent
    uint64_t replies = 0;   // replies read, either model
};

// Each fills d over the base filling (which it must already hold) and points d.handle at
// session, which must outlive the table's use.
void fillVexlinkModel1(Msp430dDriver &d, VexlinkSession &session);
void fillVexlinkModel2(Msp430dDriver &d, VexlinkSession &session);

// Model 1 pulse counts travel in 16 bits: the counts of the packets for periods TCLK periods.
std::vector<uint16_t> vexlinkPulseChunks(uint32_t periods);

} // namespace zim::msp430
