// A simulated MSP430 of the 1xx/2xx/4xx families behind its JTAG pins: the 16-state TAP, the
// instruction and data registers of the JTAG access, the control signal register and the
// TCLK-driven bus, the watchdog, the FLASH controller (passwords, LOCK and LOCKA, erase modes,
// word and block writes, the TCLK periods each operation needs), the EEM register file with
// triggers that stop the CPU, the fuse and the ID bytes. It counts what the driver under test does to it, and takes faults
// switched per run. Its tables are its own, so a fault in the driver's constants shows.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zim::simulator {
class MSP430Memory;
}

namespace zim::fakes {

class SimJtagPeripherals;

// What the simulated chip is; tests fill it from the device record they mean.
struct SimJtagChip
{
    std::string name;
    // Bytes at 0x0FF0 0x0FF1 0x0FF2 0x0FF3 0x0FF8 0x0FF9 0x0FFD.
    std::array<uint8_t, 7> idBytes{};
    uint8_t fuses = 0;
    uint32_t ramStart = 0x200, ramEnd = 0x9FF;
    uint32_t infoStart = 0x1000, infoSegmentSize = 128;
    uint32_t flashStart = 0x1100;
    // The 2xx family: LOCKA guards segment A and erase all takes the longer time.
    bool family2xx = false;
    uint8_t jtagId = 0x89;
};

// Faults switched for one run.
struct SimJtagFaults
{
    bool fuseBlown = false;
    // No supply reaches the chip even with the regulator on.
    bool unpowered = false;
    // The cable is pulled after this many pin operations (0: never).
    uint64_t cablePulledAfter = 0;
    // One FLASH bit that always reads 1 (address 0: none).
    uint32_t stuckAddress = 0;
    uint8_t stuckMask = 0;
};

struct SimJtagCounters
{
    uint64_t pinWrites = 0;
    uint64_t tdoReads = 0;
    // Instruction and data shifts completed (update states passed).
    uint64_t irShifts = 0;
    uint64_t drShifts = 0;
    uint64_t tclkPeriods = 0;
    uint64_t unknownInstructions = 0;
    uint64_t unknownOpcodes = 0;
    uint64_t flashWrites = 0;
    uint64_t segmentErases = 0;
    uint64_t massErases = 0;
    // FLASH operations cut short, writes to a locked or busy controller, bad passwords.
    uint64_t flashViolations = 0;
    uint64_t watchdogViolations = 0;
    // Falling edges of RST/NMI and rising edges of the supply that reached the chip.
    uint64_t resetPulses = 0;
    uint64_t powerUps = 0;
};

class SimJtagDevice
{
public:
    explicit SimJtagDevice(const SimJtagChip &chip, const SimJtagFaults &faults = {});
    ~SimJtagDevice();

    // Pins. Each write counts; a pulled cable makes them reach nothing.
    void setPower(bool on);
    void setTest(bool level);
    void setRst(bool level);
    void setTms(bool level);
    void setTck(bool level);
    void setTdi(bool level);
    bool readTdo();
    bool powered() const { return m_powered; }

    // Pulls the cable after this many more pin operations.
    void pullCableAfter(uint64_t operations) { m_faults.cablePulledAfter = m_pinOps + operations; }

    const SimJtagCounters &counters() const { return m_counters; }
    void clearCounters() { m_counters = {}; }

    // Direct looks at the chip for tests (no counting, no JTAG).
    uint8_t peek(uint32_t address) const { return m_memory[address & 0xFFFF]; }
    void poke(uint32_t address, uint8_t value) { m_memory[address & 0xFFFF] = value; }
    bool cpuRunning() const { return m_running; }
    uint16_t watchdogControl() const { return m_wdtctl; }
    uint32_t registerValue(int n) const { return m_regs[n & 15]; }
    uint16_t fctl3() const { return m_fctl3; }
    // The address of the FLASH operation in progress or finished last.
    uint32_t flashAddress() const { return m_flashAddress; }
    // Lets a released CPU run the program for about this many cycles, in slices, on the core
    // simulator; nothing while JTAG holds the CPU. Once JTAG has released the CPU, every pin
    // operation is one more cycle of its time, run before the next capture, so the program
    // moves on while the driver talks to the chip.
    void runFor(uint32_t cycles);
    // An EEM trigger stopped the CPU; the EEM's general control register and the control
    // signal register show it until the debugger clears the stop.
    bool stoppedByTrigger() const { return m_triggerStop; }
    // Every change of a port output register while the program ran: address and new value.
    const std::vector<std::pair<uint32_t, uint8_t>> &portLog() const { return m_portLog; }
    // Errors the core simulator recorded while the program ran.
    uint64_t programErrors() const { return m_programErrors; }

    // The value last written to an EEM register.
    uint32_t eem(uint32_t reg) const
    {
        const auto it = m_eem.find(reg);
        return it == m_eem.end() ? 0 : it->second;
    }

private:
    enum Tap {
        TestLogicReset, RunTestIdle, SelectDr, CaptureDr, ShiftDr, Exit1Dr, PauseDr, Exit2Dr, UpdateDr,
        SelectIr, CaptureIr, ShiftIr, Exit1Ir, PauseIr, Exit2Ir, UpdateIr
    };
    bool pinReachesChip();
    void tckRise();
    void captureDr();
    void updateDr();
    void updateIr();
    int drWidth() const;
    void tclkRise();
    void powerOnReset();
    void busWrite(uint32_t address, uint16_t value, bool byte);
    uint16_t busRead(uint32_t address, bool byte) const;
    void flashControllerWrite(uint32_t address, uint16_t value);
    void flashWrite(uint32_t address, uint16_t value, bool byte);
    bool inSegmentA(uint32_t address) const;
    bool isFlash(uint32_t address) const;
    void finishFlashOperation();
    void abortFlashOperation();
    void injectedWord(uint16_t word);
    void runCpu(uint64_t cycles);
    // JTAG takes the CPU: it stops where it is and its time stops.
    void seizeCpu();
    // The EEM: what a register reads as, what a write does, which triggers match one bus
    // cycle, and whether those matches stop the CPU.
    uint32_t eemRead(uint32_t reg) const;
    void eemWrite(uint32_t reg, uint32_t value);
    bool triggersArmed() const;
    uint32_t triggerMatches(uint32_t access, uint32_t address, uint32_t data) const;
    bool breaks(uint32_t matches) const;

    SimJtagChip m_chip;
    SimJtagFaults m_faults;
    SimJtagCounters m_counters;
    std::vector<uint8_t> m_memory;
    uint64_t m_pinOps = 0;

    bool m_powered = false;
    bool m_tms = true, m_tck = true, m_tdi = true, m_tdo = true;
    Tap m_tap = TestLogicReset;
    uint8_t m_irShift = 0;
    uint8_t m_ir = 0xFF;
    uint32_t m_drShift = 0;
    int m_drBits = 0;

    uint16_t m_control = 0;
    uint16_t m_mab = 0;
    uint16_t m_mdb = 0;
    bool m_writePending = false;
    bool m_running = false;
    // The CPU runs because JTAG released it; pin operations are its time then.
    bool m_released = false;
    uint64_t m_pendingCycles = 0;
    // The release itself fetched the first instruction, so no trigger sees that fetch.
    bool m_skipFetchCheck = false;
    bool m_triggerStop = false;
    uint32_t m_regs[16] = {};
    // Instruction injection through the data register: the opcode waiting for its operand.
    int m_injectStage = 0;
    uint16_t m_injectOpcode = 0;
    // EEM access: the register a data exchange names, or -1 while none is named.
    int m_eemRegister = -1;
    bool m_eemRead = false;
    std::map<uint32_t, uint32_t> m_eem;
    uint16_t m_psa = 0;

    uint16_t m_wdtctl = 0x6900;
    uint16_t m_fctl1 = 0x9600, m_fctl2 = 0x9642, m_fctl3 = 0x9658;
    // The FLASH operation in progress and the TCLK periods it still needs.
    enum class FlashOp { None, Word, BlockWord, Segment, Mass };
    FlashOp m_flashOp = FlashOp::None;
    uint64_t m_flashPeriodsLeft = 0;
    uint32_t m_flashAddress = 0;
    uint16_t m_flashValue = 0;
    bool m_flashByte = false;
    int64_t m_blockRow = -1;
    std::vector<std::pair<uint32_t, uint8_t>> m_portLog;
    uint64_t m_programErrors = 0;
    // The core simulator's view of the chip while its CPU runs, made once: building a 1 MB
    // memory image for every few cycles of a step would cost more than the step.
    std::unique_ptr<SimJtagPeripherals> m_peripherals;
    std::unique_ptr<simulator::MSP430Memory> m_cpuMemory;
    friend class SimJtagPeripherals;
};

} // namespace zim::fakes
