// A simulated USB Vexlink: the firmware of either model carries out the commands it receives
// on the pins of a simulated JTAG MSP430, and the USB side behaves as an FTDI-style chip that
// puts two status bytes in front of every IN packet. Its command tables and JTAG sequences are
// its own, so a mistake in the program's driver shows instead of cancelling out.
#ifndef ZIM_TESTS_HWSHIM_USBADAPTER_H
#define ZIM_TESTS_HWSHIM_USBADAPTER_H

#include "fakes/jtagdevice/simjtagdevice.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace zim::hwshim {

struct UsbAdapterCounters
{
    uint64_t outTransfers = 0;
    uint64_t outPackets = 0;   // 64-byte USB packets the OUT transfers took
    uint64_t inPackets = 0;    // status-only packets included
    uint64_t commands = 0;     // model 1 command packets or model 2 commands
    uint64_t replies = 0;      // commands that were answered
    uint64_t unknown = 0;      // commands the firmware does not know
    uint64_t linkNanoseconds = 0;  // the full-speed bus time of the transfers
};

class UsbAdapter
{
public:
    UsbAdapter(int model, std::string serial, const fakes::SimJtagChip &chip);

    int model() const { return m_model; }
    const std::string &serial() const { return m_serial; }
    fakes::SimJtagDevice &chip() { return m_chip; }
    const UsbAdapterCounters &counters() const { return m_counters; }

    // One bulk OUT transfer.
    void received(const uint8_t *data, int size);
    // One bulk IN packet into buffer (at least 2 bytes): the status bytes and up to size - 2
    // bytes of pending reply; keep at most keep of them (a short reply drops the rest).
    int send(uint8_t *buffer, int size);
    // Drops all but the first half of the reply that is waiting.
    void cutReply();
    // Requests of the chip: purges, latency timer.
    void purge() { m_reply.clear(); }

private:
    void model1(const uint8_t *p);
    void model2(const uint8_t *c, int size);
    void answer16(uint16_t value);
    void answerBytes(const uint8_t *bytes, int size);

    // JTAG on the pins, as the firmware does it.
    void tck();
    void tms(bool level) { m_chip.setTms(level); }
    void tdi(bool level);
    uint32_t shift(bool instruction, uint32_t value, int bits);
    void ir(uint8_t instruction) { shift(true, instruction, 8); }
    void dr16(uint16_t value) { shift(false, value, 16); }
    uint16_t dr16Capture(uint16_t value) { return uint16_t(shift(false, value, 16)); }
    void pulses(uint32_t count);
    void initJtag();
    int checkFuse();
    void control(uint16_t word);
    void writeStep(uint32_t address, uint16_t value);
    uint16_t readStep(uint32_t address);
    void writeMemory(uint32_t address, uint16_t value, bool byte);
    uint16_t readMemory(uint32_t address, bool byte);
    uint16_t readEem(uint32_t reg);
    void writeEem(uint32_t reg, uint16_t value);
    void inject(uint16_t word);
    void flashMode(bool write);
    void erase(uint16_t mode, uint32_t address, uint32_t periods);
    void flashWords(uint32_t address, const uint8_t *words, int count);
    void flashSetup();
    void flashBlock(uint32_t address, const uint8_t *words);
    void flashLock();

    int m_model;
    std::string m_serial;
    fakes::SimJtagDevice m_chip;
    bool m_tdi = true;
    std::deque<uint8_t> m_reply;
    UsbAdapterCounters m_counters;
};

} // namespace zim::hwshim

#endif
