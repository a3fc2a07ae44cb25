#!/bin/bash
# Block programming of a 60 KB image (all of an MSP430F149's main FLASH, random bytes) through
# each model of the simulated USB Vexlink. Prints the wall time of the best of three runs, the
# counters the device shim logged, and the link time the shim modelled (full-speed USB: 19
# packets of 64 bytes a millisecond, 1 ms of latency a reply) beside the floors: 7 packets a
# word at full speed for model 1 (11.3 s) and the FLASH's own 30 TCLK periods a word at 476 kHz
# (1.93 s).
# Usage: bench/hardware/run.sh [BUILD]   (a Release build with ZIM_TESTS=ON; default build/)
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

printf '%-8s %8s %12s %12s %10s %12s %12s %10s\n' model wall_s out_packets out_transfers replies pkts/word pkts/xfer link_s
for model in 1 2; do
    rm -f "$tmp/shim.log"
    export ZIM_DEVICE_SHIM="$build/tests/fakes/hwshim/libzimhwshim.so"
    export ZIM_FAKE_HW="usb=$model:BENCH$model:MSP430F149;log=$tmp/shim.log;compare=$tmp/image.hex"
    timed "$tmp/time" "$build/bin/zimprog" -target usb -quiet -setprop "FLASH Block Write Enabled=Yes" "$tmp/image.hex"
    grep -q "FLASH holds" "$tmp/shim.log" || { echo "model $model: the FLASH does not hold the image" >&2; cat "$tmp/last.out" >&2; exit 1; }
    # The counters of the last run's adapter.
    line=$(grep "usb close .* model $model:" "$tmp/shim.log" | tail -1)
    value() { sed -n "s/.* $1=\([0-9]*\).*/\1/p" <<< "$line"; }
    packets=$(value out-packets); transfers=$(value out-transfers); replies=$(value replies)
    words=$(value flash-words); ms=$(value link-ms)
    read -r wall _ _ < "$tmp/time"
    if [ "$model" = 1 ]; then commands=$packets; else commands=$(value commands); fi
    printf '%-8s %8s %12s %12s %10s %12s %12s %10s\n' "$model" "$wall" "$packets" "$transfers" "$replies" \
        "$(awk -v c="$commands" -v w="$words" 'BEGIN { printf "%.2f", c / w }')" \
        "$(awk -v p="$packets" -v t="$transfers" 'BEGIN { printf "%.1f", p / t }')" \
        "$(awk -v m="$ms" 'BEGIN { printf "%.2f", m / 1000 }')"
done
echo "floors: model 1 link 11.3 s (7 packets a word at full speed); FLASH 1.93 s (30 TCLK periods a word at 476 kHz)"
echo "(pkts/word: model 1 command packets, model 2 commands, per FLASH word written, erase and verify included)"
