#!/bin/sh
# Simulated instructions per second of zimprog's simulator and of mspdebug's on counter.hex, and
# the peak memory of the zimprog run.
# Usage: bench/simulator/run.sh [build directory]   (default: build; use a Release build)
# Each command runs three times and the fastest run counts.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
zimprog="$build/bin/zimprog"
hex="$here/counter.hex"
# Instructions from the reset vector up to and including the first execution of the final JMP $
# (see counter.s); mspdebug stops before that last jump, one instruction fewer.
instructions=52429406
limit=100000000
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

[ -x "$zimprog" ] || { echo "no $zimprog: build the zimprog target first" >&2; exit 2; }

. "$here/../timed.sh"
timed "$tmp/zim.time" "$zimprog" -target sim -verbose -setprop "Run Cycle Limit=$limit" "$hex"
stopLine=$(grep "Simulation stopped" "$tmp/last.out" | sed 's/.*\r//; s/^ *//')
timed "$tmp/zim0.time" "$zimprog" -target sim -quiet "$hex"
echo "zimprog:  $stopLine"

rate() { # instructions, seconds
    awk -v n="$1" -v s="$2" 'BEGIN { if (s <= 0) print "n/a"; else printf "%.1f M/s", n / s / 1e6 }'
}
read zimWall zimUser zimRss < "$tmp/zim.time"
read zim0Wall zim0User zim0Rss < "$tmp/zim0.time"
zimNet=$(awk -v a="$zimWall" -v b="$zim0Wall" 'BEGIN { print a - b }')
echo "zimprog:  $zimWall s wall, $zimUser s user, run without simulation $zim0Wall s"
echo "zimprog:  $(rate $instructions "$zimWall") simulated instructions per second (wall, whole run)"
echo "zimprog:  $(rate $instructions "$zimNet") (wall, minus the run without simulation)"
echo "zimprog:  $(rate $instructions "$zimUser") (user CPU time)"
echo "zimprog:  peak memory (maximum resident set size) $zimRss KB"

if command -v mspdebug > /dev/null 2>&1; then
    timed "$tmp/msp.time" mspdebug -n sim "prog $hex" "setbreak 0xf020" "run"
    grep -q "PC: 0f020" "$tmp/last.out" || { echo "mspdebug did not stop at the final jump" >&2; exit 1; }
    timed "$tmp/msp0.time" mspdebug -n sim "prog $hex"
    read mspWall mspUser mspRss < "$tmp/msp.time"
    read msp0Wall msp0User msp0Rss < "$tmp/msp0.time"
    mspNet=$(awk -v a="$mspWall" -v b="$msp0Wall" 'BEGIN { print a - b }')
    echo "mspdebug: $mspWall s wall, $mspUser s user, load without run $msp0Wall s"
    echo "mspdebug: $(rate $((instructions - 1)) "$mspWall") simulated instructions per second (wall, whole run)"
    echo "mspdebug: $(rate $((instructions - 1)) "$mspNet") (wall, minus the load without run)"
    echo "mspdebug: $(rate $((instructions - 1)) "$mspUser") (user CPU time)"
    awk -v z="$zimWall" -v m="$mspWall" 'BEGIN { if (z > 0) printf "ratio:    %.1f times mspdebug'"'"'s rate (wall, whole runs)\n", m / z }'
else
    echo "mspdebug: not installed, no comparison"
fi
