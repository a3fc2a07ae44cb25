// The base filling of the msp430d driver table: stubs for what only a transport can do, and
// the generic shifts and high-level JTAG sequences of the 1xx/2xx/4xx devices on the pins.
#include "msp430/msp430d.h"

#include <algorithm>
#include <vector>

namespace zim::msp430 {

namespace {

using D = Msp430dDriver;

constexpr char kNotImplemented[] = "msp430d function not implemented\n";

int notImplemented(D *d)
{
    d->lastError = kNotImplemented;
    return 0;
}

// Instructions as shifted, least significant bit first.
enum : uint8_t {
    IrEemDataExchange = 0x09,
    IrCntrlSigHighByte = 0x11,
    IrCntrlSigLowByte = 0x12,
    IrCntrlSig16Bit = 0x13,
    IrCntrlSigCapture = 0x14,
    IrCntrlSigRelease = 0x15,
    IrFlash16BitUpdate = 0x19,
    IrData16Bit = 0x41,
    IrDataCapture = 0x42,
    IrDataPsa = 0x44,
    IrShiftOutPsa = 0x46,
    IrAddr16Bit = 0x83,
    IrAddrCapture = 0x84,
    IrDataToAddr = 0x85,
};

constexpr uint32_t kFctl1 = 0x0128, kFctl2 = 0x012A, kFctl3 = 0x012C, kWatchdog = 0x0120;
constexpr uint16_t kWatchdogHold = 0x5A80;
// The RAM word a register store is aimed at (the bus cycle is captured, not written).
constexpr uint16_t kRegisterStoreAddress = 0x01FE;

bool tdi(D *d, int level)
{
    if (d->tdiLevel == level)
        return true;
    d->tdiLevel = level;
    return d->setTdi(d, level) != 0;
}

bool pulse(D *d)
{
    return d->setTck(d, 0) && d->setTck(d, 1);
}

// From idle through one scan of bits (most significant first unless lsbFirst), back to idle;
// TCLK keeps the level it had. Returns the bits read, or -1.
int32_t scan(D *d, bool instruction, uint32_t value, int bits, bool capture)
{
    const int tclk = d->readTclk(d);
    if (tclk < 0)
        return -1;
    d->tdiLevel = tclk;
    bool ok = d->setTms(d, 1) && pulse(d);
    if (instruction)
        ok = ok && pulse(d);
    ok = ok && d->setTms(d, 0) && pulse(d) && pulse(d);
    uint32_t in = 0;
    for (int i = 0; ok && i < bits; ++i) {
        const int bit = instruction ? i : bits - 1 - i;
        ok = tdi(d, (value >> bit) & 1);
        if (ok && i == bits - 1)
            ok = d->setTms(d, 1);
        ok = ok && pulse(d);
        // The device presents each bit on the falling edge and holds it past the rising one.
        if (ok && capture) {
            const int tdo = d->readTdo(d);
            ok = tdo >= 0;
            // Captures come out most significant bit first, the JTAG ID of an instruction
            // scan as much as a data word.
            in |= uint32_t(tdo > 0) << (bits - 1 - i);
        }
    }
    // TCLK gets its level back before the TAP returns to idle, where TDI is TCLK.
    ok = ok && tdi(d, tclk) && pulse(d) && d->setTms(d, 0) && pulse(d);
    return ok ? int32_t(in) : -1;
}

int genShiftIr(D *d, uint8_t ir) { return scan(d, true, ir, 8, false) >= 0; }
int genShiftIrCapture(D *d, uint8_t ir) { return scan(d, true, ir, 8, true); }
int genShiftDr16(D *d, uint16_t v) { return scan(d, false, v, 16, false) >= 0; }
int32_t genShiftDr16Capture(D *d, uint16_t v) { return scan(d, false, v, 16, true); }
int genShiftDr8(D *d, uint8_t v) { return scan(d, false, v, 8, false) >= 0; }
int32_t genShiftDr8Capture(D *d, uint8_t v) { return scan(d, false, v, 8, true); }

bool ir(D *d, uint8_t instruction) { return d->shiftInstruction(d, instruction) != 0; }
bool dr16(D *d, uint16_t value) { return d->shiftData16(d, value) != 0; }
bool dr8(D *d, uint8_t value) { return d->shiftData8(d, value) != 0; }
bool setTclk(D *d, int level)
{
    d->tdiLevel = -1;
    return d->setTclk(d, level) != 0;
}

// The write step: the bus writes value to address on the rising TCLK edge.
bool writeStep(D *d, uint32_t address, uint16_t value)
{
    return setTclk(d, 0) && ir(d, IrAddr16Bit) && dr16(d, uint16_t(address)) && ir(d, IrDataToAddr)
           && dr16(d, value) && setTclk(d, 1);
}

bool control(D *d, uint16_t word) { return ir(d, IrCntrlSig16Bit) && dr16(d, word); }

bool readStep(D *d, uint32_t address, uint16_t *value)
{
    if (!(setTclk(d, 0) && ir(d, IrAddr16Bit) && dr16(d, uint16_t(address)) && ir(d, IrDataToAddr) && setTclk(d, 1)))
        return false;
    const int32_t v = d->shiftData16Capture(d, 0);
    if (v < 0)
        return false;
    *value = uint16_t(v);
    return true;
}

int genInitJtag(D *d)
{
    bool ok = d->setTest(d, 1) && d->setRst(d, 1) && d->setTck(d, 1) && d->setTms(d, 1) && setTclk(d, 1);
    // Six clocks with TMS high reach Test-Logic-Reset from anywhere, one more with TMS low idles.
    for (int i = 0; ok && i < 6; ++i)
        ok = pulse(d);
    return ok && d->setTms(d, 0) && pulse(d);
}

int genCheckFuse(D *d)
{
    // A blown fuse leaves only the one-bit bypass, which hands 0xAAAA back shifted by one.
    for (int i = 0; i < 3; ++i) {
        if (!ir(d, IrCntrlSigCapture))
            return -1;
        const int32_t v = d->shiftData16Capture(d, 0xAAAA);
        if (v < 0)
            return -1;
        if (v != 0x5555)
            return 0;
    }
    return 1;
}

int genWriteWords(D *d, uint32_t address, uint32_t count, const uint16_t *words)
{
    if (!control(d, msp430d::kControlWriteWord))
        return 0;
    for (uint32_t i = 0; i < count; ++i)
        if (!writeStep(d, address + 2 * i, words[i]))
            return 0;
    return 1;
}

int genReadWords(D *d, uint32_t address, uint32_t count, uint16_t *words)
{
    if (!control(d, msp430d::kControlReadWord))
        return 0;
    for (uint32_t i = 0; i < count; ++i)
        if (!readStep(d, address + 2 * i, &words[i]))
            return 0;
    return 1;
}

int genWriteWord(D *d, uint32_t address, uint16_t value) { return d->writeWords(d, address, 1, &value); }
int genReadWord(D *d, uint32_t address, uint16_t *value) { return d->readWords(d, address, 1, value); }

int genWriteBytes(D *d, uint32_t address, uint32_t count, const uint8_t *bytes)
{
    if (!control(d, msp430d::kControlWriteByte))
        return 0;
    for (uint32_t i = 0; i < count; ++i)
        if (!writeStep(d, address + i, bytes[i]))
            return 0;
    return 1;
}

int genReadBytes(D *d, uint32_t address, uint32_t count, uint8_t *bytes)
{
    if (!control(d, msp430d::kControlReadByte))
        return 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t v = 0;
        if (!readStep(d, address + i, &v))
            return 0;
        bytes[i] = uint8_t(v);
    }
    return 1;
}

// EEM registers: a data exchange names the register (bit 0 set to read), then moves the value.
int genReadEem(D *d, uint32_t reg, uint32_t count, uint32_t *values)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (!(ir(d, IrEemDataExchange) && dr16(d, uint16_t((reg + 2 * i) | 1))))
            return 0;
        const int32_t v = d->shiftData16Capture(d, 0);
        if (v < 0)
            return 0;
        values[i] = uint32_t(v);
    }
    return 1;
}

int genWriteEem(D *d, uint32_t reg, uint32_t count, const uint32_t *values)
{
    for (uint32_t i = 0; i < count; ++i)
        if (!(ir(d, IrEemDataExchange) && dr16(d, uint16_t((reg + 2 * i) & ~1u)) && dr16(d, uint16_t(values[i]))))
            return 0;
    return 1;
}

int genModifyEem(D *d, uint32_t reg, uint32_t andMask, uint32_t orValue)
{
    uint32_t v = 0;
    if (!d->readEem(d, reg, 1, &v))
        return 0;
    v = (v & andMask) | orValue;
    return d->writeEem(d, reg, 1, &v);
}

// One instruction word fed to the CPU on a TCLK edge.
bool inject(D *d, uint16_t word) { return setTclk(d, 0) && dr16(d, word) && setTclk(d, 1); }

bool readRegister(D *d, int n, uint32_t *value)
{
    if (!(ir(d, IrData16Bit) && inject(d, uint16_t(0x4082 | (n << 8))) && inject(d, kRegisterStoreAddress)
          && ir(d, IrDataCapture)))
        return false;
    const int32_t v = d->shiftData16Capture(d, 0);
    if (v < 0)
        return false;
    *value = uint32_t(v);
    return true;
}

int genWriteRegisters(D *d, const uint32_t registers[16])
{
    if (!ir(d, IrData16Bit))
        return 0;
    // The program counter last: loading it is a jump.
    for (int n = 15; n >= 0; --n) {
        if (n == 3)
            continue;
        if (!(inject(d, uint16_t(0x4030 | n)) && inject(d, uint16_t(registers[n]))))
            return 0;
    }
    return 1;
}

bool holdWatchdog(D *d, uint16_t *shadow)
{
    uint16_t value = 0;
    if (!d->readWord(d, kWatchdog, &value))
        return false;
    if (shadow)
        *shadow = value;
    return d->writeWord(d, kWatchdog, kWatchdogHold);
}

int genEnterDebugState(D *d, uint32_t registers[16], int flag, uint16_t *watchdog)
{
    (void)flag;
    int32_t clock = 0;
    const bool ok = d->shiftInstructionCapture(d, IrCntrlSigCapture) >= 0 && ir(d, IrCntrlSigHighByte)
                    && dr8(d, 0x34) && ir(d, IrEemDataExchange) && dr16(d, 0x89)
                    && (clock = d->shiftData16Capture(d, 0)) >= 0 && dr16(d, 0x88) && dr16(d, uint16_t(clock))
                    && control(d, 0x3400) && d->modifyEem(d, 0x82, 0xFFFFFFFF, 2)
                    && d->modifyEem(d, 0x82, 0xFFFFFFFC, 0) && ir(d, IrData16Bit) && inject(d, 0xD034)
                    && inject(d, 0x0000) && inject(d, 0xC032) && inject(d, 0x0010)
                    && d->shiftInstructionCapture(d, IrAddrCapture) >= 0 && ir(d, IrCntrlSigHighByte)
                    && dr8(d, 0x24) && holdWatchdog(d, watchdog);
    if (!ok)
        return 0;
    for (int n = 0; registers && n < 16; ++n)
        if (n != 3 && !readRegister(d, n, &registers[n]))
            return 0;
    return 1;
}

int genRelease(D *d, const uint32_t registers[16], int run, uint16_t watchdog)
{
    if (!d->writeWord(d, kWatchdog, uint16_t(0x5A00 | (watchdog & 0xFF))))
        return 0;
    if (registers && !d->writeRegisters(d, registers))
        return 0;
    if (!d->modifyEem(d, 0x82, 0xFFFFFF7F, 3))
        return 0;
    return run ? ir(d, IrCntrlSigRelease) : 1;
}

int genReset(D *d, uint32_t *pc, uint16_t *watchdog)
{
    // Power-on reset through the control signals, then the CPU held with its watchdog.
    const bool ok = control(d, 0x2C01) && dr16(d, 0x2401) && dr16(d, 0x2401) && ir(d, IrFlash16BitUpdate)
                    && dr16(d, 0x0080) && dr16(d, 0x0880) && holdWatchdog(d, watchdog);
    if (!ok)
        return 0;
    uint16_t vector = 0;
    if (!d->readWord(d, 0xFFFE, &vector))
        return 0;
    if (pc)
        *pc = vector;
    return 1;
}

bool flashMode(D *d, bool write) { return ir(d, IrCntrlSigLowByte) && dr8(d, write ? 0x08 : 0x09); }

bool writeFlashWords(D *d, uint32_t address, const std::vector<uint16_t> &words, size_t first, size_t count)
{
    if (count == 0)
        return true;
    bool ok = flashMode(d, true) && writeStep(d, kFctl1, 0xA540) && writeStep(d, kFctl2, 0xA540)
              && writeStep(d, kFctl3, 0xA500);
    for (size_t i = 0; ok && i < count; ++i)
        ok = writeStep(d, address + uint32_t(2 * i), words[first + i]) && flashMode(d, false)
             && d->pulseTclk(d, msp430d::kWordWritePeriods) && flashMode(d, true);
    return ok && writeStep(d, kFctl1, 0xA500) && writeStep(d, kFctl3, 0xA510);
}

bool writeFlashBlocks(D *d, uint32_t address, const std::vector<uint16_t> &words, size_t first, size_t blocks)
{
    bool ok = flashMode(d, true) && writeStep(d, kFctl2, 0xA540) && writeStep(d, kFctl3, 0xA500);
    for (size_t b = 0; ok && b < blocks; ++b) {
        ok = writeStep(d, kFctl1, 0xA5C0);
        for (size_t i = 0; ok && i < 32; ++i) {
            const uint32_t a = address + uint32_t(64 * b + 2 * i);
            ok = writeStep(d, a, words[first + 32 * b + i])
                 && d->pulseTclk(d, i == 31 ? msp430d::kBlockEndPeriods : msp430d::kBlockWordPeriods);
        }
        ok = ok && writeStep(d, kFctl1, 0xA500) && d->pulseTclk(d, msp430d::kBlockLockPeriods);
    }
    return ok && writeStep(d, kFctl3, 0xA510);
}

int genProgramFlash(D *d, uint32_t address, uint32_t length, const uint8_t *bytes)
{
    return msp430d::programFlashInPieces(d, address, length, bytes, writeFlashWords, writeFlashBlocks);
}

bool erase(D *d, uint16_t mode, uint32_t periods, uint32_t address)
{
    return flashMode(d, true) && writeStep(d, kFctl2, 0xA540) && writeStep(d, kFctl3, 0xA500)
           && writeStep(d, kFctl1, mode) && writeStep(d, address, 0x55AA)
           && control(d, msp430d::kControlReadWord) && d->pulseTclk(d, periods) && flashMode(d, true)
           && writeStep(d, kFctl1, 0xA500) && writeStep(d, kFctl3, 0xA510);
}

int genEraseSegment(D *d, uint32_t address)
{
    return erase(d, 0xA502, msp430d::kSegmentErasePeriods, address & ~1u);
}

int genEraseAll(D *d) { return erase(d, 0xA506, msp430d::kEraseAllPeriods, 0x1000); }

int genReadBytesWordwise(D *d, uint32_t address, uint32_t count, uint8_t *bytes)
{
    // Word reads where the range allows, as the byte form costs one bus cycle per byte.
    uint32_t i = 0;
    if (address & 1) {
        if (!genReadBytes(d, address, 1, bytes))
            return 0;
        i = 1;
    }
    const uint32_t words = (count - i) / 2;
    if (words) {
        std::vector<uint16_t> w(words);
        if (!d->readWords(d, address + i, words, w.data()))
            return 0;
        for (uint32_t k = 0; k < words; ++k) {
            bytes[i + 2 * k] = uint8_t(w[k]);
            bytes[i + 2 * k + 1] = uint8_t(w[k] >> 8);
        }
        i += 2 * words;
    }
    return i < count ? genReadBytes(d, address + i, 1, bytes + i) : 1;
}

int genVerifyWordwise(D *d, uint32_t address, uint32_t length, const uint8_t *bytes)
{
    // Whole words of memory go by signature: two pin writes a word instead of a read.
    if (address >= 0x200 && !((address | length) & 1) && d->verifySignature)
        return d->verifySignature(d, address, length, bytes);
    constexpr uint32_t kBlock = 256;
    std::vector<uint8_t> got(kBlock);
    for (uint32_t done = 0; done < length; done += kBlock) {
        const uint32_t n = std::min(kBlock, length - done);
        if (!genReadBytesWordwise(d, address + done, n, got.data()))
            return 0;
        for (uint32_t i = 0; i < n; ++i)
            if (got[i] != (bytes ? bytes[done + i] : 0xFF))
                return 0;
    }
    return 1;
}

// Polynomial signature analysis: the CPU fetches the range word by word on TCLK edges while
// the JTAG port folds each word into the signature.
int genVerifySignature(D *d, uint32_t address, uint32_t length, const uint8_t *bytes)
{
    constexpr uint16_t kPolynomial = 0x0805;
    if ((address | length) & 1)
        return 0;
    uint16_t expected = uint16_t(address - 2);
    bool ok = ir(d, IrData16Bit) && inject(d, 0x4030) && inject(d, uint16_t(address)) && dr16(d, expected)
              && ir(d, IrDataPsa);
    for (uint32_t i = 0; ok && i < length / 2; ++i) {
        expected = (expected & 0x8000) ? uint16_t(((expected ^ kPolynomial) << 1) | 1) : uint16_t(expected << 1);
        expected ^= bytes ? uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)) : 0xFFFF;
        ok = setTclk(d, 0) && setTclk(d, 1);
    }
    if (!ok || !ir(d, IrShiftOutPsa))
        return 0;
    const int32_t signature = d->shiftData16Capture(d, 0);
    return signature == expected ? 1 : 0;
}

const char *genErrorText(D *d) { return d->lastError.empty() ? nullptr : d->lastError.c_str(); }

} // namespace

int msp430d::programFlashInPieces(Msp430dDriver *d, uint32_t address, uint32_t length, const uint8_t *bytes,
                                  FlashPieceWriter words, FlashPieceWriter blocks)
{
    if (length == 0)
        return 1;
    const uint32_t start = address & ~1u;
    const uint32_t end = (address + length + 1) & ~1u;
    std::vector<uint8_t> image(end - start);
    for (const uint32_t edge : {start, end - 2}) {
        if ((edge == start && start != address) || (edge == end - 2 && end != address + length)) {
            uint16_t w = 0;
            if (!d->readWord(d, edge, &w))
                return 0;
            image[edge - start] = uint8_t(w);
            image[edge - start + 1] = uint8_t(w >> 8);
        }
    }
    std::copy(bytes, bytes + length, image.begin() + (address - start));
    std::vector<uint16_t> all(image.size() / 2);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = uint16_t(image[2 * i] | (image[2 * i + 1] << 8));

    const size_t total = all.size();
    const size_t head = std::min<size_t>(total, ((64 - (start & 63)) & 63) / 2);
    if (!words(d, start, all, 0, head))
        return 0;
    size_t done = head;
    if (d->blockWrite && total - done > kBlockWords) {
        const size_t rows = (total - done) / kBlockWords;
        if (!blocks(d, start + uint32_t(2 * done), all, done, rows))
            return 0;
        done += kBlockWords * rows;
    }
    return words(d, start + uint32_t(2 * done), all, done, total - done) ? 1 : 0;
}

void msp430dFillBase(Msp430dDriver &driver)
{
    D &d = driver;
    d.open = [](D *p, const char *, uint32_t) { return notImplemented(p); };
    d.close = [](D *p) { return notImplemented(p); };
    d.enterSpyBiWireJtag = nullptr;
    d.setRegulator = [](D *p, int) { return notImplemented(p); };
    d.setLine = [](D *p, int) { return notImplemented(p); };
    d.readTargetVoltage = [](D *) { return 0; };
    d.setTest = [](D *p, int) { return notImplemented(p); };
    d.setRst = [](D *p, int) { return notImplemented(p); };
    d.setTdi = [](D *p, int) { return notImplemented(p); };
    d.setTms = [](D *p, int) { return notImplemented(p); };
    d.setTck = [](D *p, int) { return notImplemented(p); };
    d.readTdo = [](D *p) { return notImplemented(p) - 1; };
    d.setTclk = [](D *p, int) { return notImplemented(p); };
    d.readTclk = [](D *p) { return notImplemented(p) - 1; };
    d.pulseTclk = [](D *p, uint32_t) { return notImplemented(p); };

    d.shiftInstruction = genShiftIr;
    d.shiftInstructionCapture = genShiftIrCapture;
    d.shiftData16 = genShiftDr16;
    d.shiftData16Capture = genShiftDr16Capture;
    d.shiftData8 = genShiftDr8;
    d.shiftData8Capture = genShiftDr8Capture;
    d.initJtag = genInitJtag;
    d.checkFuse = genCheckFuse;
    d.writeWord = genWriteWord;
    d.readWord = genReadWord;
    d.writeWords = genWriteWords;
    d.readWords = genReadWords;
    d.writeBytes = genWriteBytes;
    d.readBytes = genReadBytesWordwise;
    d.programFlash = genProgramFlash;
    d.eraseSegment = genEraseSegment;
    d.eraseAll = genEraseAll;
    d.verify = genVerifyWordwise;
    d.verifySignature = genVerifySignature;
    d.enterDebugState = genEnterDebugState;
    d.release = genRelease;
    d.reset = genReset;
    d.readEem = genReadEem;
    d.writeEem = genWriteEem;
    d.modifyEem = genModifyEem;
    d.writeRegisters = genWriteRegisters;
    d.setStatus = [](D *, int) { return 1; };
    d.setFeatures = [](D *, uint32_t) { return 1; };
    d.errorText = genErrorText;
}

} // namespace zim::msp430
