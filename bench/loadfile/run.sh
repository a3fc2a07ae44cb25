#!/bin/sh
# Runs the reader benchmark and times srec_cat converting the same 4 MB Intel hex file to
# binary, then prints both. Usage: bench/loadfile/run.sh [build dir]
# The build dir must be configured with -DZIM_BENCH=ON -DCMAKE_BUILD_TYPE=Release.
set -e
build=${1:-build-bench}
bench="$build/bin/loadfile_bench"
[ -x "$bench" ] || bench="$build/bench/loadfile/loadfile_bench"
[ -x "$bench" ] || { echo "loadfile_bench not found under $build" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

ZIM_BENCH_DIR="$dir" "$bench" --benchmark_repetitions=10 --benchmark_min_time=0.3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$dir/result.json" --benchmark_out_format=json

ours=$(python3 -c "
import json, sys
for b in json.load(open(sys.argv[1]))['benchmarks']:
    if b['name'] == 'intelHex/4_median':
        print(b['real_time'] / 1000.0)
" "$dir/result.json")

if ! command -v srec_cat >/dev/null; then
    echo "srec_cat not installed; our 4 MB Intel hex read: ${ours} s"
    exit 0
fi
best=""
for i in 1 2 3; do
    start=$(date +%s.%N)
    srec_cat "$dir/image4mb.hex" -intel -o "$dir/image4mb.bin" -binary
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
done
echo
printf 'zimprog reader, 4 MB Intel hex: %.4f s\n' "$ours"
printf 'srec_cat -intel to -binary, same file (best of 3): %.4f s\n' "$best"
printf 'speed-up: %.1fx\n' "$(echo "$best / $ours" | bc -l)"
