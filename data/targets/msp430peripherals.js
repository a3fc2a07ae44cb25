// msp430peripherals.js: the simulator's model of the peripherals small MSP430 firmware uses first.
//
// The simulator calls four functions of this file:
//   reset()                    after every reset of the simulated device (power-up included);
//   pollForInterrupts(cycles)  every "Interrupt poll interval" cycles while SR.GIE is set; returns
//                              the number (0..15) of the interrupt vector to enter, or nothing;
//   loadPeripheral(address)    a read below 0x200: a byte below 0x100, a word from 0x100 up;
//   storePeripheral(address, value)  the matching write.
//
// Besides Script.Echo (a line of text on standard output), the simulator gives this file:
//   Simulator.cycles()       the cycle counter (MCLK cycles since the last reset, 32 bits); in a
//                            load or store, the count at the end of the accessing instruction;
//   Simulator.write(byte)    writes one raw byte (or a string's UTF-8 bytes) to the peripheral
//                            output: standard output, or the file named by the simulator property
//                            "Peripheral Output File";
//   Simulator.read()         the next byte of the file named by "Peripheral Input File", or -1;
//   Simulator.resetTarget()  resets the device (as a power-up clear) before the next instruction;
//   Simulator.device()       the device table's name of the simulated device ("" when none).
// and TargetInterface.message(text), a line that -verbose shows.
//
// The family, and with it the vector layout, follows the simulated device: MSP430F1xx devices
// (and a run with no device selected) are x1xx devices, MSP430F2xx and G2xx devices are x2xx
// devices. The model covers no other family: for such a device it says so once (-verbose
// shows it), raises no interrupt and leaves every address below 0x200 plain memory that reads
// back what was last written (0 before that).
//
// Modelled, as the MSP430x1xx and x2xx family user's guides describe them:
//   special function registers IE1/IE2, IFG1/IFG2, ME1/ME2;
//   watchdog timer (password, hold, watchdog and interval modes, reset on time-out);
//   basic clock module (DCO frequency from RSEL, DCO and MOD; ACLK 32768 Hz; XT2; dividers;
//   the oscillator fault flag settles a while after reset);
//   Timer_A3 and Timer_B7 (stop, up, continuous and up/down modes; compare and capture flags,
//   capture of ACLK on Timer_A CCR2 and Timer_B CCR6; TAIV/TBIV; interrupts);
//   USART0 and USART1 (UART or SPI), USCI_A0 and USCI_B0: transmit buffer and shift register,
//   ready flags, interrupts; reception from the peripheral input file; what a port receives for
//   each byte it sends is a setting below (nothing, a fixed byte, or the byte itself);
//   digital I/O ports 1 to 6 (inputs read back the outputs; P1 and P2 interrupt flags).
// Any other address below 0x200 reads back what was last written to it (0 before that).

// --- Settings --------------------------------------------------------------------------------

// Vector numbers depend on the family: "F1" for MSP430x1xx, "F2" for the x2xx devices with 16
// vectors (Timer_A at 9/8, USCI_A0/B0 at 7/6). "" takes it from the simulated device; "F1" or
// "F2" models that family whatever the device.
var FAMILY = "";
// Which serial ports write what they transmit to the peripheral output: USART1 and USCI_A0 are
// the boards' serial ports.
var USART0_OUTPUT = false;
var USART1_OUTPUT = true;
var USCIA0_OUTPUT = true;
// What each port receives for every byte it sends: NO_ANSWER (nothing), a byte (0..255) that the
// device at the other end answers every byte with, or ECHO (the byte itself, a loop back). No
// radio or flash chip is modelled: USART0 receives 0 for every byte, as from a data line that no
// chip drives (the cputest firmware's reference transcript has this receive), so that a chip's
// status never reads back as the command just sent; USCI_B0 loops its bytes back.
var NO_ANSWER = -1;
var ECHO = 256;
var USART0_ANSWER = 0;
var USART1_ANSWER = NO_ANSWER;
var USCIA0_ANSWER = NO_ANSWER;
var USCIB0_ANSWER = ECHO;
// Frequencies in Hz.
var ACLK_HZ = 32768;
var XT2_HZ = 8000000;
// The DCO runs from about 1 kHz (all of RSEL, DCO and MOD zero) up to DCO_MAX_HZ, linearly in
// the 11-bit number RSEL:DCO:MOD.
var DCO_MIN_HZ = 1000;
var DCO_MAX_HZ = 4915200;
// Cycles after a reset before the crystal oscillators stop raising the fault flag.
var OSC_SETTLE_CYCLES = 20000;

var VECTORS_F1 = { port2: 1, usart1tx: 2, usart1rx: 3, port1: 4, timerA1: 5, timerA0: 6, usart0tx: 8,
                   usart0rx: 9, watchdog: 10, timerB1: 12, timerB0: 13, nmi: 14, usciA0tx: -1, usciA0rx: -1 };
var VECTORS_F2 = { port1: 2, port2: 3, usciA0tx: 6, usciA0rx: 7, timerA1: 8, timerA0: 9, watchdog: 10,
                   timerB1: 12, timerB0: 13, nmi: 14, usart0tx: -1, usart0rx: -1, usart1tx: -1, usart1rx: -1 };

// --- State -----------------------------------------------------------------------------------

var announced = false; // the family has been reported (once per load of this file)
var regs;        // plain registers by address
var readers;     // address -> function(address) for modelled reads
var writers;     // address -> function(address, value) for modelled writes
var vectors;
var sfr;         // IE1, IE2, IFG1, IFG2, ME1, ME2 at indexes 0..5

var rawCycles;   // the last value of Simulator.cycles()
var now;         // cycles since reset, not wrapping

// Clocks: tick counts of each clock at cycle clockBase, and their rates in Hz.
var clockBase, aclkBase, smclkBase, mclkHz, smclkHz, aclkHz;
var dcoctl, bcsctl1, bcsctl2, bcsctl3;

var wdtctl, wdtCount, wdtLast;
var oscSettled;
var quietUntil;
var timerQuietAt; // the next enabled timer event as last computed; register writes forget it (0)
var calmUntil;   // before this cycle a sync changes nothing but the timers' counts (see calmHorizon)
var calmLimit;   // the longest horizon the last calmHorizon could give
var boundary;    // the cycle of the last poll
// The longest MSP430 instruction, in cycles.
var MAX_INSTRUCTION_CYCLES = 6;
var timerA, timerB;
var usart0, usart1, usciA0, usciB0;
var serials;     // the four ports, in the order they are synced

function cycleNow() {
    var c = Simulator.cycles();
    now += (c - rawCycles) >>> 0;
    rawCycles = c;
    return now;
}

// --- Clocks ----------------------------------------------------------------------------------

function dcoHz() {
    var code = ((bcsctl1 & 7) << 8) | dcoctl;
    return DCO_MIN_HZ + code * Math.floor((DCO_MAX_HZ - DCO_MIN_HZ) / 2048);
}

function aclkTicks(t) { return aclkBase + (t - clockBase) * aclkHz / mclkHz; }
function smclkTicks(t) { return smclkBase + (t - clockBase) * smclkHz / mclkHz; }

// Recomputes the clock rates after a write to a clock register; time so far keeps its count.
// ACLK timers restart their tick after every write to BCSCTL1 and whenever the ratio of MCLK to
// ACLK changes.
function updateClocks(fromBcsctl1) {
    var t = cycleNow();
    syncAll(t);
    var ratio = mclkHz / aclkHz;
    if (fromBcsctl1 && timerA) {
        rephaseTimer(timerA, t);
        rephaseTimer(timerB, t);
    }
    aclkBase = aclkTicks(t);
    smclkBase = smclkTicks(t);
    clockBase = t;
    var dco = dcoHz();
    var selm = (bcsctl2 >> 6) & 3;
    var mclkSource = selm < 2 ? dco : selm == 2 ? XT2_HZ : ACLK_HZ;
    mclkHz = mclkSource / (1 << ((bcsctl2 >> 4) & 3));
    var smclkSource = (bcsctl2 & 8) ? XT2_HZ : dco;
    smclkHz = smclkSource / (1 << ((bcsctl2 >> 1) & 3));
    aclkHz = ACLK_HZ / (1 << ((bcsctl1 >> 4) & 3));
    if (timerA) {
        timerA.edgeAt = 0;
        timerB.edgeAt = 0;
    }
    if (timerA && mclkHz / aclkHz != ratio) {
        rephaseTimer(timerA, t);
        rephaseTimer(timerB, t);
    }
}

function sourceTicks(source, t) {
    if (source == 1) return aclkTicks(t);
    if (source == 2) return smclkTicks(t);
    return -1; // external clocks do not run
}

// --- Timers ----------------------------------------------------------------------------------

function makeTimer(base, counter, iv, count, vector0, vector1, acklCapture, overflowIv) {
    return { base: base, counterAddress: counter, ivAddress: iv, n: count, ctl: 0, r: 0, pos: 0,
             ccr: [0, 0, 0, 0, 0, 0, 0], cctl: [0, 0, 0, 0, 0, 0, 0], lastTicks: 0, pre: 0,
             vector0: vector0, vector1: vector1, aclkCapture: acklCapture, overflowIv: overflowIv,
             start: 0, startTicks: 0, due: [-1, -1, -1, -1, -1, -1, -1],
             dueMin: -1, quiet: -1, edgeAt: 0 };
}

// A timer counting ACLK counts whole MCLK cycles per ACLK tick from the cycle `start` of its last
// restart, when it had counted startTicks ticks. Restarts happen when the timer is cleared,
// started or loaded and when the clocks change; a restart keeps the part of a tick already
// counted, measured in the new tick length. Its compare registers fire at cycles computed when
// they are written (due), one cycle after the tick they wait for.
function cyclesPerAclk() { return mclkHz / aclkHz; }

function countsAclk(tm) { return ((tm.ctl >> 8) & 3) == 1; }

function aclkTimerTicks(tm, t) { return tm.startTicks + Math.floor((t - tm.start) / cyclesPerAclk()); }

// Cycles of the current tick already passed at t, in whole cycles.
function tickPassed(tm, t) {
    var d = cyclesPerAclk(), ticks = (t - tm.start) / d;
    return Math.floor(d * (ticks - Math.floor(ticks)));
}

function rephaseTimer(tm, t) {
    if (!countsAclk(tm)) return;
    var passed = tickPassed(tm, t);
    tm.startTicks = tm.lastTicks;
    tm.start = t - passed;
}

function timerTicks(tm, source, t) {
    return source == 1 ? aclkTimerTicks(tm, t) : sourceTicks(source, t);
}

// Sets the compare flags of an ACLK timer whose compare cycles have come. dueMin keeps the
// earliest compare cycle between timer writes (-1: not known), so that syncs before it skip the
// channels.
function fireCompares(tm, t) {
    if (t < tm.dueMin) return;
    var due = tm.due, min = Infinity;
    for (var i = 0; i < tm.n; ++i) {
        if (due[i] < 0 || (tm.cctl[i] & 0x100)) continue;
        if (t >= due[i]) {
            if (tm.r < tm.ccr[i]) {
                due[i] = t + Math.floor((tm.ccr[i] - tm.r) * cyclesPerAclk());
            } else {
                tm.cctl[i] |= 1;
                due[i] += Math.floor(0x10000 * cyclesPerAclk() * (1 << ((tm.ctl >> 6) & 3)));
            }
        }
        if (due[i] < min) min = due[i];
    }
    tm.dueMin = min;
}

function timerSource(tm) {
    var ssel = (tm.ctl >> 8) & 3;
    return ssel == 1 ? 1 : ssel == 2 ? 2 : 0;
}

// Whether position `target` is reached when counting steps from pos in a cycle of period.
function reached(target, pos, steps, period) {
    if (steps >= period) return true;
    var d = (target - pos - 1) % period;
    if (d < 0) d += period;
    return d < steps;
}

// Counts steps timer clocks from the timer's current position, setting compare and overflow flags.
function countTimer(tm, steps) {
    if (steps <= 0) return;
    var mode = (tm.ctl >> 4) & 3;
    var i, ccr0 = tm.ccr[0];
    var r = tm.r, d;
    if (mode == 2) {
        // quiet: how many more steps set no flag, from the last count (-1: not known); timer
        // writes forget it.
        if (steps <= tm.quiet) {
            tm.quiet -= steps;
            tm.r = (r + steps) % 0x10000;
            tm.pos = tm.r;
            return;
        }
        // reached(target, r, steps, 0x10000), written out: this runs at every sync of a
        // running timer.
        if (steps >= 0x10000) {
            if (((tm.ctl >> 8) & 3) != 1)
                for (i = 0; i < tm.n; ++i)
                    if (!(tm.cctl[i] & 0x100)) tm.cctl[i] |= 1;
            tm.ctl |= 1;
        } else {
            if (((tm.ctl >> 8) & 3) != 1) {
                var cctl = tm.cctl, ccr = tm.ccr;
                for (i = 0; i < tm.n; ++i) {
                    if (cctl[i] & 0x100) continue;
                    d = (ccr[i] - r - 1) % 0x10000;
                    if (d < 0) d += 0x10000;
                    if (d < steps) cctl[i] |= 1;
                }
            }
            d = (-r - 1) % 0x10000;
            if (d < 0) d += 0x10000;
            if (d < steps) tm.ctl |= 1;
        }
        r = tm.r = (r + steps) % 0x10000;
        tm.pos = r;
        var q = (-r - 1) % 0x10000;
        if (q < 0) q += 0x10000;
        if (((tm.ctl >> 8) & 3) != 1) {
            for (i = 0; i < tm.n; ++i) {
                if (tm.cctl[i] & 0x100) continue;
                d = (tm.ccr[i] - r - 1) % 0x10000;
                if (d < 0) d += 0x10000;
                if (d < q) q = d;
            }
        }
        tm.quiet = q;
        return;
    }
    if (mode == 1 && r > ccr0) {
        for (i = 0; i < tm.n; ++i)
            if (!(tm.cctl[i] & 0x100) && reached(tm.ccr[i], tm.r, steps, 0x10000)) tm.cctl[i] |= 1;
        if (reached(0, tm.r, steps, 0x10000)) tm.ctl |= 1;
        tm.r = (tm.r + steps) % 0x10000;
        tm.pos = tm.r;
        return;
    }
    if (mode == 1) {
        if (ccr0 == 0) return;
        var period = ccr0 + 1;
        for (i = 0; i < tm.n; ++i)
            if (!(tm.cctl[i] & 0x100) && tm.ccr[i] <= ccr0 && reached(tm.ccr[i], tm.r, steps, period)) tm.cctl[i] |= 1;
        if (reached(0, tm.r, steps, period)) tm.ctl |= 1;
        tm.r = (tm.r + steps) % period;
        tm.pos = tm.r;
        return;
    }
    if (mode == 3) {
        if (ccr0 == 0) return;
        var full = 2 * ccr0;
        if (reached(ccr0, tm.pos, steps, full)) tm.cctl[0] |= 1;
        for (i = 1; i < tm.n; ++i) {
            if ((tm.cctl[i] & 0x100) || tm.ccr[i] > ccr0) continue;
            if (reached(tm.ccr[i], tm.pos, steps, full) || reached(full - tm.ccr[i], tm.pos, steps, full)) tm.cctl[i] |= 1;
        }
        if (reached(0, tm.pos, steps, full)) tm.ctl |= 1;
        tm.pos = (tm.pos + steps) % full;
        tm.r = tm.pos <= ccr0 ? tm.pos : full - tm.pos;
    }
}

// Runs the timer up to the source tick count ticks.
function runTimerTo(tm, ticks) {
    var whole = Math.floor(ticks);
    var n = whole - tm.lastTicks;
    tm.lastTicks = whole;
    if (n <= 0 || ((tm.ctl >> 4) & 3) == 0) return;
    var div = 1 << ((tm.ctl >> 6) & 3);
    var total = tm.pre + n;
    tm.pre = total % div;
    countTimer(tm, Math.floor(total / div));
}

// The last ACLK edge (in ACLK ticks) after a and not after b for capture mode cm, or -1.
function lastEdge(cm, a, b) {
    var scale = cm == 3 ? 2 : 1, offset = cm == 2 ? 0.5 : 0;
    var first = Math.floor((a - offset) * scale), last = Math.floor((b - offset) * scale);
    if (last <= first) return -1;
    return { at: last / scale + offset, count: last - first };
}

// Runs at every sync: timerSource, timerTicks, runTimerTo and lastEdge are written out here.
function syncTimer(tm, t, h) {
    var ssel = (tm.ctl >> 8) & 3;
    var source = ssel == 1 ? 1 : ssel == 2 ? 2 : 0;
    if (source == 0) { tm.lastTicks = 0; return; }
    var mode = (tm.ctl >> 4) & 3;
    var ch = tm.aclkCapture;
    var cctl = tm.cctl[ch];
    var cm = cctl >> 14;
    if ((cctl & 0x100) && ((cctl >> 12) & 3) == 1 && cm != 0 && mode != 0) {
        var before = tm.syncedAt === undefined ? t : tm.syncedAt;
        var scale = cm == 3 ? 2 : 1, offset = cm == 2 ? 0.5 : 0;
        var first = Math.floor((aclkBase + (before - clockBase) * aclkHz / mclkHz - offset) * scale);
        var last = Math.floor((aclkBase + (t - clockBase) * aclkHz / mclkHz - offset) * scale);
        if (last > first) {
            var edgeCycle = clockBase + (last / scale + offset - aclkBase) * mclkHz / aclkHz;
            runTimerTo(tm, sourceTicks(source, edgeCycle));
            if ((tm.cctl[ch] & 1) || last - first > 1) tm.cctl[ch] |= 2; // COV
            tm.cctl[ch] |= 1;
            tm.ccr[ch] = tm.r;
        }
        // Two cycles short of the next edge, so that rounding cannot move it earlier.
        if (source == 2)
            tm.edgeAt = Math.floor(clockBase + ((last + 1) / scale + offset - aclkBase) * mclkHz / aclkHz) - 2;
    }
    var whole = source == 1 ? tm.startTicks + Math.floor((t - tm.start) / (mclkHz / aclkHz))
                            : Math.floor(smclkBase + (t - clockBase) * smclkHz / mclkHz);
    var n = whole - tm.lastTicks;
    tm.lastTicks = whole;
    if (n > 0 && mode != 0) {
        var div = 1 << ((tm.ctl >> 6) & 3);
        var total = tm.pre + n;
        tm.pre = total % div;
        countTimer(tm, Math.floor(total / div));
    }
    if (source == 1 && mode == 2) fireCompares(tm, h === undefined ? t : h);
    tm.syncedAt = t;
}

function restartTimer(tm, t) {
    var source = timerSource(tm);
    tm.start = source == 1 ? t - tickPassed(tm, t) : t;
    tm.startTicks = 0;
    tm.lastTicks = source == 0 ? 0 : Math.floor(timerTicks(tm, source, t));
    tm.syncedAt = t;
}

// The highest pending interrupt source of the timer's second vector, as TAIV/TBIV numbers it.
function timerIv(tm) {
    for (var i = 1; i < tm.n; ++i)
        if ((tm.cctl[i] & 0x11) == 0x11) return 2 * i;
    if ((tm.ctl & 3) == 3) return tm.overflowIv;
    return 0;
}

function timerRead(tm, offset) {
    var c = Simulator.cycles();
    var t = now += (c - rawCycles) >>> 0;
    rawCycles = c;
    if (t < calmUntil) {
        // A capture/compare control register that the count cannot change before calmUntil is
        // the answer, and the timer's count can wait for a later sync: an SMCLK timer's ACLK
        // capture channel before its next edge (edgeAt), or a compare channel of an ACLK timer
        // in continuous mode, whose compares come no earlier than the calm horizon (with no
        // ACLK capture to catch meanwhile). The sync's time is noted as a sync would.
        if (offset >= 2 && offset <= 0x0E) {
            var i = (offset - 2) >> 1, ch = tm.aclkCapture;
            if (i == ch ? t < tm.edgeAt
                        : (tm.ctl & 0x330) == 0x120 && !(tm.cctl[ch] & 0x100) && !(tm.cctl[i] & 0x100)) {
                tm.syncedAt = t;
                return tm.cctl[i];
            }
        }
        syncTimer(tm, t, t >= boundary && t - boundary <= MAX_INSTRUCTION_CYCLES ? boundary : t);
    } else {
        syncEverything(t);
    }
    if (offset == 0) return tm.ctl;
    if (offset >= 2 && offset <= 0x0E) return tm.cctl[(offset - 2) >> 1];
    if (offset == 0x10) return tm.r;
    return tm.ccr[(offset - 0x12) >> 1];
}

function timerWrite(tm, offset, value) {
    var t = cycleNow();
    syncAll(t);
    tm.dueMin = -1;
    tm.quiet = -1;
    tm.edgeAt = 0;
    if (offset == 0) {
        var oldSource = timerSource(tm), wasStopped = ((tm.ctl >> 4) & 3) == 0;
        tm.ctl = value & 0x03F7;
        if (value & 4) { tm.r = 0; tm.pos = 0; tm.pre = 0; }
        if (timerSource(tm) != oldSource) restartTimer(tm, t);
        else if ((value & 4) || (wasStopped && ((value >> 4) & 3) != 0)) rephaseTimer(tm, t);
    } else if (offset >= 2 && offset <= 0x0E) {
        var i = (offset - 2) >> 1;
        tm.cctl[i] = value & 0xFFF7 | (tm.cctl[i] & 8);
    } else if (offset == 0x10) {
        tm.r = value & 0xFFFF;
        tm.pos = tm.r;
        rephaseTimer(tm, t);
    } else {
        var n = (offset - 0x12) >> 1;
        tm.ccr[n] = value & 0xFFFF;
        if (countsAclk(tm)) {
            var diff = tm.ccr[n] - tm.r;
            if (diff <= 0) diff += 0x10000;
            var d = cyclesPerAclk() * (1 << ((tm.ctl >> 6) & 3));
            tm.due[n] = t + Math.floor(d * diff + 1) - tickPassed(tm, t);
        }
    }
}

function timerIvRead(tm) {
    syncTimerOnly(tm, cycleNow());
    var iv = timerIv(tm);
    if (iv == tm.overflowIv) tm.ctl &= ~1;
    else if (iv) tm.cctl[iv >> 1] &= ~1;
    return iv;
}

// --- Serial ports ----------------------------------------------------------------------------

function makeSerial(kind, base, sfrIndex, txBit, rxBit, output, answer, txVector, rxVector) {
    return { kind: kind, usci: kind == "usci", base: base, sfr: sfrIndex, txBit: txBit, rxBit: rxBit, output: output, answer: answer,
             txVector: txVector, rxVector: rxVector, ctl: 0, tctl: 0, rctl: 0, mctl: 0, br0: 0, br1: 0,
             rxbuf: 0, txbuf: 0, pending: -1, loadAt: 0, shift: -1, shiftEnd: 0, nextRx: 0 };
}

function serialEnabled(s, bit) {
    if (s.kind == "usci") return (s.ctl1 & 1) == 0;
    // In SPI mode (SYNC) one bit, USPIEx where URXEx is, enables both directions.
    if (s.ctl & 4) return (sfr[s.sfr + 4] & s.rxBit) != 0;
    return (sfr[s.sfr + 4] & bit) != 0;
}

// Cycles to shift one byte out: eight bit times of the baud-rate clock, at the clock rates of
// the last write to the port's clock and rate registers (the port does not follow later changes
// of the DCO).
function byteCycles(s) { return s.byteCycles; }

function updateByteCycles(s) {
    var div = s.br0 + 256 * s.br1;
    if (div < 1) div = 1;
    var ssel = s.kind == "usci" ? (s.ctl1 >> 6) & 3 : (s.tctl >> 4) & 3;
    var hz = ssel == 1 ? aclkHz : smclkHz;
    var baud = Math.floor(hz / div);
    if (baud < 1) baud = 1;
    s.byteCycles = Math.floor(8 * mclkHz / baud) + 1;
}

function syncSerial(s, t) {
    for (;;) {
        if (s.shift == -1 && s.pending != -1 && t >= s.loadAt) {
            s.shift = s.pending;
            s.pending = -1;
            s.shiftEnd = t + byteCycles(s);
            sfr[s.sfr + 2] |= s.txBit;
        } else if (s.shift != -1 && t >= s.shiftEnd) {
            if (s.output) Simulator.write(s.shift);
            if (s.answer != NO_ANSWER && serialEnabled(s, s.rxBit)) {
                s.rxbuf = s.answer == ECHO ? s.shift : s.answer & 0xFF;
                sfr[s.sfr + 2] |= s.rxBit;
            }
            s.shift = -1;
            if (s.pending != -1) {
                s.loadAt = t;
            } else if (s.kind == "usci") {
                s.stat &= ~1;
            } else {
                s.tctl |= 1; // TXEPT
            }
        } else {
            break;
        }
    }
    if (s.output && !(sfr[s.sfr + 2] & s.rxBit) && t >= s.nextRx && serialEnabled(s, s.rxBit)) {
        var b = Simulator.read();
        if (b >= 0) {
            s.rxbuf = b;
            sfr[s.sfr + 2] |= s.rxBit;
            s.nextRx = t + byteCycles(s);
        } else {
            s.nextRx = t + 100000;
        }
    }
}

function serialTransmit(s, value) {
    var t = cycleNow();
    syncAll(t);
    s.txbuf = value;
    if (!serialEnabled(s, s.txBit)) return;
    sfr[s.sfr + 2] &= ~s.txBit;
    if (s.kind == "usci") s.stat |= 1; else s.tctl &= ~1;
    s.pending = value;
    if (s.shift == -1) s.loadAt = t + 1;
}

function serialReceive(s) {
    syncAll(cycleNow());
    sfr[s.sfr + 2] &= ~s.rxBit;
    calmUntil = 0; // the receiver may take the next byte now
    return s.rxbuf;
}

function usartRead(s, offset) {
    switch (offset) {
    case 0: return s.ctl;
    case 1: syncAll(cycleNow()); return s.tctl;
    case 2: return s.rctl;
    case 3: return s.mctl;
    case 4: return s.br0;
    case 5: return s.br1;
    case 6: return serialReceive(s);
    }
    return s.txbuf;
}

function usartWrite(s, offset, value) {
    switch (offset) {
    case 0: s.ctl = value; break;
    case 1: s.tctl = value; updateByteCycles(s); break;
    case 2: s.rctl = value; break;
    case 3: s.mctl = value; break;
    case 4: s.br0 = value; updateByteCycles(s); break;
    case 5: s.br1 = value; updateByteCycles(s); break;
    case 7: serialTransmit(s, value); break;
    }
}

function usciRead(s, offset) {
    switch (offset) {
    case 0: return s.ctl0;
    case 1: return s.ctl1;
    case 2: return s.br0;
    case 3: return s.br1;
    case 4: return s.mctl;
    case 5: syncAll(cycleNow()); return s.stat;
    case 6: return serialReceive(s);
    }
    return s.txbuf;
}

function usciWrite(s, offset, value) {
    switch (offset) {
    case 0: s.ctl0 = value; break;
    case 1:
        s.ctl1 = value;
        // Holding the module in reset leaves the transmitter ready and the receiver empty.
        if (value & 1) { sfr[s.sfr + 2] = (sfr[s.sfr + 2] & ~s.rxBit) | s.txBit; s.pending = -1; s.shift = -1; }
        updateByteCycles(s);
        break;
    case 2: s.br0 = value; updateByteCycles(s); break;
    case 3: s.br1 = value; updateByteCycles(s); break;
    case 4: s.mctl = value; break;
    case 5: s.stat = (s.stat & 1) | (value & 0xFE); break;
    case 7: serialTransmit(s, value); break;
    }
}

// --- Watchdog and oscillator fault -----------------------------------------------------------

var WDT_INTERVALS = [32768, 8192, 512, 64];

function syncWatchdog(t) {
    var source = (wdtctl & 4) ? 1 : 2;
    var ticks = Math.floor(sourceTicks(source, t));
    var elapsed = ticks - wdtLast;
    wdtLast = ticks;
    if (wdtctl & 0x80) return;
    wdtCount += elapsed;
    var interval = WDT_INTERVALS[wdtctl & 3];
    if (wdtCount < interval) return;
    wdtCount %= interval;
    sfr[2] |= 1; // WDTIFG
    if (!(wdtctl & 0x10))
        Simulator.resetTarget();
}

function watchdogWrite(value) {
    var t = cycleNow();
    syncAll(t);
    if ((value >> 8) != 0x5A) {
        // A wrong password is a reset, as on the device.
        Simulator.resetTarget();
        return;
    }
    wdtctl = value & 0xF7;
    if (value & 8) wdtCount = 0;
    wdtLast = Math.floor(sourceTicks((wdtctl & 4) ? 1 : 2, t));
}

// Counters are read at the end of the accessing instruction (t); events that set flags happen
// between instructions, so an access sees those due by the start of its instruction: the last
// poll, when polls come before every instruction.
function syncAll(t) {
    if (t < calmUntil) return;
    syncEverything(t);
}

// A read of a timer register before calmUntil brings only that timer up to date: counting is
// the same whether done in one step or many, so the other devices lose nothing by waiting.
function syncTimerOnly(tm, t) {
    if (t < calmUntil) syncTimer(tm, t, t >= boundary && t - boundary <= MAX_INSTRUCTION_CYCLES ? boundary : t);
    else syncEverything(t);
}

function syncEverything(t) {
    var h = t >= boundary && t - boundary <= MAX_INSTRUCTION_CYCLES ? boundary : t;
    syncTimer(timerA, t, h);
    syncTimer(timerB, t, h);
    // Before calmUntil the serial ports, the watchdog and the oscillators have nothing to do (a
    // running watchdog's count may wait: the horizon reads it the same either way). The horizon
    // stays as it is unless it depends on t: through the rounding of a running watchdog's next
    // interval, or as the longest horizon a sync at t may set.
    if (t < calmUntil) {
        if (!(wdtctl & 0x80) || calmUntil >= calmLimit) calmUntil = calmHorizon(t);
        return;
    }
    // A port with nothing to shift and no byte to receive yet has nothing to sync; a held
    // watchdog only notes the time, which a write to WDTCTL sets afresh anyway.
    for (var k = 0; k < 4; ++k) {
        var s = serials[k];
        if (s.shift != -1 || s.pending != -1 || (s.output && h >= s.nextRx)) syncSerial(s, h);
    }
    if (!(wdtctl & 0x80)) syncWatchdog(t);
    // The oscillators raise their fault flag until they have settled; after that it stays as
    // the firmware leaves it.
    if (!oscSettled) {
        if (t < OSC_SETTLE_CYCLES) {
            sfr[2] |= 2;
            bcsctl3 |= 1;
        } else {
            sfr[2] &= ~2;
            bcsctl3 &= ~1;
            oscSettled = true;
        }
    }
    calmUntil = calmHorizon(t);
}

// The first cycle from t on at which a sync could do more than count timer clocks: a serial
// port loads, finishes or receives a byte, the watchdog interval ends, the oscillators settle,
// or an ACLK compare of a continuous-mode timer comes due. Register writes, and reads that
// clear a flag the horizon depends on, end the calm early (calmUntil = 0).
function calmHorizon(t) {
    var until = Infinity;
    for (var k = 0; k < 4; ++k) {
        var s = serials[k];
        if (s.shift != -1) {
            if (s.shiftEnd < until) until = s.shiftEnd;
        } else if (s.pending != -1) {
            if (s.loadAt < until) until = s.loadAt;
        }
        // serialEnabled(s, s.rxBit), written out.
        if (s.output && s.nextRx < until && !(sfr[s.sfr + 2] & s.rxBit)
            && (s.usci ? (s.ctl1 & 1) == 0 : (sfr[s.sfr + 4] & s.rxBit) != 0))
            until = s.nextRx;
    }
    if (!(wdtctl & 0x80)) {
        var source = (wdtctl & 4) ? 1 : 2, hz = source == 1 ? aclkHz : smclkHz;
        var left = wdtLast + WDT_INTERVALS[wdtctl & 3] - wdtCount - sourceTicks(source, t);
        var at = t + Math.floor(left * mclkHz / hz) - 1;
        if (at < until) until = at;
    }
    if (!oscSettled && OSC_SETTLE_CYCLES < until) until = OSC_SETTLE_CYCLES;
    calmLimit = t + 0x7FFFFFFF;
    if (until > calmLimit) until = calmLimit;
    for (k = 0; k < 2; ++k) {
        var tm = k ? timerB : timerA, mode = (tm.ctl >> 4) & 3;
        // Up mode above CCR0 runs to 0xFFFF first: counted in pieces it would wrap at CCR0.
        if (mode == 1 && tm.r > tm.ccr[0]) return t;
        if (mode != 2 || ((tm.ctl >> 8) & 3) != 1) continue;
        // The sync before this one ran fireCompares, which knows the earliest compare.
        if (tm.dueMin >= 0) {
            if (tm.dueMin < until) until = tm.dueMin;
            continue;
        }
        for (var i = 0; i < tm.n; ++i)
            if (tm.due[i] >= 0 && tm.due[i] < until && !(tm.cctl[i] & 0x100)) until = tm.due[i];
    }
    return until;
}

// --- Device family ---------------------------------------------------------------------------

// The family of a device by its name in the device table: "F1", "F2", or "" for a family this
// file does not model. No device at all is taken as an x1xx device.
function deviceFamily(name) {
    if (name == "") return "F1";
    var prefix = name.substring(0, 8);
    if (prefix == "MSP430F1") return "F1";
    if (prefix == "MSP430F2" || prefix == "MSP430G2") return "F2";
    return "";
}

function familyMessage(device, family) {
    if (family == "")
        return "Peripheral model: " + device + " is not an MSP430x1xx or x2xx device; its peripherals are "
               + "not simulated and addresses below 0x200 are plain memory";
    var kind = family == "F2" ? "MSP430x2xx" : "MSP430x1xx";
    if (device == "") return "Peripheral model: no device selected; simulating " + kind + " peripherals";
    return "Peripheral model: simulating " + device + " as an " + kind + " device";
}

// --- The four functions --------------------------------------------------------------------

// reset() below sets pollForInterrupts, loadPeripheral and storePeripheral to the model's
// functions (modelPoll, modelLoad, modelStore) or, for a family the file does not cover, to
// these, which keep every address as a plain register.
var pollForInterrupts, loadPeripheral, storePeripheral;

function plainPoll(cycles) { return undefined; }
function plainLoad(address) { return regs[address]; }
function plainStore(address, value) { regs[address] = value; }

function reset() {
    var a;
    var device = Simulator.device();
    var family = FAMILY != "" ? FAMILY : deviceFamily(device);
    if (!announced) {
        announced = true;
        TargetInterface.message(familyMessage(device, family));
    }
    regs = [];
    for (a = 0; a < 0x200; ++a) regs[a] = 0;
    var plain = family == "";
    // The simulator calls whatever the three globals hold, so the modelled families' calls pay
    // no test for the plain one.
    pollForInterrupts = plain ? plainPoll : modelPoll;
    loadPeripheral = plain ? plainLoad : modelLoad;
    storePeripheral = plain ? plainStore : modelStore;
    if (plain) return;
    readers = [];
    writers = [];
    vectors = family == "F2" ? VECTORS_F2 : VECTORS_F1;
    sfr = [0, 0, 0, 0, 0, 0];
    rawCycles = 0;
    now = 0;
    quietUntil = 0;
    timerQuietAt = 0;
    calmUntil = 0;
    calmLimit = 0;
    boundary = -1;
    dcoctl = 0x60;
    bcsctl1 = 0x84;
    bcsctl2 = 0;
    bcsctl3 = 5;
    clockBase = 0; aclkBase = 0; smclkBase = 0;
    mclkHz = 1; smclkHz = 1; aclkHz = 1;
    wdtctl = 0; wdtCount = 0; wdtLast = 0;

    timerA = makeTimer(0x160, 0x170, 0x12E, 3, vectors.timerA0, vectors.timerA1, 2, 10);
    timerB = makeTimer(0x180, 0x190, 0x11E, 7, vectors.timerB0, vectors.timerB1, 6, 14);
    usart0 = makeSerial("usart", 0x70, 0, 0x80, 0x40, USART0_OUTPUT, USART0_ANSWER, vectors.usart0tx, vectors.usart0rx);
    usart1 = makeSerial("usart", 0x78, 1, 0x20, 0x10, USART1_OUTPUT, USART1_ANSWER, vectors.usart1tx, vectors.usart1rx);
    usciA0 = makeSerial("usci", 0x60, 1, 0x02, 0x01, USCIA0_OUTPUT, USCIA0_ANSWER, vectors.usciA0tx, vectors.usciA0rx);
    usciA0.ctl0 = 0; usciA0.ctl1 = 1; usciA0.stat = 0;
    usciB0 = makeSerial("usci", 0x68, 1, 0x08, 0x04, false, USCIB0_ANSWER, vectors.usciA0tx, vectors.usciA0rx);
    usciB0.ctl0 = 1; usciB0.ctl1 = 1; usciB0.stat = 0;
    serials = [usart0, usart1, usciA0, usciB0];
    // After a power-up clear the transmitters are empty and ready, and the oscillator fault
    // flag is set.
    sfr[2] = 0x82;
    oscSettled = false;
    sfr[3] = 0x20 | 0x08 | 0x02;
    usart0.tctl = 1;
    usart1.tctl = 1;
    updateClocks();
    updateByteCycles(usart0);
    updateByteCycles(usart1);
    updateByteCycles(usciA0);
    updateByteCycles(usciB0);
    restartTimer(timerA, 0);
    restartTimer(timerB, 0);
    wdtctl = 0x00; // running, watchdog mode, SMCLK / 32768
    wdtLast = 0;

    for (a = 0; a < 6; ++a) {
        readers[a] = sfrRead;
        writers[a] = sfrWrite;
    }
    readers[0x56] = function () { return dcoctl; };
    readers[0x57] = function () { return bcsctl1; };
    readers[0x58] = function () { return bcsctl2; };
    readers[0x53] = function () { syncAll(cycleNow()); return bcsctl3; };
    writers[0x56] = function (x, v) { dcoctl = v; updateClocks(); };
    writers[0x57] = function (x, v) { bcsctl1 = v; updateClocks(true); };
    writers[0x58] = function (x, v) { bcsctl2 = v; updateClocks(); };
    writers[0x53] = function (x, v) { bcsctl3 = v; };
    readers[0x120] = function () { syncAll(cycleNow()); return 0x6900 | wdtctl; };
    writers[0x120] = function (x, v) { watchdogWrite(v); };

    for (a = 0; a < 0x20; a += 2) {
        readers[0x160 + a] = function (x) { return timerRead(timerA, x - 0x160); };
        writers[0x160 + a] = function (x, v) { timerWrite(timerA, x - 0x160, v); };
        readers[0x180 + a] = function (x) { return timerRead(timerB, x - 0x180); };
        writers[0x180 + a] = function (x, v) { timerWrite(timerB, x - 0x180, v); };
    }
    readers[0x12E] = function () { return timerIvRead(timerA); };
    readers[0x11E] = function () { return timerIvRead(timerB); };

    for (a = 0; a < 8; ++a) {
        readers[0x70 + a] = function (x) { return usartRead(usart0, x - 0x70); };
        writers[0x70 + a] = function (x, v) { usartWrite(usart0, x - 0x70, v); };
        readers[0x78 + a] = function (x) { return usartRead(usart1, x - 0x78); };
        writers[0x78 + a] = function (x, v) { usartWrite(usart1, x - 0x78, v); };
        readers[0x60 + a] = function (x) { return usciRead(usciA0, x - 0x60); };
        writers[0x60 + a] = function (x, v) { usciWrite(usciA0, x - 0x60, v); };
        readers[0x68 + a] = function (x) { return usciRead(usciB0, x - 0x68); };
        writers[0x68 + a] = function (x, v) { usciWrite(usciB0, x - 0x68, v); };
    }

    // PxIN of ports 1 to 6: (in, out, dir).
    // PxIN reads the output latch for output pins; input pins read as low.
    var ports = [[0x20, 0x21, 0x22], [0x28, 0x29, 0x2A], [0x18, 0x19, 0x1A], [0x1C, 0x1D, 0x1E],
                 [0x30, 0x31, 0x32], [0x34, 0x35, 0x36]];
    for (a = 0; a < ports.length; ++a) {
        readers[ports[a][0]] = portReader(ports[a][1], ports[a][2]);
        writers[ports[a][0]] = function () {};
    }
    calmUntil = 0;
}

function portReader(outAddress, dirAddress) {
    return function () { return regs[outAddress] & regs[dirAddress]; };
}

function sfrRead(address) {
    if (address == 2 || address == 3) syncAll(cycleNow());
    return sfr[address];
}

function sfrWrite(address, value) {
    if (address == 2 || address == 3) syncAll(cycleNow());
    sfr[address] = value & 0xFF;
    // A USCI held in reset keeps its transmit flag set.
    if (address == 3) {
        if (usciA0.ctl1 & 1) sfr[3] |= usciA0.txBit;
        if (usciB0.ctl1 & 1) sfr[3] |= usciB0.txBit;
    }
}

// timerEvents lowers nextEvent to the cycles from t until the timer's next enabled compare,
// overflow or capture, which could make an interrupt pending without a register being written.
var nextEvent;

function eventAtTicks(source, ticks, t) {
    var hz = source == 1 ? aclkHz : smclkHz;
    var c = Math.floor((ticks - sourceTicks(source, t)) * mclkHz / hz);
    if (c < nextEvent) nextEvent = c;
}

function stepsTo(target, pos, period) {
    var d = (target - pos - 1) % period;
    if (d < 0) d += period;
    return d + 1;
}

function timerEvents(tm, t) {
    var mode = (tm.ctl >> 4) & 3, source = timerSource(tm);
    if (mode == 0 || source == 0) return;
    var ccr0 = tm.ccr[0];
    var period = mode == 2 || (mode == 1 && tm.r > ccr0) ? 0x10000 : mode == 1 ? ccr0 + 1 : 2 * ccr0;
    if (period <= 0) return;
    var pos = mode == 3 ? tm.pos : tm.r, steps = 0x7FFFFFFF, i, cctl, d;
    var aclkCompares = source == 1 && mode == 2;
    for (i = 0; i < tm.n; ++i) {
        cctl = tm.cctl[i];
        if (!(cctl & 0x10)) continue;
        if (aclkCompares && !(cctl & 0x100)) {
            if (tm.due[i] >= 0 && tm.due[i] - t < nextEvent) nextEvent = tm.due[i] - t;
            continue;
        }
        if (cctl & 0x100) {
            if (i == tm.aclkCapture) eventAtTicks(1, Math.floor(aclkTicks(t) * 2 + 1) / 2, t);
            continue;
        }
        d = stepsTo(tm.ccr[i], pos, period);
        if (d < steps) steps = d;
        if (mode == 3) {
            d = stepsTo(period - tm.ccr[i], pos, period);
            if (d < steps) steps = d;
        }
    }
    if (tm.ctl & 2) {
        d = stepsTo(0, pos, period);
        if (d < steps) steps = d;
    }
    if (steps == 0x7FFFFFFF) return;
    var ticks = tm.lastTicks + steps * (1 << ((tm.ctl >> 6) & 3)) - tm.pre;
    if (source == 1) {
        var c = tm.start + Math.ceil((ticks - tm.startTicks) * cyclesPerAclk()) - t;
        if (c < nextEvent) nextEvent = c;
    } else {
        eventAtTicks(source, ticks, t);
    }
}

// Whether a timer has an enabled flag set (the sources of both its vectors).
function timerRequests(tm) {
    if ((tm.ctl & 3) == 3) return true;
    var cctl = tm.cctl;
    for (var i = 0; i < tm.n; ++i)
        if ((cctl[i] & 0x11) == 0x11) return true;
    return false;
}

// After a poll that found nothing: polls before the next event have nothing to find. The serial
// ports, the watchdog and the oscillators have their events in the calm horizon the poll's sync
// just computed (with every ACLK compare, not only the enabled ones); the enabled timer events
// keep their cycle until a register write or until they come.
function quietAfter(t) {
    if (t >= timerQuietAt) {
        nextEvent = 0x7FFFFFFF;
        timerEvents(timerA, t);
        timerEvents(timerB, t);
        timerQuietAt = t + (nextEvent < 1 ? 1 : nextEvent);
    }
    quietUntil = calmUntil < timerQuietAt ? calmUntil : timerQuietAt;
    if (quietUntil <= t) quietUntil = t + 1;
    return undefined;
}

function modelPoll(cycles) {
    // cycleNow(), written out: most polls end at the quiet test, which leaves now and rawCycles
    // as they are (quietUntil lies at most 2^31 cycles after the cycle they hold, as calmUntil).
    var c = Simulator.cycles();
    var t = now + ((c - rawCycles) >>> 0);
    boundary = t;
    if (t < quietUntil) return undefined;
    now = t;
    rawCycles = c;
    var ie1 = sfr[0], ifg1 = sfr[2], ie2 = sfr[1], ifg2 = sfr[3];
    // Before both horizons a sync would only count the timers, setting no enabled flag (and,
    // with a held watchdog, leave the calm horizon as it is): when the stored flags ask for
    // nothing, the counts can wait for a later sync. A capture channel must have no ACLK edge
    // to catch, and only an SMCLK timer's next edge is known (edgeAt).
    if (t < calmUntil && t < timerQuietAt && (wdtctl & 0x80) && calmUntil < calmLimit
        && (!(timerA.cctl[timerA.aclkCapture] & 0x100) || t < timerA.edgeAt)
        && (!(timerB.cctl[timerB.aclkCapture] & 0x100) || t < timerB.edgeAt)
        && !(ie1 & ifg1) && !(ie2 & ifg2) && !(regs[0x23] & regs[0x25]) && !(regs[0x2B] & regs[0x2D])
        && !timerRequests(timerA) && !timerRequests(timerB)) {
        // What the skipped syncs would have noted.
        if (timerSource(timerA)) timerA.syncedAt = t;
        if (timerSource(timerB)) timerB.syncedAt = t;
        return quietAfter(t);
    }
    syncEverything(t);
    ie1 = sfr[0]; ifg1 = sfr[2]; ie2 = sfr[1]; ifg2 = sfr[3];
    if (!(ie1 & ifg1) && !(ie2 & ifg2) && !(regs[0x23] & regs[0x25]) && !(regs[0x2B] & regs[0x2D])
        && !timerRequests(timerA) && !timerRequests(timerB))
        return quietAfter(t);
    // The pending sources, highest vector first; what the device clears when it takes one.
    var best = -1, take = 0;
    if ((ie1 & ifg1 & 1) && (wdtctl & 0x10) && vectors.watchdog > best) { best = vectors.watchdog; take = 1; }
    if ((ie1 & ifg1 & 2) && vectors.nmi > best) { best = vectors.nmi; take = 0; }
    if ((timerA.cctl[0] & 0x11) == 0x11 && vectors.timerA0 > best) { best = vectors.timerA0; take = 2; }
    if (vectors.timerA1 > best && timerIv(timerA) != 0) { best = vectors.timerA1; take = 0; }
    if ((timerB.cctl[0] & 0x11) == 0x11 && vectors.timerB0 > best) { best = vectors.timerB0; take = 3; }
    if (vectors.timerB1 > best && timerIv(timerB) != 0) { best = vectors.timerB1; take = 0; }
    if ((ie1 & ifg1 & 0x80) && vectors.usart0tx > best) { best = vectors.usart0tx; take = 4; }
    if ((ie1 & ifg1 & 0x40) && vectors.usart0rx > best) { best = vectors.usart0rx; take = 5; }
    if ((ie2 & ifg2 & 0x20) && vectors.usart1tx > best) { best = vectors.usart1tx; take = 6; }
    if ((ie2 & ifg2 & 0x10) && vectors.usart1rx > best) { best = vectors.usart1rx; take = 7; }
    if ((ie2 & ifg2 & 0x0A) && vectors.usciA0tx > best) { best = vectors.usciA0tx; take = 0; }
    if ((ie2 & ifg2 & 0x05) && vectors.usciA0rx > best) { best = vectors.usciA0rx; take = 0; }
    if ((regs[0x23] & regs[0x25]) && vectors.port1 > best) { best = vectors.port1; take = 0; }
    if ((regs[0x2B] & regs[0x2D]) && vectors.port2 > best) { best = vectors.port2; take = 0; }
    if (best < 0)
        return quietAfter(t);
    // Single-source flags are cleared as the interrupt is taken; the others stay until the
    // firmware clears them (through TAIV/TBIV, RXBUF, TXBUF or the flag registers).
    switch (take) {
    case 1: sfr[2] &= ~1; break;
    case 2: timerA.cctl[0] &= ~1; break;
    case 3: timerB.cctl[0] &= ~1; break;
    case 4: sfr[2] &= ~0x80; break;
    case 5: sfr[2] &= ~0x40; break;
    case 6: sfr[3] &= ~0x20; break;
    case 7: sfr[3] &= ~0x10; break;
    }
    calmUntil = 0;
    return best;
}

function modelLoad(address) {
    // Firmware waits on IFG1/IFG2 in tight loops: before calmUntil the stored flags are the
    // answer (sfrRead with cycleNow() written out). A calm read leaves now and rawCycles as they
    // are: calmUntil lies less than 2^31 cycles after the sync that last set them.
    if ((address & 0x1FE) == 2) {
        var c = Simulator.cycles();
        if (now + ((c - rawCycles) >>> 0) < calmUntil) return sfr[address];
        var t = now += (c - rawCycles) >>> 0;
        rawCycles = c;
        syncEverything(t);
        return sfr[address];
    }
    // Timer_A and Timer_B registers, as their readers would.
    if (address >= 0x160 && address < 0x1A0 && !(address & 1))
        return timerRead(address < 0x180 ? timerA : timerB, address & 0x1F);
    var f = readers[address];
    if (f) return f(address);
    return regs[address];
}

function modelStore(address, value) {
    // A transmit buffer write can only start a transfer: its load cycle bounds both horizons,
    // and it raises no flag (the writers of these addresses call serialTransmit).
    if (address == 0x7F || address == 0x77 || address == 0x67 || address == 0x6F) {
        var s = address == 0x7F ? usart1 : address == 0x77 ? usart0 : address == 0x67 ? usciA0 : usciB0;
        serialTransmit(s, value);
        if (s.shift == -1 && s.pending != -1) {
            if (s.loadAt < calmUntil) calmUntil = s.loadAt;
            if (s.loadAt < quietUntil) quietUntil = s.loadAt;
        }
        return;
    }
    quietUntil = 0;
    timerQuietAt = 0;
    calmUntil = 0;
    var f = writers[address];
    if (f) f(address, value);
    else regs[address] = value;
    // The write may have started what the horizon of its own sync did not know about.
    calmUntil = 0;
}

reset();
