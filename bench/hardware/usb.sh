#!/bin/bash
# Block programming of a 60 KB image (all of an MSP430F149's main FLASH, random bytes) through
# each model of the simulated USB Vexlink. Prints the wall time of the best of three runs, the
# counters the device shim logged, and the link time the shim modelled (full-speed USB: 19
# packets of 64 bytes a millisecond, 1 ms of latency a reply) beside the floors: 7 packets a
# word at full speed for model 1 (11.3 s) and the FLASH's own 30 TCLK periods a word at 476 kHz
# (1.93 s).
# Usage: bench/hardware/usb.sh [BUILD]   (a Release build with ZIM_TESTS=ON; default build/)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
source "$here/bench/timed.sh"

python3 - "$tmp/image.hex" <<'PY'
import random, sys
random.seed(149)
lines = []
for address in range(0x1100, 0x10000, 16):
    data = bytes(random.randrange(256) for _ in range(16))
    record = bytes([16, address >> 8, address & 0xFF, 0]) + data
    lines.append(':' + (record + bytes([-sum(record) & 0xFF])).hex().upper())
lines.append(':00000001FF')
open(sys.argv[1], 'w').write('\n'.join(lines) + '\n')
PY

printf '%-6s %-9s %7s %12s %10s %8s %14s %10s %8s %8s\n' model run wall_s out_packets transfers replies per_word/64B pkts/xfer link_s flash_s
run() { # model, name, extra options...
    local model=$1 name=$2
    shift 2
    rm -f "$tmp/shim.log"
    export ZIM_DEVICE_SHIM="$build/tests/fakes/hwshim/libzimhwshim.so"
    export ZIM_FAKE_HW="usb=$model:BENCH$model:MSP430F149;log=$tmp/shim.log;compare=$tmp/image.hex"
    timed "$tmp/time" "$build/bin/zimprog" -target usb -quiet -setprop "FLASH Block Write Enabled=Yes" "$@" \
        "$tmp/image.hex"
    grep -q "FLASH holds" "$tmp/shim.log" || { echo "model $model: the FLASH does not hold the image" >&2; cat "$tmp/last.out" >&2; exit 1; }
    local line
    line=$(grep "usb close .* model $model:" "$tmp/shim.log" | tail -1)
    value() { sed -n "s/.* $1=\([0-9]*\).*/\1/p" <<< "$line"; }
    local packets transfers replies words ms tclk commands per wall
    packets=$(value out-packets); transfers=$(value out-transfers); replies=$(value replies)
    words=$(value flash-words); ms=$(value link-ms); tclk=$(value tclk); commands=$(value commands)
    read -r wall _ _ < "$tmp/time"
    # Model 1: command packets per FLASH word; model 2: commands per 64 bytes written.
    if [ "$model" = 1 ]; then
        per=$(awk -v c="$commands" -v w="$words" 'BEGIN { printf "%.2f/word", c / w }')
    else
        per=$(awk -v c="$commands" -v w="$words" 'BEGIN { printf "%.2f/64B", c / (w / 32) }')
    fi
    printf '%-6s %-9s %7s %12s %10s %8s %14s %10s %8s %8s\n' "$model" "$name" "$wall" "$packets" "$transfers" \
        "$replies" "$per" "$(awk -v p="$packets" -v t="$transfers" 'BEGIN { printf "%.1f", p / t }')" \
        "$(awk -v m="$ms" 'BEGIN { printf "%.2f", m / 1000 }')" \
        "$(awk -v t="$tclk" 'BEGIN { printf "%.2f", t / 476000 }')"
}
for model in 1 2; do
    # Everything a download does: erase segment by segment, program, verify.
    run "$model" download
    # Programming alone, as far as a run allows: one erase of everything, no verification.
    run "$model" program -setprop "Erase All=Yes" -noverify
done
echo "floors: model 1 link 11.3 s (7 packets a word at full speed); FLASH 1.93 s (30 TCLK periods a word at 476 kHz)"
echo "(link_s: the full-speed bus time the shim modelled; flash_s: every TCLK period the adapter gave, at 476 kHz)"
