#!/bin/sh
# Times reading generated TEVO executables of 1, 4 and 16 MB (16 KB of code per MB) into load
# sections beside the Intel hex reader on the same program bytes, per byte of the file read, then
# measures the peak memory of reading each once. Usage: bench/tevo/run.sh [build dir]
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

peak() {
    /usr/bin/time -v "$bench" --once "$1" 2>&1 >/dev/null | sed -n 's/.*Maximum resident set size (kbytes): //p'
}
echo
for mb in 1 4 16; do
    echo "peak memory, reading once (kB): $mb MB .hzx $(peak "$dir/app${mb}mb.hzx"), same program as Intel hex $(peak "$dir/app${mb}mb.hex")"
done
