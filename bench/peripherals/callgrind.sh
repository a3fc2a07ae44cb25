#!/bin/sh
# The shipped peripheral model's cost on the cputest firmware at the default poll interval, in
# instructions executed (callgrind), which unlike times do not depend on what else the machine
# runs: the plain simulator and the simulator with the model, 4,000,000 cycles each, and the
# difference, the model's own cost.
# Usage: bench/peripherals/callgrind.sh [build directory]   (default: build; use a Release build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
zimprog="$build/bin/zimprog"
cputest="$here/../../../shared/firmware/mspsim-cputest-f1611.hex"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

[ -x "$zimprog" ] || { echo "no $zimprog: build the zimprog target first" >&2; exit 2; }
[ -f "$cputest" ] || { echo "no $cputest: nothing to measure" >&2; exit 2; }
command -v valgrind > /dev/null || { echo "no valgrind" >&2; exit 2; }

instructions() { # name, zimprog arguments... (the image is added)
    name=$1
    shift
    valgrind --tool=callgrind --callgrind-out-file="$tmp/$name.out" "$zimprog" -target sim -device MSP430F1611 \
        -quiet "$@" -setprop "Run Cycle Limit=4000000" "$cputest" > /dev/null 2> "$tmp/$name.log"
    sed -n 's/.*I *refs: *\([0-9,]*\).*/\1/p' "$tmp/$name.log" | tr -d ,
}
plain=$(instructions plain)
model=$(instructions model -setprop "Enable Peripheral File=Yes")
echo "cputest 4000000 cycles, default poll interval: plain $plain instructions, with the model $model, the model's own $((model - plain))"
