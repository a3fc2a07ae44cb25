// A device-call table whose libusb entries a test scripts: one device, what each bulk IN
// packet holds, what the OUT transfers carried, the results of open, claim and the control
// requests, and a fake clock that each IN transfer advances.
#pragma once

#include "fakes/fakeclock.h"
#include "platform/devicecalls.h"

#include <deque>
#include <vector>

namespace zim::fakes {

struct FakeUsb
{
    // IN packets in order (each with its status bytes); when none is left, status-only ones.
    std::deque<std::vector<uint8_t>> packets;
    int inResult = 0;       // result of every IN transfer while nonzero
    int outResult = 0;      // result of every OUT transfer while nonzero
    int openResult = 0;
    int claimResult = 0;
    int controlResult = 0;
    unsigned msPerIn = 1;   // fake time each IN transfer takes
    FakeClock *clock = nullptr;

    int inCalls = 0;
    std::vector<std::vector<uint8_t>> outTransfers;
    std::vector<std::vector<int>> controls;  // request, value, index
    std::vector<unsigned char> clearedHalts;
    int autoDetach = -1;

    static FakeUsb *&current()
    {
        static FakeUsb *fake = nullptr;
        return fake;
    }

    ZimDeviceCalls table()
    {
        current() = this;
        ZimDeviceCalls t = {};
        t.version = ZIM_DEVICE_CALLS_VERSION;
        t.size = sizeof t;
        t.libusb_open = [](libusb_device *, libusb_device_handle **h) {
            *h = reinterpret_cast<libusb_device_handle *>(current());
            return current()->openResult;
        };
        t.libusb_close = [](libusb_device_handle *) {};
        t.libusb_set_auto_detach_kernel_driver = [](libusb_device_handle *, int on) {
            current()->autoDetach = on;
            return 0;
        };
        t.libusb_claim_interface = [](libusb_device_handle *, int) { return current()->claimResult; };
        t.libusb_release_interface = [](libusb_device_handle *, int) { return 0; };
        t.libusb_clear_halt = [](libusb_device_handle *, unsigned char endpoint) {
            current()->clearedHalts.push_back(endpoint);
            return 0;
        };
        t.libusb_control_transfer = [](libusb_device_handle *, uint8_t, uint8_t request, uint16_t value,
                                       uint16_t index, unsigned char *, uint16_t, unsigned int) {
            current()->controls.push_back({request, value, index});
            return current()->controlResult;
        };
        t.libusb_bulk_transfer = [](libusb_device_handle *, unsigned char endpoint, unsigned char *data, int length,
                                    int *transferred, unsigned int) {
            FakeUsb &f = *current();
            *transferred = 0;
            if (!(endpoint & LIBUSB_ENDPOINT_IN)) {
                if (f.outResult)
                    return f.outResult;
                f.outTransfers.emplace_back(data, data + length);
                *transferred = length;
                return 0;
            }
            ++f.inCalls;
            if (f.clock)
                f.clock->advance(f.msPerIn);
            if (f.inResult)
                return f.inResult;
            std::vector<uint8_t> packet = {0x31, 0x60};
            if (!f.packets.empty()) {
                packet = f.packets.front();
                f.packets.pop_front();
            }
            const int n = std::min<int>(length, int(packet.size()));
            std::copy_n(packet.begin(), n, data);
            *transferred = n;
            return 0;
        };
        return t;
    }

    // A packet of the status bytes and data bytes first, first + 1, ...
    static std::vector<uint8_t> dataPacket(uint8_t first, int count)
    {
        std::vector<uint8_t> p = {0x31, 0x60};
        for (int i = 0; i < count; ++i)
            p.push_back(uint8_t(first + i));
        return p;
    }
};

} // namespace zim::fakes
