// The simulated Vexlink's firmware: model 1's 64-byte command packets, model 2's short
// commands, and the JTAG sequences both carry out on the simulated MSP430's pins.
#include "usbadapter.h"

#include <algorithm>
#include <cstring>

namespace zim::hwshim {

namespace {

// Full speed moves at most 19 bulk packets of 64 bytes in each 1 ms frame; a reply waits for
// the chip's latency timer of 1 ms.
constexpr uint64_t kPacketNanoseconds = 1000000 / 19;
constexpr uint64_t kLatencyNanoseconds = 1000000;
constexpr int kPacket = 64;

// The firmware's own constants.
constexpr uint16_t kFctl1 = 0x0128, kFctl2 = 0x012A, kFctl3 = 0x012C;
constexpr uint32_t kEraseAllPeriods = 201400;
constexpr uint32_t kWordPeriods = 35, kBlockWordPeriods = 30, kBlockLastPeriods = 21, kBlockLockPeriods = 6;

uint16_t get16(const uint8_t *at) { return uint16_t((at[0] << 8) | at[1]); }


} // namespace

UsbAdapter::UsbAdapter(int model, std::string serial, const fakes::SimJtagChip &chip)
    : m_model(model), m_serial(std::move(serial)), m_chip(chip)
{
}

void UsbAdapter::received(const uint8_t *data, int size)
{
    ++m_counters.outTransfers;
    const uint64_t packets = uint64_t(std::max(1, (size + kPacket - 1) / kPacket));
    m_counters.outPackets += packets;
    m_counters.linkNanoseconds += packets * kPacketNanoseconds;
    if (m_model == 1) {
        for (int at = 0; at + kPacket <= size; at += kPacket)
            model1(data + at);
    } else if (size > 0) {
        model2(data, size);
    }
}

int UsbAdapter::send(uint8_t *buffer, int size)
{
    ++m_counters.inPackets;
    m_counters.linkNanoseconds += m_reply.empty() ? kLatencyNanoseconds : kPacketNanoseconds;
    buffer[0] = 0x31;  // modem status: clear to send, data set ready
    buffer[1] = 0x60;  // line status: transmitter empty
    int n = 2;
    while (n < size && !m_reply.empty()) {
        buffer[n++] = m_reply.front();
        m_reply.pop_front();
    }
    return n;
}

void UsbAdapter::cutReply()
{
    m_reply.resize(m_reply.size() / 2);
}

void UsbAdapter::answer16(uint16_t value)
{
    uint8_t reply[kPacket] = {uint8_t(value >> 8), uint8_t(value)};
    answerBytes(reply, m_model == 1 ? kPacket : 2);
}

void UsbAdapter::answerBytes(const uint8_t *bytes, int size)
{
    ++m_counters.replies;
    m_reply.insert(m_reply.end(), bytes, bytes + size);
}

void UsbAdapter::model1(const uint8_t *p)
{
    ++m_counters.commands;
    uint8_t reply[kPacket] = {};
    const uint32_t address = get16(p + 1);
    switch (p[0]) {
    case 0x01: // open
    case 0x02: // close
    case 0x07: // set line
    case 0x08: // status
    case 0x2A: // features
        break;
    case 0x04:
        erase(0xA506, 0x1000, kEraseAllPeriods);
        break;
    case 0x05:
    case 0x06:
        m_chip.setPower(p[0] == 0x05);
        break;
    case 0x0A:
        answer16(m_chip.powered() ? 3300 : 0);
        break;
    case 0x0D:
        if (p[1] != 0xFF)
            m_chip.setTest(p[1]);
        if (p[2] != 0xFF)
            m_chip.setRst(p[2]);
        if (p[3] != 0xFF)
            tms(p[3]);
        if (p[4] != 0xFF)
            m_chip.setTck(p[4]);
        if (p[5] != 0xFF)
            tdi(p[5]);
        break;
    case 0x10:
        pulses(get16(p + 1));
        break;
    case 0x11:
        initJtag();
        break;
    case 0x12:
        answer16(uint16_t(checkFuse()));
        break;
    case 0x16:
        for (int i = 0; i < p[3] && i < 31; ++i) {
            const uint16_t v = readEem(address + 2 * uint32_t(i));
            reply[2 * i] = uint8_t(v >> 8);
            reply[2 * i + 1] = uint8_t(v);
        }
        answerBytes(reply, kPacket);
        break;
    case 0x17:
        ir(0x41);
        for (int n = 15; n >= 0; --n) {
            if (n == 3)
                continue;
            inject(uint16_t(0x4030 | n));
            inject(get16(p + 2 + 3 * n));
        }
        answer16(1);
        break;
    case 0x1A:
    case 0x1B: {
        const uint32_t v = shift(true, p[1], 8);
        if (p[0] == 0x1B)
            answer16(uint16_t(v));
        break;
    }
    case 0x1C:
    case 0x1D: {
        const uint32_t v = shift(false, address, 16);
        if (p[0] == 0x1D)
            answer16(uint16_t(v));
        break;
    }
    case 0x1E:
    case 0x1F: {
        const uint32_t v = shift(false, p[1], 8);
        if (p[0] == 0x1F)
            answer16(uint16_t(v));
        break;
    }
    case 0x20:
        control(0x2418);
        for (int i = 0; i < p[3] && i < 60; ++i)
            writeStep(address + uint32_t(i), p[4 + i]);
        break;
    case 0x21:
        control(0x2408);
        for (int i = 0; i < p[3] && i < 30; ++i)
            writeStep(address + 2 * uint32_t(i), get16(p + 4 + 2 * i));
        break;
    case 0x22:
        control(0x2419);
        for (int i = 0; i < p[3] && i < kPacket; ++i)
            reply[i] = uint8_t(readStep(address + uint32_t(i)));
        answerBytes(reply, kPacket);
        break;
    case 0x23:
        control(0x2409);
        for (int i = 0; i < p[3] && i < kPacket / 2; ++i) {
            const uint16_t v = readStep(address + 2 * uint32_t(i));
            reply[2 * i] = uint8_t(v >> 8);
            reply[2 * i + 1] = uint8_t(v);
        }
        answerBytes(reply, kPacket);
        break;
    case 0x25:
        writeEem(address, uint16_t((readEem(address) & get16(p + 3)) | get16(p + 5)));
        break;
    case 0x26:
        answer16(readMemory(address, false));
        break;
    case 0x27:
        writeMemory(address, get16(p + 3), false);
        break;
    default:
        ++m_counters.unknown;
        break;
    }
}

void UsbAdapter::model2(const uint8_t *c, int size)
{
    ++m_counters.commands;
    uint8_t arg[260] = {};
    std::memcpy(arg, c + 1, size_t(std::min(size - 1, int(sizeof arg))));
    const uint32_t address = get16(arg);
    auto answerByte = [this](uint8_t v) { answerBytes(&v, 1); };
    switch (c[0]) {
    case 0x10: // open
    case 0x11: // close
    case 0x13: // features
    case 0x1C: // set line
        break;
    case 0x14:
    case 0x17:
        tdi(arg[0]);
        break;
    case 0x15:
        tms(arg[0]);
        break;
    case 0x16:
        m_chip.setTck(arg[0]);
        break;
    case 0x19:
        answerByte(m_chip.readTdo() ? 1 : 0);
        break;
    case 0x1A:
        answerByte(m_tdi ? 1 : 0);
        break;
    case 0x1D:
        m_chip.setPower(arg[0] != 0);
        break;
    case 0x1E:
        pulses(get16(arg));
        break;
    case 0x20:
        initJtag();
        break;
    case 0x21:
        answerByte(uint8_t(checkFuse()));
        break;
    case 0x22:
    case 0x23: {
        const uint32_t v = shift(true, arg[0], 8);
        if (c[0] == 0x23)
            answerByte(uint8_t(v));
        break;
    }
    case 0x24:
    case 0x25: {
        const uint32_t v = shift(false, arg[0], 8);
        if (c[0] == 0x25)
            answerByte(uint8_t(v));
        break;
    }
    case 0x26:
    case 0x27: {
        const uint32_t v = shift(false, get16(arg), 16);
        if (c[0] == 0x27)
            answer16(uint16_t(v));
        break;
    }
    case 0x31:
        writeEem(address, uint16_t((readEem(address) & get16(arg + 2)) | get16(arg + 4)));
        break;
    case 0x32:
        answer16(readMemory(address, false));
        break;
    case 0x33:
        writeMemory(address, get16(arg + 2), false);
        break;
    case 0x34: {
        uint8_t out[256];
        control(0x2419);
        for (int i = 0; i < arg[2]; ++i)
            out[i] = uint8_t(readStep(address + uint32_t(i)));
        answerBytes(out, arg[2]);
        break;
    }
    case 0x35:
        control(0x2418);
        for (int i = 0; i < arg[2]; ++i)
            writeStep(address + uint32_t(i), arg[3 + i]);
        break;
    case 0x36: {
        uint8_t out[512];
        control(0x2409);
        for (int i = 0; i < arg[2]; ++i) {
            const uint16_t v = readStep(address + 2 * uint32_t(i));
            out[2 * i] = uint8_t(v >> 8);
            out[2 * i + 1] = uint8_t(v);
        }
        answerBytes(out, 2 * arg[2]);
        break;
    }
    case 0x37:
        control(0x2408);
        for (int i = 0; i < arg[2] && 3 + 2 * i + 1 < int(sizeof arg); ++i)
            writeStep(address + 2 * uint32_t(i), get16(arg + 3 + 2 * i));
        break;
    case 0x38:
        erase(get16(arg), get16(arg + 2), uint32_t(get16(arg + 4)) << 16 | get16(arg + 6));
        answerByte(1);
        break;
    case 0x39:
        flashWords(address, arg + 3, arg[2]);
        break;
    case 0x3B:
        flashSetup();
        break;
    case 0x3C:
        flashBlock(address, arg + 2);
        break;
    case 0x3D:
        flashLock();
        break;
    default:
        ++m_counters.unknown;
        break;
    }
}

void UsbAdapter::tck()
{
    m_chip.setTck(false);
    m_chip.setTck(true);
}

void UsbAdapter::tdi(bool level)
{
    m_tdi = level;
    m_chip.setTdi(level);
}

uint32_t UsbAdapter::shift(bool instruction, uint32_t value, int bits)
{
    const bool tclk = m_tdi;
    tms(true);
    tck();
    if (instruction)
        tck();
    tms(false);
    tck();
    tck();
    uint32_t in = 0;
    for (int i = 0; i < bits; ++i) {
        const int bit = instruction ? i : bits - 1 - i;
        m_chip.setTdi((value >> bit) & 1);
        if (i == bits - 1)
            tms(true);
        tck();
        // The chip presents each bit on the falling edge and holds it past the rising one;
        // captures come out most significant bit first.
        in |= uint32_t(m_chip.readTdo()) << (bits - 1 - i);
    }
    tdi(tclk);
    tck();
    tms(false);
    tck();
    return in;
}

void UsbAdapter::pulses(uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        m_chip.setTdi(false);
        m_chip.setTdi(true);
    }
    m_tdi = true;
}

void UsbAdapter::initJtag()
{
    m_chip.setTest(true);
    m_chip.setRst(true);
    m_chip.setTck(true);
    tms(true);
    tdi(true);
    for (int i = 0; i < 6; ++i)
        tck();
    tms(false);
    tck();
}

int UsbAdapter::checkFuse()
{
    for (int i = 0; i < 3; ++i) {
        ir(0x14);
        if (dr16Capture(0xAAAA) != 0x5555)
            return 0;
    }
    return 1;
}

void UsbAdapter::control(uint16_t word)
{
    ir(0x13);
    dr16(word);
}

void UsbAdapter::writeStep(uint32_t address, uint16_t value)
{
    tdi(false);
    ir(0x83);
    dr16(uint16_t(address));
    ir(0x85);
    dr16(value);
    tdi(true);
}

uint16_t UsbAdapter::readStep(uint32_t address)
{
    tdi(false);
    ir(0x83);
    dr16(uint16_t(address));
    ir(0x85);
    tdi(true);
    return dr16Capture(0);
}

void UsbAdapter::writeMemory(uint32_t address, uint16_t value, bool byte)
{
    control(byte ? 0x2418 : 0x2408);
    writeStep(address, value);
}

uint16_t UsbAdapter::readMemory(uint32_t address, bool byte)
{
    control(byte ? 0x2419 : 0x2409);
    const uint16_t v = readStep(address);
    return byte ? uint16_t(v & 0xFF) : v;
}

uint16_t UsbAdapter::readEem(uint32_t reg)
{
    ir(0x09);
    dr16(uint16_t(reg | 1));
    return dr16Capture(0);
}

void UsbAdapter::writeEem(uint32_t reg, uint16_t value)
{
    ir(0x09);
    dr16(uint16_t(reg & ~1u));
    dr16(value);
}

void UsbAdapter::inject(uint16_t word)
{
    tdi(false);
    dr16(word);
    tdi(true);
}

void UsbAdapter::flashMode(bool write)
{
    ir(0x12);
    shift(false, write ? 0x08 : 0x09, 8);
}

void UsbAdapter::erase(uint16_t mode, uint32_t address, uint32_t periods)
{
    flashMode(true);
    writeStep(kFctl2, 0xA540);
    writeStep(kFctl3, 0xA500);
    writeStep(kFctl1, mode);
    writeStep(address, 0x55AA);
    control(0x2409);
    pulses(periods);
    flashMode(true);
    writeStep(kFctl1, 0xA500);
    writeStep(kFctl3, 0xA510);
}

void UsbAdapter::flashWords(uint32_t address, const uint8_t *words, int count)
{
    flashMode(true);
    writeStep(kFctl1, 0xA540);
    writeStep(kFctl2, 0xA540);
    writeStep(kFctl3, 0xA500);
    for (int i = 0; i < count; ++i) {
        writeStep(address + 2 * uint32_t(i), get16(words + 2 * i));
        flashMode(false);
        pulses(kWordPeriods);
        flashMode(true);
    }
    writeStep(kFctl1, 0xA500);
    writeStep(kFctl3, 0xA510);
}

void UsbAdapter::flashSetup()
{
    flashMode(true);
    writeStep(kFctl2, 0xA540);
    writeStep(kFctl3, 0xA500);
}

void UsbAdapter::flashBlock(uint32_t address, const uint8_t *words)
{
    writeStep(kFctl1, 0xA5C0);
    for (int i = 0; i < 32; ++i) {
        writeStep(address + 2 * uint32_t(i), get16(words + 2 * i));
        pulses(i == 31 ? kBlockLastPeriods : kBlockWordPeriods);
    }
    writeStep(kFctl1, 0xA500);
    pulses(kBlockLockPeriods);
}

void UsbAdapter::flashLock()
{
    writeStep(kFctl3, 0xA510);
}

} // namespace zim::hwshim
