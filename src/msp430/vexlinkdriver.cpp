// The Vexlink fillings of the msp430d driver table: model 1's command packets and model 2's
// short commands over the adapter's bulk data link.
#include "msp430/vexlinkdriver.h"

#include <algorithm>
#include <array>

namespace zim::msp430 {

namespace {

using D = Msp430dDriver;
using Packet = std::array<uint8_t, platform::UsbLink::kPacketSize>;

VexlinkSession &session(D *d) { return *static_cast<VexlinkSession *>(d->handle); }

int linkFailed(D *d)
{
    d->lastError = session(d).link->error().toStdString();
    d->deviceGone = session(d).link->isGone();
    return 0;
}

void put16(uint8_t *at, uint32_t value)
{
    at[0] = uint8_t(value >> 8);
    at[1] = uint8_t(value);
}

uint16_t get16(const uint8_t *at) { return uint16_t((at[0] << 8) | at[1]); }

// ---- Model 1: 64-byte packets, buffered until a reply is needed or a batch is full.

enum : uint8_t {
    M1Open = 0x01,
    M1Close = 0x02,
    M1EraseAll = 0x04,
    M1RegulatorOn = 0x05,
    M1RegulatorOff = 0x06,
    M1SetLine = 0x07,
    M1SetStatus = 0x08,
    M1ReadVoltage = 0x0A,
    M1SetSignals = 0x0D,
    M1PulseTclk = 0x10,
    M1InitJtag = 0x11,
    M1CheckFuse = 0x12,
    M1ReadEem = 0x16,
    M1WriteRegisters = 0x17,
    M1ShiftIr = 0x1A,
    M1ShiftIrCapture = 0x1B,
    M1ShiftDr16 = 0x1C,
    M1ShiftDr16Capture = 0x1D,
    M1ShiftDr8 = 0x1E,
    M1ShiftDr8Capture = 0x1F,
    M1WriteBytes = 0x20,
    M1WriteWords = 0x21,
    M1ReadBytes = 0x22,
    M1ReadWords = 0x23,
    M1ModifyEem = 0x25,
    M1ReadWord = 0x26,
    M1WriteWord = 0x27,
    M1SetFeatures = 0x2A,
};

// Signal bytes of the set-signals packet, in packet order; 0xFF leaves a signal as it is.
enum Signal { SigTest = 1, SigRst, SigTms, SigTck, SigTdi };
constexpr uint8_t kUnchanged = 0xFF;
constexpr uint32_t kM1BytesPerWrite = 60;
constexpr uint32_t kM1ReadChunk = 64;
constexpr uint32_t kM1EemPerRead = 31;

int flush(D *d)
{
    VexlinkSession &s = session(d);
    if (s.pending.empty())
        return 1;
    const int size = int(s.pending.size());
    const int written = s.link->write(s.pending.data(), size);
    s.pending.clear();
    if (written < 0)
        return linkFailed(d);
    if (written != size) {
        d->lastError = "write timed out";
        return 0;
    }
    return 1;
}

int send(D *d, const Packet &packet)
{
    VexlinkSession &s = session(d);
    s.pending.insert(s.pending.end(), packet.begin(), packet.end());
    ++s.packets;
    if (s.pending.size() >= VexlinkSession::kBatchPackets * packet.size())
        return flush(d);
    return 1;
}

Packet packet(uint8_t code)
{
    Packet p{};
    p[0] = code;
    return p;
}

// Sends the packet with everything before it and reads its 64-byte reply.
bool ask(D *d, const Packet &p, Packet &reply)
{
    VexlinkSession &s = session(d);
    if (!send(d, p) || !flush(d))
        return false;
    const int got = s.link->read(reply.data(), int(reply.size()));
    if (got < 0)
        return linkFailed(d) != 0;
    ++s.replies;
    if (got != int(reply.size())) {
        d->lastError = "read timed out";
        return false;
    }
    return true;
}

int32_t ask16(D *d, const Packet &p)
{
    Packet reply{};
    return ask(d, p, reply) ? get16(reply.data()) : -1;
}

int signal(D *d, Signal which, int level)
{
    Packet p = packet(M1SetSignals);
    std::fill(p.begin() + 1, p.begin() + 6, kUnchanged);
    p[which] = uint8_t(level ? 1 : 0);
    return send(d, p);
}

int simple(D *d, uint8_t code, int arg = -1)
{
    Packet p = packet(code);
    if (arg >= 0)
        p[1] = uint8_t(arg);
    return send(d, p);
}

// High-level entries of the base filling end with the batch sent, so a failure of the link is
// the failure of the entry that caused it.
#define M1_FLUSHED(entry, params, args)                    \
    [] params {                                             \
        auto result = session(d).generic.entry args;       \
        return flush(d) ? result : decltype(result)(0);     \
    }

void fillModel1(D &t)
{
    t.open = [](D *d, const char *, uint32_t) {
        Packet reset = packet(M1SetSignals);
        reset[SigTest] = 0, reset[SigRst] = 1, reset[SigTms] = 1, reset[SigTck] = 1, reset[SigTdi] = 1;
        return int(simple(d, M1Open, 1) && send(d, reset) && flush(d));
    };
    // Closing gives up the link too: a release of the JTAG signals reopens it.
    t.close = [](D *d) {
        const int sent = simple(d, M1SetStatus, 0) && simple(d, M1Close) && flush(d);
        session(d).link->close();
        return sent;
    };
    t.setRegulator = [](D *d, int on) { return int(simple(d, on ? M1RegulatorOn : M1RegulatorOff) && flush(d)); };
    t.setLine = [](D *d, int level) { return int(simple(d, M1SetLine, level) && flush(d)); };
    t.readTargetVoltage = [](D *d) {
        const int32_t mv = ask16(d, packet(M1ReadVoltage));
        return mv < 0 ? 0 : int(mv);
    };
    t.setTest = [](D *d, int level) { return signal(d, SigTest, level); };
    t.setRst = [](D *d, int level) { return signal(d, SigRst, level); };
    t.setTms = [](D *d, int level) { return signal(d, SigTms, level); };
    t.setTck = [](D *d, int level) { return signal(d, SigTck, level); };
    t.setTdi = [](D *d, int level) { return signal(d, SigTdi, level); };
    // While the TAP idles TDI is the target's TCLK.
    t.setTclk = t.setTdi;
    t.pulseTclk = [](D *d, uint32_t periods) {
        for (uint16_t chunk : vexlinkPulseChunks(periods)) {
            Packet p = packet(M1PulseTclk);
            put16(&p[1], chunk);
            if (!send(d, p))
                return 0;
        }
        return 1;
    };
    t.shiftInstruction = [](D *d, uint8_t ir) { return simple(d, M1ShiftIr, ir); };
    t.shiftInstructionCapture = [](D *d, uint8_t ir) {
        Packet p = packet(M1ShiftIrCapture);
        p[1] = ir;
        return int(ask16(d, p));
    };
    t.shiftData16 = [](D *d, uint16_t v) {
        Packet p = packet(M1ShiftDr16);
        put16(&p[1], v);
        return send(d, p);
    };
    t.shiftData16Capture = [](D *d, uint16_t v) {
        Packet p = packet(M1ShiftDr16Capture);
        put16(&p[1], v);
        return ask16(d, p);
    };
    t.shiftData8 = [](D *d, uint8_t v) { return simple(d, M1ShiftDr8, v); };
    t.shiftData8Capture = [](D *d, uint8_t v) {
        Packet p = packet(M1ShiftDr8Capture);
        p[1] = v;
        return ask16(d, p);
    };
    t.initJtag = [](D *d) { return int(simple(d, M1InitJtag) && flush(d)); };
    t.checkFuse = [](D *d) { return int(ask16(d, packet(M1CheckFuse))); };
    t.writeWord = [](D *d, uint32_t address, uint16_t value) {
        Packet p = packet(M1WriteWord);
        put16(&p[1], address);
        put16(&p[3], value);
        return int(send(d, p) && flush(d));
    };
    t.readWord = [](D *d, uint32_t address, uint16_t *value) {
        Packet p = packet(M1ReadWord);
        put16(&p[1], address);
        const int32_t v = ask16(d, p);
        if (v < 0)
            return 0;
        *value = uint16_t(v);
        return 1;
    };
    t.writeBytes = [](D *d, uint32_t address, uint32_t count, const uint8_t *bytes) {
        for (uint32_t done = 0; done < count;) {
            const uint32_t n = std::min(count - done, kM1BytesPerWrite);
            Packet p = packet(M1WriteBytes);
            put16(&p[1], address + done);
            p[3] = uint8_t(n);
            std::copy_n(bytes + done, n, &p[4]);
            if (!send(d, p))
                return 0;
            done += n;
        }
        return flush(d);
    };
    t.writeWords = [](D *d, uint32_t address, uint32_t count, const uint16_t *words) {
        for (uint32_t done = 0; done < count;) {
            const uint32_t n = std::min(count - done, kM1BytesPerWrite / 2);
            Packet p = packet(M1WriteWords);
            put16(&p[1], address + 2 * done);
            p[3] = uint8_t(n);
            for (uint32_t i = 0; i < n; ++i)
                put16(&p[4 + 2 * i], words[done + i]);
            if (!send(d, p))
                return 0;
            done += n;
        }
        return flush(d);
    };
    t.readBytes = [](D *d, uint32_t address, uint32_t count, uint8_t *bytes) {
        for (uint32_t done = 0; done < count;) {
            const uint32_t n = std::min(count - done, kM1ReadChunk);
            Packet p = packet(M1ReadBytes), reply{};
            put16(&p[1], address + done);
            p[3] = uint8_t(n);
            if (!ask(d, p, reply))
                return 0;
            std::copy_n(reply.begin(), n, bytes + done);
            done += n;
        }
        return 1;
    };
    t.readWords = [](D *d, uint32_t address, uint32_t count, uint16_t *words) {
        for (uint32_t done = 0; done < count;) {
            const uint32_t n = std::min(count - done, kM1ReadChunk / 2);
            Packet p = packet(M1ReadWords), reply{};
            put16(&p[1], address + 2 * done);
            p[3] = uint8_t(n);
            if (!ask(d, p, reply))
                return 0;
            for (uint32_t i = 0; i < n; ++i)
                words[done + i] = get16(&reply[2 * i]);
            done += n;
        }
        return 1;
    };
    // The adapter runs the whole erase; the commands after it wait in its queue.
    t.eraseAll = [](D *d) { return int(simple(d, M1EraseAll) && flush(d)); };
    t.readEem = [](D *d, uint32_t reg, uint32_t count, uint32_t *values) {
        for (uint32_t done = 0; done < count;) {
            const uint32_t n = std::min(count - done, kM1EemPerRead);
            Packet p = packet(M1ReadEem), reply{};
            put16(&p[1], reg + 2 * done);
            p[3] = uint8_t(n);
            if (!ask(d, p, reply))
                return 0;
            for (uint32_t i = 0; i < n; ++i)
                values[done + i] = get16(&reply[2 * i]);
            done += n;
        }
        return 1;
    };
    t.modifyEem = [](D *d, uint32_t reg, uint32_t andMask, uint32_t orValue) {
        Packet p = packet(M1ModifyEem);
        put16(&p[1], reg);
        put16(&p[3], andMask);
        put16(&p[5], orValue);
        return send(d, p);
    };
    t.writeRegisters = [](D *d, const uint32_t registers[16]) {
        Packet p = packet(M1WriteRegisters);
        for (int n = 0; n < 16; ++n) {
            p[1 + 3 * n] = uint8_t(registers[n] >> 16);
            put16(&p[2 + 3 * n], registers[n]);
        }
        return int(ask16(d, p) == 1);
    };
    t.setStatus = [](D *d, int status) {
        Packet p = packet(M1SetStatus);
        p[3] = uint8_t(status);
        return int(send(d, p) && flush(d));
    };
    t.setFeatures = [](D *d, uint32_t features) { return int(simple(d, M1SetFeatures, int(features & 0xFF)) && flush(d)); };

    t.programFlash = M1_FLUSHED(programFlash, (D * d, uint32_t a, uint32_t n, const uint8_t *b), (d, a, n, b));
    t.eraseSegment = M1_FLUSHED(eraseSegment, (D * d, uint32_t a), (d, a));
    t.verify = M1_FLUSHED(verify, (D * d, uint32_t a, uint32_t n, const uint8_t *b), (d, a, n, b));
    t.enterDebugState = M1_FLUSHED(enterDebugState, (D * d, uint32_t r[16], int f, uint16_t *w), (d, r, f, w));
    t.release = M1_FLUSHED(release, (D * d, const uint32_t r[16], int run, uint16_t w), (d, r, run, w));
    t.reset = M1_FLUSHED(reset, (D * d, uint32_t * pc, uint16_t * w), (d, pc, w));
    t.writeEem = M1_FLUSHED(writeEem, (D * d, uint32_t r, uint32_t n, const uint32_t *v), (d, r, n, v));
}

#undef M1_FLUSHED

// ---- Model 2: one bulk transfer per command, replies of known length.

enum : uint8_t {
    M2Open = 0x10,
    M2Close = 0x11,
    M2SetFeatures = 0x13,
    M2SetTdi = 0x14,
    M2SetTms = 0x15,
    M2SetTck = 0x16,
    M2SetTclk = 0x17,
    M2ReadTdo = 0x19,
    M2ReadTclk = 0x1A,
    M2SetLine = 0x1C,
    M2SetRegulator = 0x1D,
    M2PulseTclk = 0x1E,
    M2InitJtag = 0x20,
    M2CheckFuse = 0x21,
    M2ShiftIr = 0x22,
    M2ShiftIrCapture = 0x23,
    M2ShiftDr8 = 0x24,
    M2ShiftDr8Capture = 0x25,
    M2ShiftDr16 = 0x26,
    M2ShiftDr16Capture = 0x27,
    M2ModifyEem = 0x31,
    M2ReadWord = 0x32,
    M2WriteWord = 0x33,
    M2ReadBytes = 0x34,
    M2WriteBytes = 0x35,
    M2ReadWords = 0x36,
    M2WriteWords = 0x37,
    M2Erase = 0x38,
    M2FlashWords = 0x39,
    M2FlashSetup = 0x3B,
    M2FlashBlock = 0x3C,
    M2FlashLock = 0x3D,
};

constexpr uint32_t kM2MaxBytes = 254;
constexpr uint32_t kM2MaxWords = 127;
using msp430d::kBlockWords;

using Bytes = std::vector<uint8_t>;

bool command(D *d, const Bytes &bytes)
{
    VexlinkSession &s = session(d);
    ++s.commands;
    const int written = s.link->write(bytes.data(), int(bytes.size()));
    if (written < 0)
        return linkFailed(d) != 0;
    if (written != int(bytes.size())) {
        d->lastError = "write timed out";
        return false;
    }
    return true;
}

bool reply(D *d, uint8_t *into, int count)
{
    VexlinkSession &s = session(d);
    const int got = s.link->read(into, count);
    if (got < 0)
        return linkFailed(d) != 0;
    ++s.replies;
    if (got != count) {
        d->lastError = "read timed out";
        return false;
    }
    return true;
}

int32_t askByte(D *d, const Bytes &bytes)
{
    uint8_t r = 0;
    return command(d, bytes) && reply(d, &r, 1) ? r : -1;
}

int32_t askWord(D *d, const Bytes &bytes)
{
    uint8_t r[2] = {};
    return command(d, bytes) && reply(d, r, 2) ? get16(r) : -1;
}

Bytes withAddress(uint8_t code, uint32_t address)
{
    return {code, uint8_t(address >> 8), uint8_t(address)};
}

void append16(Bytes &bytes, uint32_t value)
{
    bytes.push_back(uint8_t(value >> 8));
    bytes.push_back(uint8_t(value));
}

bool flashWords(D *d, uint32_t address, const std::vector<uint16_t> &words, size_t first, size_t count)
{
    for (size_t done = 0; done < count;) {
        const size_t n = std::min<size_t>(count - done, kM2MaxWords);
        Bytes c = withAddress(M2FlashWords, address + uint32_t(2 * done));
        c.push_back(uint8_t(n));
        for (size_t i = 0; i < n; ++i)
            append16(c, words[first + done + i]);
        if (!command(d, c))
            return false;
        done += n;
    }
    return true;
}

bool flashBlocks(D *d, uint32_t address, const std::vector<uint16_t> &words, size_t first, size_t blocks)
{
    if (!command(d, {M2FlashSetup}))
        return false;
    for (size_t b = 0; b < blocks; ++b) {
        Bytes c = withAddress(M2FlashBlock, address + uint32_t(64 * b));
        for (size_t i = 0; i < kBlockWords; ++i)
            append16(c, words[first + kBlockWords * b + i]);
        if (!command(d, c))
            return false;
    }
    return command(d, {M2FlashLock});
}

int m2ProgramFlash(D *d, uint32_t address, uint32_t length, const uint8_t *bytes)
{
    return msp430d::programFlashInPieces(d, address, length, bytes, flashWords, flashBlocks);
}

int m2Erase(D *d, uint16_t mode, uint32_t address, uint32_t periods)
{
    Bytes c = {M2Erase};
    append16(c, mode);
    append16(c, address);
    append16(c, periods >> 16);
    append16(c, periods);
    return askByte(d, c) == 1;
}

int m2Verify(D *d, uint32_t address, uint32_t length, const uint8_t *bytes)
{
    // Whole words read back at half the bus cycles of bytes.
    const bool words = !((address | length) & 1);
    std::vector<uint8_t> got(kM2MaxBytes);
    std::vector<uint16_t> w(kM2MaxWords);
    for (uint32_t done = 0; done < length;) {
        const uint32_t n = std::min(length - done, words ? 2 * kM2MaxWords : kM2MaxBytes);
        if (words) {
            if (!d->readWords(d, address + done, n / 2, w.data()))
                return 0;
            for (uint32_t i = 0; i < n / 2; ++i) {
                got[2 * i] = uint8_t(w[i]);
                got[2 * i + 1] = uint8_t(w[i] >> 8);
            }
        } else if (!d->readBytes(d, address + done, n, got.data())) {
            return 0;
        }
        for (uint32_t i = 0; i < n; ++i)
            if (got[i] != (bytes ? bytes[done + i] : 0xFF))
                return 0;
        done += n;
    }
    return 1;
}

void fillModel2(D &t)
{
    t.open = [](D *d, const char *, uint32_t) { return int(command(d, {M2Open})); };
    t.close = [](D *d) {
        const int sent = command(d, {M2Close});
        session(d).link->close();
        return sent;
    };
    t.setRegulator = [](D *d, int on) { return int(command(d, {M2SetRegulator, uint8_t(on ? 1 : 0)})); };
    t.setLine = [](D *d, int level) { return int(command(d, {M2SetLine, uint8_t(level ? 1 : 0)})); };
    t.setTdi = [](D *d, int level) { return int(command(d, {M2SetTdi, uint8_t(level ? 1 : 0)})); };
    t.setTms = [](D *d, int level) { return int(command(d, {M2SetTms, uint8_t(level ? 1 : 0)})); };
    t.setTck = [](D *d, int level) { return int(command(d, {M2SetTck, uint8_t(level ? 1 : 0)})); };
    t.setTclk = [](D *d, int level) { return int(command(d, {M2SetTclk, uint8_t(level ? 1 : 0)})); };
    t.readTdo = [](D *d) { return int(askByte(d, {M2ReadTdo})); };
    t.readTclk = [](D *d) { return int(askByte(d, {M2ReadTclk})); };
    t.pulseTclk = [](D *d, uint32_t periods) {
        for (uint16_t chunk : vexlinkPulseChunks(periods)) {
            Bytes c = {M2PulseTclk};
            append16(c, chunk);
            if (!command(d, c))
                return 0;
        }
        return 1;
    };
    t.initJtag = [](D *d) { return int(command(d, {M2InitJtag})); };
    t.checkFuse = [](D *d) { return int(askByte(d, {M2CheckFuse})); };
    t.shiftInstruction = [](D *d, uint8_t ir) { return int(command(d, {M2ShiftIr, ir})); };
    t.shiftInstructionCapture = [](D *d, uint8_t ir) { return int(askByte(d, {M2ShiftIrCapture, ir})); };
    t.shiftData8 = [](D *d, uint8_t v) { return int(command(d, {M2ShiftDr8, v})); };
    t.shiftData8Capture = [](D *d, uint8_t v) { return askByte(d, {M2ShiftDr8Capture, v}); };
    t.shiftData16 = [](D *d, uint16_t v) {
        Bytes c = {M2ShiftDr16};
        append16(c, v);
        return int(command(d, c));
    };
    t.shiftData16Capture = [](D *d, uint16_t v) {
        Bytes c = {M2ShiftDr16Capture};
        append16(c, v);
        return askWord(d, c);
    };
    t.modifyEem = [](D *d, uint32_t reg, uint32_t andMask, uint32_t orValue) {
        Bytes c = withAddress(M2ModifyEem, reg);
        append16(c, andMask);
        append16(c, orValue);
        return int(command(d, c));
    };
    t.readWord = [](D *d, uint32_t address, uint16_t *value) {
        const int32_t v = askWord(d, withAddress(M2ReadWord, address));
        if (v < 0)
            return 0;
        *value = uint16_t(v);
        return 1;
    };
    t.writeWord = [](D *d, uint32_t address, uint16_t value) {
        Bytes c = withAddress(M2WriteWord, address);
        append16(c, value);
        return int(command(d, c));
    };
    t.readBytes = [](D *d, uint32_t address, uint32_t count, uint8_t *bytes) {
        for (uint32_t done = 0; done < count;) {
            const uint32_t n = std::min(count - done, kM2MaxBytes);
            Bytes c = withAddress(M2ReadBytes, address + done);
            c.push_back(uint8_t(n));
            if (!command(d, c) || !reply(d, bytes + done, int(n)))
                return 0;
            done += n;
        }
        return 1;
    };
    t.writeBytes = [](D *d, uint32_t address, uint32_t count, const uint8_t *bytes) {
        for (uint32_t done = 0; done < count;) {
            const uint32_t n = std::min(count - done, kM2MaxBytes);
            Bytes c = withAddress(M2WriteBytes, address + done);
            c.push_back(uint8_t(n));
            c.insert(c.end(), bytes + done, bytes + done + n);
            if (!command(d, c))
                return 0;
            done += n;
        }
        return 1;
    };
    t.readWords = [](D *d, uint32_t address, uint32_t count, uint16_t *words) {
        uint8_t raw[2 * kM2MaxWords];
        for (uint32_t done = 0; done < count;) {
            const uint32_t n = std::min(count - done, kM2MaxWords);
            Bytes c = withAddress(M2ReadWords, address + 2 * done);
            c.push_back(uint8_t(n));
            if (!command(d, c) || !reply(d, raw, int(2 * n)))
                return 0;
            for (uint32_t i = 0; i < n; ++i)
                words[done + i] = get16(&raw[2 * i]);
            done += n;
        }
        return 1;
    };
    t.writeWords = [](D *d, uint32_t address, uint32_t count, const uint16_t *words) {
        for (uint32_t done = 0; done < count;) {
            const uint32_t n = std::min(count - done, kM2MaxWords);
            Bytes c = withAddress(M2WriteWords, address + 2 * done);
            c.push_back(uint8_t(n));
            for (uint32_t i = 0; i < n; ++i)
                append16(c, words[done + i]);
            if (!command(d, c))
                return 0;
            done += n;
        }
        return 1;
    };
    t.programFlash = m2ProgramFlash;
    t.eraseSegment = [](D *d, uint32_t address) {
        return m2Erase(d, 0xA502, address & ~1u, msp430d::kSegmentErasePeriods);
    };
    t.eraseAll = [](D *d) { return m2Erase(d, 0xA506, 0x1000, msp430d::kEraseAllPeriods); };
    t.verify = m2Verify;
    // The signature check folds words on TCLK edges, two commands a word here: reading back
    // costs one command per 254 bytes.
    t.verifySignature = nullptr;
    t.setFeatures = [](D *d, uint32_t features) { return int(command(d, {M2SetFeatures, uint8_t(features)})); };
}

} // namespace

std::vector<uint16_t> vexlinkPulseChunks(uint32_t periods)
{
    std::vector<uint16_t> chunks;
    for (; periods > 0xFFFF; periods -= 0xFFFF)
        chunks.push_back(0xFFFF);
    if (periods)
        chunks.push_back(uint16_t(periods));
    return chunks;
}

void fillVexlinkModel1(Msp430dDriver &d, VexlinkSession &session)
{
    session.generic = d;
    d.handle = &session;
    fillModel1(d);
}

void fillVexlinkModel2(Msp430dDriver &d, VexlinkSession &session)
{
    session.generic = d;
    d.handle = &session;
    fillModel2(d);
}

} // namespace zim::msp430
