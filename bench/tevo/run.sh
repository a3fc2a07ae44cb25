#!/bin/sh
# Times reading generated TEVO executables of 1, 4 and 16 MB (16 KB of code per MB) into load
# sections beside the Intel hex reader on the same program bytes, per byte of the file read, then
# reading each once as a whole process (time, peak memory, page faults).
# Usage: bench/tevo/run.sh [build dir]
# The build dir must be configured with -DZIM_BENCH=ON -DCMAKE_BUILD_TYPE=Release.
set -e
build=${1:-build-bench}
bench="$build/bin/tevo_bench"
[ -x "$bench" ] || bench="$build/bench/tevo/tevo_bench"
[ -x "$bench" ] || { echo "tevo_bench not found under $build" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

ZIM_BENCH_DIR="$dir" "$bench" --benchmark_repetitions=10 --benchmark_min_time=0.3 \
    --benchmark_report_aggregates_only=true --benchmark_out="$dir/result.json" --benchmark_out_format=json

python3 - "$dir/result.json" <<'PY'
import json, sys
rows = {b['name']: b for b in json.load(open(sys.argv[1]))['benchmarks'] if b['name'].endswith('_median')}
print()
for name in ('tevo/1', 'tevo/4', 'tevo/16', 'intelHex/1', 'intelHex/4', 'intelHex/16'):
    b = rows[name + '_median']
    scale = {'ns': 1e-6, 'us': 1e-3, 'ms': 1.0, 's': 1e3}[b['time_unit']]
    ms = b['real_time'] * scale
    print('%-12s %8.3f ms  %6.2f ns per file byte  %8.1f MB of program/s  file %9d bytes'
          % (name, ms, ms * 1e6 / b['file_bytes'], b['bytes_per_second'] / 1e6, b['file_bytes']))
PY

# Whole processes, reading one file and exiting: the median of 11 runs of elapsed, user and
# system seconds, peak memory and minor page faults.
whole() { # file
    for i in 1 2 3 4 5 6 7 8 9 10 11; do
        /usr/bin/time -f "%e %U %S %M %R" "$bench" --once "$1" 2>&1 >/dev/null | tail -1
    done | python3 -c '
import statistics, sys
rows = [line.split() for line in sys.stdin if line.strip()]
m = [statistics.median(float(r[i]) for r in rows) for i in range(5)]
print("%6.3f s  user %6.3f s  sys %6.3f s  peak %7d kB  %6d minor faults" % (m[0], m[1], m[2], m[3], m[4]))'
}
echo
echo "whole process, median of 11 runs reading once:"
for mb in 1 4 16; do
    echo "  $mb MB .hzx      $(whole "$dir/app${mb}mb.hzx")"
    echo "  $mb MB as .hex   $(whole "$dir/app${mb}mb.hex")"
done
