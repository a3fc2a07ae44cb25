// The msp430d driver table: the transport operations an own-protocol JTAG target calls. Each
// entry is a plain function taking the table first; a transport fills what it does itself and
// the base filling supplies the rest: stubs for the low-level entries and generic high-level
// entries built on the pin-level ones, so every sequence is written once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zim::msp430 {

struct Msp430dDriver
{
    // Results: non-zero means success unless said otherwise.
    int (*open)(Msp430dDriver *, const char *name, uint32_t options) = nullptr;
    int (*close)(Msp430dDriver *) = nullptr;
    // Null when the transport cannot use JTAG over the Spy-Bi-Wire pins.
    int (*enterSpyBiWireJtag)(Msp430dDriver *) = nullptr;
    int (*setRegulator)(Msp430dDriver *, int on) = nullptr;
    int (*setLine)(Msp430dDriver *, int level) = nullptr;
    // Millivolts, 0 when unknown.
    int (*readTargetVoltage)(Msp430dDriver *) = nullptr;

    // Shifts; the capture forms return the bits captured, or -1.
    int (*shiftInstruction)(Msp430dDriver *, uint8_t instruction) = nullptr;
    int (*shiftInstructionCapture)(Msp430dDriver *, uint8_t instruction) = nullptr;
    int (*shiftData16)(Msp430dDriver *, uint16_t value) = nullptr;
    int32_t (*shiftData16Capture)(Msp430dDriver *, uint16_t value) = nullptr;
    int (*shiftData8)(Msp430dDriver *, uint8_t value) = nullptr;
    int32_t (*shiftData8Capture)(Msp430dDriver *, uint8_t value) = nullptr;

    int (*initJtag)(Msp430dDriver *) = nullptr;
    // 0 when the fuse is intact, 1 when blown, -1 on failure.
    int (*checkFuse)(Msp430dDriver *) = nullptr;
    int (*writeWord)(Msp430dDriver *, uint32_t address, uint16_t value) = nullptr;
    int (*readWord)(Msp430dDriver *, uint32_t address, uint16_t *value) = nullptr;
    int (*writeWords)(Msp430dDriver *, uint32_t address, uint32_t count, const uint16_t *words) = nullptr;
    int (*readWords)(Msp430dDriver *, uint32_t address, uint32_t count, uint16_t *words) = nullptr;
    int (*writeBytes)(Msp430dDriver *, uint32_t address, uint32_t count, const uint8_t *bytes) = nullptr;
    int (*readBytes)(Msp430dDriver *, uint32_t address, uint32_t count, uint8_t *bytes) = nullptr;
    int (*programFlash)(Msp430dDriver *, uint32_t address, uint32_t length, const uint8_t *bytes) = nullptr;
    int (*eraseSegment)(Msp430dDriver *, uint32_t address) = nullptr;
    int (*eraseAll)(Msp430dDriver *) = nullptr;
    // Compares with bytes, or checks for the erased state when bytes is null.
    int (*verify)(Msp430dDriver *, uint32_t address, uint32_t length, const uint8_t *bytes) = nullptr;
    // The same check by signature: the device folds the range into a polynomial signature that
    // is compared with the one computed here; the range must be whole words.
    int (*verifySignature)(Msp430dDriver *, uint32_t address, uint32_t length, const uint8_t *bytes) = nullptr;
    int (*enterDebugState)(Msp430dDriver *, uint32_t registers[16], int flag, uint16_t *watchdog) = nullptr;
    int (*release)(Msp430dDriver *, const uint32_t registers[16], int run, uint16_t watchdog) = nullptr;
    // Resets the device and gives the program counter of its reset vector.
    int (*reset)(Msp430dDriver *, uint32_t *pc, uint16_t *watchdog) = nullptr;
    int (*readEem)(Msp430dDriver *, uint32_t reg, uint32_t count, uint32_t *values) = nullptr;
    int (*writeEem)(Msp430dDriver *, uint32_t reg, uint32_t count, const uint32_t *values) = nullptr;
    int (*modifyEem)(Msp430dDriver *, uint32_t reg, uint32_t andMask, uint32_t orValue) = nullptr;
    int (*writeRegisters)(Msp430dDriver *, const uint32_t registers[16]) = nullptr;
    // 0 idle, 1 running, 2 stopped, 3 downloading, 5 failed.
    int (*setStatus)(Msp430dDriver *, int status) = nullptr;
    int (*setFeatures)(Msp430dDriver *, uint32_t features) = nullptr;
    // The last error text, or null.
    const char *(*errorText)(Msp430dDriver *) = nullptr;

    // Pin level, for bit-level transports.
    int (*setTest)(Msp430dDriver *, int level) = nullptr;
    int (*setRst)(Msp430dDriver *, int level) = nullptr;
    int (*setTdi)(Msp430dDriver *, int level) = nullptr;
    int (*setTms)(Msp430dDriver *, int level) = nullptr;
    int (*setTck)(Msp430dDriver *, int level) = nullptr;
    // The sampled TDO bit, or -1.
    int (*readTdo)(Msp430dDriver *) = nullptr;
    int (*setTclk)(Msp430dDriver *, int level) = nullptr;
    // The TCLK level, or -1.
    int (*readTclk)(Msp430dDriver *) = nullptr;
    int (*pulseTclk)(Msp430dDriver *, uint32_t periods) = nullptr;

    std::string lastError;
    void *handle = nullptr;
    // The TDI level the generic shifts last drove (-1 unknown), so a bit equal to the one
    // before costs no pin write.
    int tdiLevel = -1;
    // Whole 64-byte rows of a FLASH programming go in block mode.
    bool blockWrite = false;
    // Set by a transport whose device has left (a pulled cable): retrying cannot help.
    bool deviceGone = false;
};

// The base filling: every low-level entry a stub that fails with "msp430d function not
// implemented\n", every high-level entry the generic one.
void msp430dFillBase(Msp430dDriver &driver);

// The constants of the generic entries, for transports that do the same work themselves.
namespace msp430d {
constexpr uint16_t kControlWriteWord = 0x2408;
constexpr uint16_t kControlReadWord = 0x2409;
constexpr uint16_t kControlWriteByte = 0x2418;
constexpr uint16_t kControlReadByte = 0x2419;
constexpr uint32_t kWordWritePeriods = 35;
constexpr uint32_t kBlockWordPeriods = 30;
constexpr uint32_t kBlockEndPeriods = 21;
constexpr uint32_t kBlockLockPeriods = 6;
constexpr uint32_t kSegmentErasePeriods = 9640;
constexpr uint32_t kEraseAllPeriods = 201400;
// Words in one block write: a 64-byte FLASH row.
constexpr size_t kBlockWords = 32;

// Writes count words of words from index first to FLASH at address; false when it failed. The
// block form takes count whole rows of kBlockWords.
using FlashPieceWriter = bool (*)(Msp430dDriver *d, uint32_t address, const std::vector<uint16_t> &words,
                                  size_t first, size_t count);

// Programs length bytes at address as whole words (an odd first or last byte takes its
// neighbour from the target): the words up to the next row one by one, then whole rows as blocks
// when the driver writes blocks, then the rest one by one. 1 on success, 0 on a failure.
int programFlashInPieces(Msp430dDriver *d, uint32_t address, uint32_t length, const uint8_t *bytes,
                         FlashPieceWriter words, FlashPieceWriter blocks);
} // namespace msp430d

} // namespace zim::msp430
