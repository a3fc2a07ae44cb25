#!/bin/sh
# Peripheral simulation speed and memory: peripheral calls per second through the bridge (a
# trivial peripheral file and the shipped model), simulated cycles per second of the cputest
# firmware with the shipped model, the plain simulator's cycle rate on cputest against the
# model's at the default poll interval and at 1 (4 and 40 million cycles), and the peak memory of
# 10- and 100-million-cycle runs.
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

# hammer.hex makes 5 peripheral calls every 14 cycles: a load, and two stores that each read
# their destination first.
cycles=10000000
calls=$((cycles / 14 * 5))
for file in "$here/trivial.js" "$build/targets/msp430peripherals.js"; do
    timed "$tmp/calls.time" "$zimprog" -target sim -quiet -setprop "Enable Peripheral File=Yes" \
        -setprop "Peripheral File=$file" -setprop "Run Cycle Limit=$cycles" "$hammer"
    read wall user rss < "$tmp/calls.time"
    net=$(awk -v a="$wall" -v b="$baseWall" 'BEGIN { print a - b }')
    echo "$(basename "$file"): $calls calls in $wall s ($user s user): $(per_second $calls "$net") calls per second (wall minus start-up), $(per_second $calls "$user") (user), peak $rss KB"
    [ "$file" = "$here/trivial.js" ] && trivialUser=$user
done
# What one call of the trivial file costs beyond the simulation itself (user seconds): the
# least any peripheral file can cost per access.
timed "$tmp/plainhammer.time" "$zimprog" -target sim -quiet -setprop "Run Cycle Limit=$cycles" "$hammer"
read _ plainHammerUser _ < "$tmp/plainhammer.time"
perCall=$(awk -v t="$trivialUser" -v p="$plainHammerUser" -v n="$calls" 'BEGIN { printf "%.9f", (t - p) / n }')
echo "trivial.js: $(awk -v c="$perCall" 'BEGIN { printf "%.0f", c * 1e9 }') ns of user time per call beyond the plain simulation"

if [ -f "$cputest" ]; then
    timed "$tmp/cpu.time" "$zimprog" -target sim -device MSP430F1611 -verbose -setprop "Enable Peripheral File=Yes" \
        -setprop "Interrupt poll interval=1" -setprop "Run Cycle Limit=4000000" "$cputest"
    read wall user rss < "$tmp/cpu.time"
    stop=$(grep -a "Simulation stopped" "$tmp/last.out" | sed 's/.*\r//; s/^ *//')
    ran=$(echo "$stop" | sed -n 's/.* after \([0-9,]*\) cycles.*/\1/p' | tr -d ,)
    echo "cputest: $stop"
    echo "cputest: $wall s wall, $user s user: $(per_second "${ran:-0}" "$wall") simulated cycles per second (wall), $(per_second "${ran:-0}" "$user") (user), peak $rss KB"

    # The plain simulator against the shipped model at the default poll interval and at 1, net
    # of start-up (a one-cycle run of the same setup), in user seconds. Each run is repeated
    # under one timer (40 times up to 4,000,000 cycles, else 10) so that the short plain runs
    # rise above time(1)'s hundredths and the start-up's jitter.
    repeated() { # runs, output file, zimprog arguments... (the image is added)
        runs=$1
        out=$2
        shift 2
        timed "$out" sh -c 'n=$0; z=$1; shift; i=0; while [ $i -lt $n ]; do "$z" "$@" > /dev/null || exit 1; i=$((i + 1)); done' "$runs" \
            "$zimprog" -target sim -device MSP430F1611 -quiet "$@" "$cputest"
    }
    model="Enable Peripheral File=Yes"
    repeated 40 "$tmp/s0.time" -setprop "Run Cycle Limit=1"
    read _ plainStart _ < "$tmp/s0.time"
    plainStart=$(awk -v s="$plainStart" 'BEGIN { print s / 40 }')
    repeated 40 "$tmp/s1.time" -setprop "$model" -setprop "Run Cycle Limit=1"
    read _ modelStart _ < "$tmp/s1.time"
    modelStart=$(awk -v s="$modelStart" 'BEGIN { print s / 40 }')
    net_rate() { # cycles, user seconds of the runs, runs, start-up seconds of one run
        awk -v n="$1" -v u="$2" -v r="$3" -v s="$4" 'BEGIN { d = u / r - s; if (d <= 0) print "n/a"; else printf "%.2f", n / d / 1e6 }'
    }
    ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "n/a" || b == "n/a" || a <= 0) print "n/a"; else printf "%.2f", b / a }'; }
    for cycles in 2000000 4000000 40000000; do
        runs=40
        [ $cycles -gt 4000000 ] && runs=10
        repeated $runs "$tmp/p.time" -setprop "Run Cycle Limit=$cycles"
        read _ pu _ < "$tmp/p.time"
        repeated $runs "$tmp/m.time" -setprop "$model" -setprop "Run Cycle Limit=$cycles"
        read _ mu _ < "$tmp/m.time"
        repeated $runs "$tmp/m1.time" -setprop "$model" -setprop "Interrupt poll interval=1" -setprop "Run Cycle Limit=$cycles"
        read _ m1u _ < "$tmp/m1.time"
        plain=$(net_rate $cycles "$pu" $runs "$plainStart")
        dflt=$(net_rate $cycles "$mu" $runs "$modelStart")
        every=$(net_rate $cycles "$m1u" $runs "$modelStart")
        echo "cputest $cycles cycles, M cycles/s net of start-up (user, $runs runs): plain $plain ($pu s), model $dflt ($mu s, $(ratio "$plain" "$dflt") of plain), poll interval 1 $every ($m1u s, $(ratio "$plain" "$every") of plain)"
        [ $cycles = 2000000 ] && plain2=$(awk -v u="$pu" -v r=$runs -v s="$plainStart" 'BEGIN { print u / r - s }')
    done

    # cputest prints its whole transcript within its first 2,000,000 cycles, waiting on the
    # transmit flag between characters. Count the calls the model gets there through a file that
    # wraps its functions, and set the plain simulation beside what those calls would cost even
    # if every one of them were the trivial file's empty function.
    modelFile=$(cd "$build/targets" && pwd)/msp430peripherals.js
    cat > "$tmp/count.js" <<EOF
load("$modelFile");
var counted = 0, modelLoad = loadPeripheral, modelStore = storePeripheral, modelPoll = pollForInterrupts;
function counting() { if (++counted % 100 == 0) Script.Echo("calls " + counted); }
loadPeripheral = function (a) { counting(); return modelLoad(a); };
storePeripheral = function (a, v) { counting(); return modelStore(a, v); };
pollForInterrupts = function (c) { counting(); return modelPoll(c); };
EOF
    "$zimprog" -target sim -device MSP430F1611 -quiet -setprop "$model" -setprop "Peripheral File=$tmp/count.js" \
        -setprop "Run Cycle Limit=2000000" "$cputest" > "$tmp/count.out"
    uartCalls=$(tr '\r' '\n' < "$tmp/count.out" | sed -n 's/^calls \([0-9]*\)$/\1/p' | tail -1)
    awk -v n="${uartCalls:-0}" -v c="$perCall" -v plain="$plain2" 'BEGIN {
        floor = n * c
        printf "cputest first 2000000 cycles: %d peripheral calls (to the hundred); plain simulation %.4f s, the same calls at the empty function'"'"'s cost %.4f s: at best %.2f of plain\n", n, plain, floor, plain / (plain + floor) }'
else
    echo "cputest: no $cputest, skipped"
fi

for cycles in 10000000 100000000; do
    /usr/bin/time -f "%e %M" -o "$tmp/mem.time" "$zimprog" -target sim -quiet -setprop "Enable Peripheral File=Yes" \
        -setprop "Run Cycle Limit=$cycles" "$hammer" > /dev/null
    read wall rss < "$tmp/mem.time"
    echo "memory: $cycles cycles with the shipped model: peak $rss KB ($wall s)"
done
