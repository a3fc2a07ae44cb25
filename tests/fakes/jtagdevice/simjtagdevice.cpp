// The simulated JTAG MSP430: TAP, data registers, the TCLK-driven bus and the FLASH controller.
#include "fakes/jtagdevice/simjtagdevice.h"

#include "simulator/msp430cpu.h"
#include "simulator/peripheralbus.h"

#include <algorithm>

namespace zim::fakes {

namespace {

// The chip's own instruction codes, as they arrive least significant bit first.
enum : uint8_t {
    IrEemDataExchange = 0x09,
    IrCntrlSigHighByte = 0x11,
    IrCntrlSigLowByte = 0x12,
    IrCntrlSig16Bit = 0x13,
    IrCntrlSigCapture = 0x14,
    IrCntrlSigRelease = 0x15,
    IrFlash16BitUpdate = 0x19,
    IrPrepareBlow = 0x22,
    IrExBlow = 0x24,
    IrFlashCapture = 0x28,
    IrConfigFuses = 0x29,
    IrData16Bit = 0x41,
    IrDataCapture = 0x42,
    IrDataQuick = 0x43,
    IrDataPsa = 0x44,
    IrShiftOutPsa = 0x46,
    IrAddr16Bit = 0x83,
    IrAddrCapture = 0x84,
    IrDataToAddr = 0x85,
    IrBypass = 0xFF,
};

// Control signal register bits.
constexpr uint16_t kReadWrite = 0x0001;
constexpr uint16_t kByte = 0x0010;
constexpr uint16_t kPor = 0x0800;
constexpr uint16_t kTce = 0x0200;
constexpr uint16_t kInstrLoad = 0x0080;
// Read only: an EEM trigger has suspended the CPU.
constexpr uint16_t kCpuSuspended = 0x0100;

// The EEM as this chip decodes it. Trigger t owns registers 8t (value), 8t + 2 (control),
// 8t + 4 (mask: set bits take no part in the comparison) and 8t + 6 (combination: the
// triggers that must all match on one bus cycle for trigger t to react).
constexpr uint32_t kEemTriggers = 8;
constexpr uint32_t kEemBreakReact = 0x80;
constexpr uint32_t kEemGeneralControl = 0x82;
constexpr uint32_t kEemEnable = 0x01, kEemClearStop = 0x02, kEemStopped = 0x80;
// Trigger control: bit 0 compares the data bus instead of the address bus; bits 0x18 the
// comparison; bits 0x66 the bus cycle.
constexpr uint32_t kTriggerDataBus = 0x01;
constexpr uint32_t kTriggerComparison = 0x18;
constexpr uint32_t kCompareEqual = 0x00, kCompareAtLeast = 0x08, kCompareAtMost = 0x10;
constexpr uint32_t kTriggerCycle = 0x66;
constexpr uint32_t kCycleFetch = 0x00, kCycleRead = 0x24, kCycleWrite = 0x26;

// FLASH controller registers and bits.
constexpr uint32_t kFctl1 = 0x0128, kFctl2 = 0x012A, kFctl3 = 0x012C, kWdtctl = 0x0120;
constexpr uint16_t kErase = 0x02, kMeras = 0x04, kWrt = 0x40, kBlkwrt = 0x80;
constexpr uint16_t kBusy = 0x01, kLock = 0x10, kLockA = 0x40;

// TCLK periods (the FLASH timing generator runs from TCLK while JTAG holds the CPU) that
// each operation needs before the bus is touched again.
constexpr uint64_t kWordPeriods = 30;
constexpr uint64_t kBlockWordPeriods = 18;
constexpr uint64_t kSegmentErasePeriods = 4819;
constexpr uint64_t kMassErasePeriods = 5297;
constexpr uint64_t kMassErasePeriods2xx = 10593;

bool isKnownInstruction(uint8_t ir)
{
    switch (ir) {
    case IrEemDataExchange: case IrCntrlSigHighByte: case IrCntrlSigLowByte: case IrCntrlSig16Bit:
    case IrCntrlSigCapture: case IrCntrlSigRelease: case IrFlash16BitUpdate: case IrPrepareBlow: case IrExBlow:
    case IrFlashCapture: case IrConfigFuses: case IrData16Bit: case IrDataCapture: case IrDataQuick: case IrDataPsa:
    case IrShiftOutPsa: case IrAddr16Bit: case IrAddrCapture: case IrDataToAddr: case IrBypass:
        return true;
    default:
        return false;
    }
}

} // namespace

SimJtagDevice::SimJtagDevice(const SimJtagChip &chip, const SimJtagFaults &faults)
    : m_chip(chip), m_faults(faults), m_memory(0x10000, 0x00)
{
    std::fill(m_memory.begin() + m_chip.infoStart, m_memory.begin() + m_chip.infoStart + 256, 0xFF);
    std::fill(m_memory.begin() + m_chip.flashStart, m_memory.end(), 0xFF);
    static const uint32_t idAddresses[7] = {0x0FF0, 0x0FF1, 0x0FF2, 0x0FF3, 0x0FF8, 0x0FF9, 0x0FFD};
    for (int i = 0; i < 7; ++i)
        m_memory[idAddresses[i]] = m_chip.idBytes[size_t(i)];
}

bool SimJtagDevice::pinReachesChip()
{
    ++m_pinOps;
    const bool reaches = m_powered && !(m_faults.cablePulledAfter && m_pinOps > m_faults.cablePulledAfter);
    if (reaches && m_running && m_released)
        ++m_pendingCycles;
    return reaches;
}

void SimJtagDevice::seizeCpu()
{
    m_running = false;
    m_released = false;
    m_pendingCycles = 0;
}

void SimJtagDevice::setPower(bool on)
{
    ++m_counters.pinWrites;
    const bool was = m_powered;
    m_powered = on && !m_faults.unpowered;
    if (m_powered && !was) {
        ++m_counters.powerUps;
        m_tap = TestLogicReset;
        m_ir = IrBypass;
        m_eem.clear();
        m_triggerStop = false;
        powerOnReset();
        m_running = true;
        m_released = false;
    }
}

void SimJtagDevice::setTest(bool)
{
    ++m_counters.pinWrites;
    pinReachesChip();
}

void SimJtagDevice::setRst(bool level)
{
    ++m_counters.pinWrites;
    if (pinReachesChip() && !level) {
        ++m_counters.resetPulses;
        powerOnReset();
    }
}

void SimJtagDevice::setTms(bool level)
{
    ++m_counters.pinWrites;
    if (pinReachesChip())
        m_tms = level;
}

void SimJtagDevice::setTck(bool level)
{
    ++m_counters.pinWrites;
    if (!pinReachesChip())
        return;
    const bool rising = level && !m_tck, falling = !level && m_tck;
    m_tck = level;
    if (rising)
        tckRise();
    // TDO changes on the falling edge, so it holds its bit across the next rising edge.
    if (falling && m_tap == ShiftIr)
        m_tdo = m_irShift & 1;
    else if (falling && m_tap == ShiftDr)
        m_tdo = (m_drShift >> (m_drBits - 1)) & 1;
}

void SimJtagDevice::setTdi(bool level)
{
    ++m_counters.pinWrites;
    if (!pinReachesChip())
        return;
    const bool rising = level && !m_tdi;
    m_tdi = level;
    // While the TAP idles, TDI is the CPU's clock.
    if (rising && m_tap == RunTestIdle)
        tclkRise();
}

bool SimJtagDevice::readTdo()
{
    ++m_counters.tdoReads;
    if (!pinReachesChip())
        return true;
    return m_tdo;
}

int SimJtagDevice::drWidth() const
{
    if (m_faults.fuseBlown || m_ir == IrBypass || !isKnownInstruction(m_ir))
        return 1;
    switch (m_ir) {
    case IrCntrlSigHighByte: case IrCntrlSigLowByte: case IrConfigFuses:
        return 8;
    default:
        return 16;
    }
}

void SimJtagDevice::tckRise()
{
    // What the program did meanwhile shows in whatever is captured next.
    if (m_pendingCycles && (m_tap == CaptureIr || m_tap == CaptureDr)) {
        const uint64_t cycles = m_pendingCycles;
        m_pendingCycles = 0;
        runCpu(cycles);
    }
    switch (m_tap) {
    case CaptureIr: {
        // The ID leaves most significant bit first: the register holds it reversed.
        uint8_t reversed = 0;
        for (int i = 0; i < 8; ++i)
            reversed = uint8_t(reversed | (((m_chip.jtagId >> i) & 1) << (7 - i)));
        m_irShift = reversed;
        break;
    }
    case ShiftIr:
        m_irShift = uint8_t((m_irShift >> 1) | (m_tdi ? 0x80 : 0));
        break;
    case UpdateIr:
        updateIr();
        break;
    case CaptureDr:
        captureDr();
        break;
    case ShiftDr: {
        const uint32_t mask = (1u << m_drBits) - 1;
        m_drShift = ((m_drShift << 1) | (m_tdi ? 1 : 0)) & mask;
        break;
    }
    case UpdateDr:
        updateDr();
        break;
    default:
        break;
    }
    static const Tap next[16][2] = {
        {RunTestIdle, TestLogicReset}, {RunTestIdle, SelectDr}, {CaptureDr, SelectIr}, {ShiftDr, Exit1Dr},
        {ShiftDr, Exit1Dr}, {PauseDr, UpdateDr}, {PauseDr, Exit2Dr}, {ShiftDr, UpdateDr},
        {RunTestIdle, SelectDr}, {CaptureIr, TestLogicReset}, {ShiftIr, Exit1Ir}, {ShiftIr, Exit1Ir},
        {PauseIr, UpdateIr}, {PauseIr, Exit2Ir}, {ShiftIr, UpdateIr}, {RunTestIdle, SelectDr},
    };
    m_tap = next[m_tap][m_tms ? 1 : 0];
    if (m_tap == TestLogicReset)
        m_ir = IrBypass;
}

void SimJtagDevice::updateIr()
{
    ++m_counters.irShifts;
    m_ir = m_irShift;
    if (!isKnownInstruction(m_ir))
        ++m_counters.unknownInstructions;
    if (m_faults.fuseBlown)
        return;
    m_eemRegister = -1;
    m_injectStage = 0;
    if (m_ir == IrDataPsa)
        m_psa = m_mdb;
    if (m_ir == IrCntrlSigRelease) {
        if (!m_running) {
            m_pendingCycles = 0;
            m_skipFetchCheck = true;
        }
        m_running = true;
        m_released = true;
    }
}

void SimJtagDevice::captureDr()
{
    m_drBits = drWidth();
    uint32_t value = 0;
    if (m_drBits > 1) {
        switch (m_ir) {
        // The CPU sits at an instruction fetch unless an injected opcode waits for its operand.
        case IrCntrlSig16Bit: case IrCntrlSigCapture:
            value = m_control | kTce | (m_triggerStop ? kCpuSuspended : 0) | (m_injectStage == 2 ? 0 : kInstrLoad);
            break;
        case IrCntrlSigHighByte: value = m_control >> 8; break;
        case IrCntrlSigLowByte: value = m_control & 0xFF; break;
        case IrAddr16Bit: case IrAddrCapture: value = m_mab; break;
        case IrDataToAddr: value = (m_control & kReadWrite) ? busRead(m_mab, m_control & kByte) : m_mdb; break;
        case IrData16Bit: case IrDataCapture: case IrDataQuick: value = m_mdb; break;
        case IrShiftOutPsa: value = m_psa; break;
        case IrEemDataExchange:
            value = (m_eemRegister >= 0 && m_eemRead) ? eemRead(uint32_t(m_eemRegister)) : 0;
            break;
        case IrConfigFuses: value = m_chip.fuses; break;
        default: break;
        }
    }
    m_drShift = value;
}

void SimJtagDevice::updateDr()
{
    ++m_counters.drShifts;
    if (m_drBits <= 1)
        return;
    const uint16_t value = uint16_t(m_drShift);
    switch (m_ir) {
    case IrCntrlSig16Bit:
        m_control = value;
        seizeCpu();
        if (value & kPor)
            powerOnReset();
        break;
    case IrCntrlSigHighByte:
        m_control = uint16_t((value << 8) | (m_control & 0xFF));
        seizeCpu();
        break;
    case IrCntrlSigLowByte:
        m_control = uint16_t((m_control & 0xFF00) | (value & 0xFF));
        seizeCpu();
        break;
    case IrAddr16Bit:
        m_mab = value;
        break;
    case IrDataToAddr:
        if (!(m_control & kReadWrite)) {
            m_mdb = value;
            m_writePending = true;
        }
        break;
    case IrData16Bit:
        m_mdb = value;
        m_injectStage = m_injectStage ? m_injectStage : 1;
        break;
    case IrEemDataExchange:
        if (m_eemRegister < 0) {
            m_eemRegister = value & 0xFFFE;
            m_eemRead = value & 1;
        } else {
            if (!m_eemRead)
                eemWrite(uint32_t(m_eemRegister), value);
            m_eemRegister = -1;
        }
        break;
    default:
        break;
    }
}

void SimJtagDevice::tclkRise()
{
    ++m_counters.tclkPeriods;
    if (m_running)
        return;
    if (m_flashOp != FlashOp::None && --m_flashPeriodsLeft == 0)
        finishFlashOperation();
    if (m_writePending) {
        m_writePending = false;
        busWrite(m_mab, m_mdb, m_control & kByte);
    }
    if (m_ir == IrData16Bit && m_injectStage) {
        injectedWord(m_mdb);
    } else if (m_ir == IrDataPsa) {
        // The CPU fetches the next word and the port folds it into the signature.
        const uint16_t word = busRead(m_regs[0], false);
        m_regs[0] = (m_regs[0] + 2) & 0xFFFF;
        m_psa = (m_psa & 0x8000) ? uint16_t(((m_psa ^ 0x0805) << 1) | 1) : uint16_t(m_psa << 1);
        m_psa ^= word;
    }
}

uint32_t SimJtagDevice::eemRead(uint32_t reg) const
{
    if (reg == kEemGeneralControl)
        return eem(reg) | (m_triggerStop ? kEemStopped : 0);
    return eem(reg);
}

void SimJtagDevice::eemWrite(uint32_t reg, uint32_t value)
{
    if (reg == kEemGeneralControl) {
        // Clearing the stop is a strobe, and the stop flag reads from the latch.
        if (value & kEemClearStop)
            m_triggerStop = false;
        value &= ~(kEemClearStop | kEemStopped);
    }
    m_eem[reg] = value;
}

bool SimJtagDevice::triggersArmed() const
{
    return (eem(kEemGeneralControl) & kEemEnable) && (eem(kEemBreakReact) & ((1u << kEemTriggers) - 1));
}

uint32_t SimJtagDevice::triggerMatches(uint32_t cycle, uint32_t address, uint32_t data) const
{
    uint32_t matches = 0;
    for (uint32_t t = 0; t < kEemTriggers; ++t) {
        const uint32_t control = eem(8 * t + 2);
        if ((control & kTriggerCycle) != cycle)
            continue;
        const uint32_t care = ~eem(8 * t + 4) & 0xFFFF;
        const uint32_t seen = ((control & kTriggerDataBus) ? data : address) & care;
        const uint32_t wanted = eem(8 * t) & care;
        bool match;
        switch (control & kTriggerComparison) {
        case kCompareEqual: match = seen == wanted; break;
        case kCompareAtLeast: match = seen >= wanted; break;
        case kCompareAtMost: match = seen <= wanted; break;
        default: match = seen != wanted; break;
        }
        matches |= uint32_t(match) << t;
    }
    return matches;
}

bool SimJtagDevice::breaks(uint32_t matches) const
{
    const uint32_t react = eem(kEemBreakReact);
    for (uint32_t t = 0; t < kEemTriggers; ++t) {
        const uint32_t together = eem(8 * t + 6) & 0xFFFF;
        if ((react >> t & 1) && together && (matches & together) == together)
            return true;
    }
    return false;
}

// The instructions a debugger injects: register loads and stores, status register changes.
void SimJtagDevice::injectedWord(uint16_t word)
{
    if (m_injectStage == 1) {
        m_injectOpcode = word;
        if ((word & 0xF0FF) == 0x4082 || (word & 0xFFF0) == 0x4030 || word == 0xD034 || word == 0xC032) {
            m_injectStage = 2;
        } else if (word != 0x4303 && word != 0x3FFF) {
            ++m_counters.unknownOpcodes;
        }
        return;
    }
    // The operand of the opcode before.
    const uint16_t op = m_injectOpcode;
    if ((op & 0xF0FF) == 0x4082)
        m_mdb = uint16_t(m_regs[(op >> 8) & 15]);
    else if ((op & 0xFFF0) == 0x4030)
        m_regs[op & 15] = word;
    else if (op == 0xC032)
        m_regs[2] &= ~uint32_t(word);
    m_injectStage = 1;
}

void SimJtagDevice::powerOnReset()
{
    m_fctl1 = 0x9600;
    m_fctl3 = uint16_t(0x9618 | (m_chip.family2xx ? kLockA : 0));
    m_wdtctl = 0x6900;
    m_flashOp = FlashOp::None;
    m_writePending = false;
    for (uint32_t &r : m_regs)
        r = 0;
    m_regs[0] = uint32_t(m_memory[0xFFFE] | (m_memory[0xFFFF] << 8));
}

bool SimJtagDevice::isFlash(uint32_t address) const
{
    return (address >= m_chip.infoStart && address < m_chip.infoStart + 256) || address >= m_chip.flashStart;
}

bool SimJtagDevice::inSegmentA(uint32_t address) const
{
    return m_chip.family2xx && address >= m_chip.infoStart + 0xC0 && address < m_chip.infoStart + 0x100;
}

uint16_t SimJtagDevice::busRead(uint32_t address, bool byte) const
{
    address &= 0xFFFF;
    uint16_t value;
    switch (address & 0xFFFE) {
    case kWdtctl: value = uint16_t(0x6900 | (m_wdtctl & 0xFF)); break;
    case kFctl1: value = m_fctl1; break;
    case kFctl2: value = m_fctl2; break;
    case kFctl3: value = uint16_t(m_fctl3 | (m_flashOp != FlashOp::None ? kBusy : 0)); break;
    default:
        if (byte)
            return m_memory[address];
        return uint16_t(m_memory[address & 0xFFFE] | (m_memory[(address & 0xFFFE) + 1] << 8));
    }
    if (byte)
        return (address & 1) ? value >> 8 : value & 0xFF;
    return value;
}

void SimJtagDevice::busWrite(uint32_t address, uint16_t value, bool byte)
{
    address &= 0xFFFF;
    // Touching the bus while the FLASH is busy ends the operation early.
    if (m_flashOp != FlashOp::None)
        abortFlashOperation();
    if (address == kFctl1 || address == kFctl2 || address == kFctl3) {
        flashControllerWrite(address, value);
        return;
    }
    if (address == kWdtctl) {
        if ((value >> 8) != 0x5A)
            ++m_counters.watchdogViolations;
        else
            m_wdtctl = uint16_t(0x6900 | (value & 0xFF));
        return;
    }
    if (isFlash(address)) {
        flashWrite(address, value, byte);
        return;
    }
    if (byte) {
        m_memory[address] = uint8_t(value);
    } else {
        m_memory[address & 0xFFFE] = uint8_t(value);
        m_memory[(address & 0xFFFE) + 1] = uint8_t(value >> 8);
    }
}

void SimJtagDevice::flashControllerWrite(uint32_t address, uint16_t value)
{
    if ((value >> 8) != 0xA5) {
        ++m_counters.flashViolations;
        return;
    }
    const uint16_t low = value & 0xFF;
    if (address == kFctl1) {
        m_fctl1 = uint16_t(0x9600 | low);
        m_blockRow = -1;
    } else if (address == kFctl2) {
        m_fctl2 = uint16_t(0x9600 | low);
    } else {
        uint16_t lockA = m_fctl3 & kLockA;
        // LOCKA toggles when written with 1.
        if (m_chip.family2xx && (low & kLockA))
            lockA ^= kLockA;
        m_fctl3 = uint16_t(0x9600 | (low & ~(kLockA | kBusy)) | lockA);
    }
}

void SimJtagDevice::flashWrite(uint32_t address, uint16_t value, bool byte)
{
    const bool erase = m_fctl1 & (kErase | kMeras);
    const bool write = m_fctl1 & (kWrt | kBlkwrt);
    if ((m_fctl3 & kLock) || (!erase && !write) || (inSegmentA(address) && (m_fctl3 & kLockA) && !(m_fctl1 & kMeras))) {
        ++m_counters.flashViolations;
        return;
    }
    m_flashAddress = address;
    m_flashValue = value;
    m_flashByte = byte;
    if (erase) {
        m_flashOp = (m_fctl1 & kMeras) ? FlashOp::Mass : FlashOp::Segment;
        m_flashPeriodsLeft = m_flashOp == FlashOp::Segment ? kSegmentErasePeriods
                             : m_chip.family2xx           ? kMassErasePeriods2xx
                                                          : kMassErasePeriods;
    } else {
        m_flashOp = (m_fctl1 & kBlkwrt) ? FlashOp::BlockWord : FlashOp::Word;
        // One block write stays inside one 64-byte row.
        if (m_flashOp == FlashOp::BlockWord) {
            const int64_t row = address >> 6;
            if (m_blockRow >= 0 && m_blockRow != row) {
                ++m_counters.flashViolations;
                m_flashOp = FlashOp::None;
                return;
            }
            m_blockRow = row;
        }
        m_flashPeriodsLeft = m_flashOp == FlashOp::BlockWord ? kBlockWordPeriods : kWordPeriods;
    }
}

void SimJtagDevice::abortFlashOperation()
{
    ++m_counters.flashViolations;
    m_flashOp = FlashOp::None;
}

void SimJtagDevice::finishFlashOperation()
{
    const FlashOp op = m_flashOp;
    m_flashOp = FlashOp::None;
    auto erase = [this](uint32_t first, uint32_t last) {
        for (uint32_t a = first; a <= last; ++a)
            if (!(inSegmentA(a) && (m_fctl3 & kLockA)))
                m_memory[a] = 0xFF;
    };
    switch (op) {
    case FlashOp::Word:
    case FlashOp::BlockWord:
        ++m_counters.flashWrites;
        if (m_flashByte) {
            m_memory[m_flashAddress] &= uint8_t(m_flashValue);
        } else {
            m_memory[m_flashAddress & 0xFFFE] &= uint8_t(m_flashValue);
            m_memory[(m_flashAddress & 0xFFFE) + 1] &= uint8_t(m_flashValue >> 8);
        }
        break;
    case FlashOp::Segment: {
        ++m_counters.segmentErases;
        const uint32_t a = m_flashAddress;
        if (a >= m_chip.infoStart && a < m_chip.infoStart + 256) {
            const uint32_t first = a & ~(m_chip.infoSegmentSize - 1);
            erase(first, first + m_chip.infoSegmentSize - 1);
        } else {
            const uint32_t first = std::max(a & ~0x1FFu, m_chip.flashStart);
            erase(first, (a & ~0x1FFu) + 0x1FF);
        }
        break;
    }
    case FlashOp::Mass:
        ++m_counters.massErases;
        erase(m_chip.flashStart, 0xFFFF);
        if (m_fctl1 & kErase)
            erase(m_chip.infoStart, m_chip.infoStart + 255);
        break;
    case FlashOp::None:
        break;
    }
    if (m_faults.stuckAddress)
        m_memory[m_faults.stuckAddress & 0xFFFF] |= m_faults.stuckMask;
}

// The chip's peripheral bus while its CPU runs: port outputs logged, the watchdog and FLASH
// controller the chip's own.
class SimJtagPeripherals final : public simulator::PeripheralBus, public simulator::SimulatorObserver
{
public:
    explicit SimJtagPeripherals(SimJtagDevice &chip) : m_chip(chip) {}
    void reset() override {}
    int pollForInterrupts(uint32_t) override { return -1; }
    uint32_t loadPeripheral(uint32_t address) override
    {
        if (address >= 0x100)
            return m_chip.busRead(address, false);
        return m_chip.m_memory[address];
    }
    void storePeripheral(uint32_t address, uint32_t value) override
    {
        if (address >= 0x100) {
            if ((address & 0xFFFE) == 0x0120 || (address >= 0x0128 && address <= 0x012D))
                m_chip.busWrite(address, uint16_t(value), false);
            else
                m_chip.m_memory[address] = uint8_t(value), m_chip.m_memory[address + 1] = uint8_t(value >> 8);
            return;
        }
        static const uint32_t outputs[] = {0x19, 0x1D, 0x21, 0x29, 0x31, 0x35};
        if (std::find(std::begin(outputs), std::end(outputs), address) != std::end(outputs)
            && m_chip.m_memory[address] != uint8_t(value))
            m_chip.m_portLog.emplace_back(address, uint8_t(value));
        m_chip.m_memory[address] = uint8_t(value);
    }
    void recordError(simulator::SimulatorError, uint32_t) override { ++m_chip.m_programErrors; }
    // Data triggers watch every access; a match stops the CPU after the instruction.
    void startSlice() { attention = dataBreak = false; }
    void memoryAccessed(uint32_t address, unsigned, uint32_t value, bool write) override
    {
        if (m_chip.breaks(m_chip.triggerMatches(write ? kCycleWrite : kCycleRead, address & 0xFFFF, value & 0xFFFF)))
            dataBreak = attention = true;
    }
    void registerAccessed(unsigned, uint32_t, bool) override {}
    void pcWritten(uint32_t) override {}

    bool attention = false;
    bool dataBreak = false;

private:
    SimJtagDevice &m_chip;
};

void SimJtagDevice::runFor(uint32_t cycles) { runCpu(cycles); }

SimJtagDevice::~SimJtagDevice() = default;

void SimJtagDevice::runCpu(uint64_t cycles)
{
    if (!m_running || !m_powered || cycles == 0)
        return;
    if (!m_cpuMemory) {
        m_peripherals = std::make_unique<SimJtagPeripherals>(*this);
        simulator::MSP430MemoryLimits limits;
        limits.ramStart = m_chip.ramStart;
        limits.ramEnd = m_chip.ramEnd;
        limits.infoStart = m_chip.infoStart;
        limits.infoEnd = m_chip.infoStart + 255;
        limits.flashStart = m_chip.flashStart;
        limits.flashEnd = 0xFFFF;
        m_cpuMemory = std::make_unique<simulator::MSP430Memory>(limits, false, m_peripherals.get());
        m_cpuMemory->setPeripheralBus(m_peripherals.get());
    }
    SimJtagPeripherals &peripherals = *m_peripherals;
    simulator::MSP430Memory &memory = *m_cpuMemory;
    peripherals.startSlice();
    // The chip's memory as JTAG left it.
    memory.writeBytes(0x200, 0x10000 - 0x200, &m_memory[0x200]);
    msp430::MSP430Registers registers(false);
    for (int n = 0; n < 16; ++n)
        registers.write(n, m_regs[n]);
    simulator::MSP430Cpu cpu(registers, memory, peripherals);
    // With triggers armed the CPU goes one instruction at a time and every fetch is compared
    // before the instruction runs; otherwise in slices of a few thousand cycles.
    const bool armed = triggersArmed();
    memory.setWatching(armed);
    for (uint64_t done = 0; done < cycles;) {
        if (armed && !m_skipFetchCheck && breaks(triggerMatches(kCycleFetch, registers.read(0) & 0xFFFF, 0))) {
            m_triggerStop = true;
            seizeCpu();
            break;
        }
        m_skipFetchCheck = false;
        const uint32_t budget = armed ? 0 : uint32_t(std::min<uint64_t>(4096, cycles - done));
        done += std::max<uint32_t>(1, cpu.run(simulator::RunSlice{budget, nullptr, 0, 0, &peripherals.attention}));
        if (peripherals.dataBreak) {
            m_triggerStop = true;
            seizeCpu();
            break;
        }
        if (cpu.finish() == simulator::MSP430Cpu::Finish::SelfJump)
            break;
    }
    memory.setWatching(false);
    for (int n = 0; n < 16; ++n)
        m_regs[n] = registers.read(n);
    memory.readBytes(m_chip.ramStart, m_chip.ramEnd - m_chip.ramStart + 1, &m_memory[m_chip.ramStart]);
}

} // namespace zim::fakes
