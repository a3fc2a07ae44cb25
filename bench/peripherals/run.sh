#!/bin/sh
# Peripheral simulation speed and memory: peripheral calls per second through the bridge (a
# trivial peripheral file and the shipped model), simulated cycles per second of the cputest
# firmware with the shipped model, and the peak memory of 10- and 100-million-cycle runs.
# Usage: bench/peripherals/run.sh [build directory]   (default: build; use a Release build)
# Each command runs three times and the fastest run counts.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
zimprog="$build/bin/zimprog"
hammer="$here/hammer.hex"
cputest="$here/../../../shared/firmware/mspsim-cputest-f1611.hex"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

[ -x "$zimprog" ] || { echo "no $zimprog: build the zimprog target first" >&2; exit 2; }

. "$here/../timed.sh"
per_second() { # count, seconds
    awk -v n="$1" -v s="$2" 'BEGIN { if (s <= 0) print "n/a"; else printf "%.2f M/s", n / s / 1e6 }'
}

timed "$tmp/base.time" "$zimprog" -target sim -quiet "$hammer"
read baseWall baseUser baseRss < "$tmp/base.time"

# hammer.hex makes 3 peripheral calls every 14 cycles.
cycles=10000000
calls=$((cycles / 14 * 3))
for file in "$here/trivial.js" "$build/targets/msp430peripherals.js"; do
    timed "$tmp/calls.time" "$zimprog" -target sim -quiet -setprop "Enable Peripheral File=Yes" \
        -setprop "Peripheral File=$file" -setprop "Run Cycle Limit=$cycles" "$hammer"
    read wall user rss < "$tmp/calls.time"
    net=$(awk -v a="$wall" -v b="$baseWall" 'BEGIN { print a - b }')
    echo "$(basename "$file"): $calls calls in $wall s ($user s user): $(per_second $calls "$net") calls per second (wall minus start-up), $(per_second $calls "$user") (user), peak $rss KB"
done

if [ -f "$cputest" ]; then
    timed "$tmp/cpu.time" "$zimprog" -target sim -device MSP430F1611 -verbose -setprop "Enable Peripheral File=Yes" \
        -setprop "Interrupt poll interval=1" -setprop "Run Cycle Limit=4000000" "$cputest"
    read wall user rss < "$tmp/cpu.time"
    stop=$(grep -a "Simulation stopped" "$tmp/last.out" | sed 's/.*\r//; s/^ *//')
    ran=$(echo "$stop" | sed -n 's/.* after \([0-9,]*\) cycles.*/\1/p' | tr -d ,)
    echo "cputest: $stop"
    echo "cputest: $wall s wall, $user s user: $(per_second "${ran:-0}" "$wall") simulated cycles per second (wall), $(per_second "${ran:-0}" "$user") (user), peak $rss KB"
else
    echo "cputest: no $cputest, skipped"
fi

for cycles in 10000000 100000000; do
    /usr/bin/time -f "%e %M" -o "$tmp/mem.time" "$zimprog" -target sim -quiet -setprop "Enable Peripheral File=Yes" \
        -setprop "Run Cycle Limit=$cycles" "$hammer" > /dev/null
    read wall rss < "$tmp/mem.time"
    echo "memory: $cycles cycles with the shipped model: peak $rss KB ($wall s)"
done
