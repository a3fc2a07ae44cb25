#!/bin/sh
# Whole-process medians (of five runs) and peak memory of the five script programs under
# zimprog -script, mujs and duk, then the evaluation rate and the memory bound of script_bench.
# Usage: bench/script/run.sh [build directory]   (default: build; a Release build with -DZIM_BENCH=ON
# for the script_bench part)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
zimprog="$build/bin/zimprog"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
[ -x "$zimprog" ] || { echo "no $zimprog: build the zimprog target first" >&2; exit 2; }

# Prints "median-seconds peak-KB" of five runs of a command.
measure() {
    : > "$tmp/times"
    for i in 1 2 3 4 5; do
        /usr/bin/time -f "%e %M" -o "$tmp/one" "$@" > "$tmp/out" 2>&1 || { echo "failed: $*" >&2; cat "$tmp/out" >&2; exit 1; }
        cat "$tmp/one" >> "$tmp/times"
    done
    sort -n "$tmp/times" | sed -n 3p | awk '{ printf "%s", $1 }'
    sort -n -k2 "$tmp/times" | tail -1 | awk '{ printf " %s\n", $2 }'
}

printf "%-10s %18s %18s %18s\n" program "zimprog s / KB" "mujs s / KB" "duk s / KB"
for program in fib crc16 objects strings arrays; do
    js="$here/$program.js"
    zim=$(measure "$zimprog" -script "$js")
    mujs=$(command -v mujs > /dev/null && measure mujs "$js" || echo "- -")
    duk=$(command -v duk > /dev/null && measure duk "$js" || echo "- -")
    printf "%-10s %18s %18s %18s\n" "$program" "$(echo $zim | tr ' ' /)" "$(echo $mujs | tr ' ' /)" "$(echo $duk | tr ' ' /)"
done

bench="$build/bin/script_bench"
if [ -x "$bench" ]; then
    "$bench" --benchmark_min_time=1 2>/dev/null | grep LoadPeripheral
    "$bench" --memory 1000
    "$bench" --memory 10000000
else
    echo "no $bench: configure with -DZIM_BENCH=ON and build script_bench for the evaluation rate"
fi
