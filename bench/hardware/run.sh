#!/bin/sh
# The parallel-port FET over the device shim: a 60 KB image filling the MSP430F149's main FLASH
# is loaded with `zimprog -target fet`, and the script prints the wall time of the simulation
# (best of three), the link time the shim's virtual clock modelled (one port access per
# microsecond unless port-ns says otherwise), and beside them the physical floor: the FLASH
# timing generator at 476 kHz needs 1.93 s for the image in block writes, and a parallel port
# at 1-2 µs per register write needs 8-17 s for the link alone.
# Usage: bench/hardware/run.sh [build directory] [extra zimprog options...]   (default: build;
# the build needs the zimprog and zimhwshim targets)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
[ $# -gt 0 ] && shift
zimprog="$build/bin/zimprog"
shim="$build/tests/fakes/hwshim/libzimhwshim.so"
[ -x "$zimprog" ] || { echo "no $zimprog: build the zimprog target first" >&2; exit 2; }
[ -f "$shim" ] || { echo "no $shim: build the zimhwshim target (-DZIM_TESTS=ON) first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed to time the runs" >&2; exit 2; }
command -v python3 > /dev/null 2>&1 || { echo "python3 is needed to make the image" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
. "$here/../timed.sh"

# Main FLASH 0x1100-0xFFFF of pseudo-random bytes (a fixed seed), the reset vector at its start.
python3 - "$tmp/f149.hex" << 'PY'
import random, sys
random.seed(149)
start, end = 0x1100, 0x10000
data = bytearray(random.getrandbits(8) for _ in range(end - start))
data[-2:] = bytes([0x00, 0x11])
with open(sys.argv[1], "w") as out:
    for offset in range(0, len(data), 16):
        chunk = data[offset:offset + 16]
        address = start + offset
        record = bytes([len(chunk), address >> 8, address & 0xFF, 0]) + chunk
        out.write(":" + record.hex().upper() + "%02X\n" % ((-sum(record)) & 0xFF))
    out.write(":00000001FF\n")
PY

export ZIM_DEVICE_SHIM="$shim" ZIM_FAKE_HW="parport0=MSP430F149;log=$tmp/shim.log"
if ! "$zimprog" -target fet -quiet "$@" "$tmp/f149.hex" > "$tmp/check.out" 2>&1; then
    echo "the run failed:" >&2
    cat "$tmp/check.out" >&2
    exit 1
fi
timed "$tmp/best" "$zimprog" -target fet -quiet "$@" "$tmp/f149.hex"
set -- $(cat "$tmp/best")
wall=$1
user=$2
# The last run's session: its close line carries the counts and the modelled link time.
close=$(grep 'close:' "$tmp/shim.log" | tail -1)
[ -n "$close" ] || { echo "the shim logged no session" >&2; exit 1; }
writes=$(echo "$close" | sed 's/.*close: \([0-9]*\) writes.*/\1/')
reads=$(echo "$close" | sed 's/.* \([0-9]*\) status reads.*/\1/')
link=$(echo "$close" | sed 's/.*link \([0-9.]*\) s.*/\1/')
python3 - "$wall" "$user" "$writes" "$reads" "$link" << 'PY'
import sys
wall, user, writes, reads, link = float(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
print("MSP430F149, 61184 bytes (0x1100-0xffff), zimprog -target fet over the device shim")
print("  wall time of the simulation (best of 3): %.2f s  (%.2f s of CPU)" % (wall, user))
print("  modelled link time (virtual clock):      %.2f s  (%d register writes, %d status reads)" % (link, writes, reads))
print("  physical floor: FLASH timing generator at 476 kHz, block writes: 1.93 s")
print("                  port at 1-2 us per register write:            %.1f-%.1f s (8-17 s expected)"
      % (writes * 1e-6, writes * 2e-6))
PY
