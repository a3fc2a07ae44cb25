#!/bin/sh
# Times reading a generated 4 MB TEVO executable (64 KB of code) into load sections beside the
# Intel hex reader on the same program bytes, then measures the peak memory of reading each
# once. Usage: bench/tevo/run.sh [build dir]
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
for name in ('tevo/1_median', 'tevo/4_median', 'intelHex/1_median', 'intelHex/4_median'):
    b = rows[name]
    print('%-18s %8.2f ms  %7.1f MB of program/s  file %8d bytes'
          % (name.replace('_median', ''), b['real_time'], b['bytes_per_second'] / 1e6, b['file_bytes']))
PY

peak() {
    /usr/bin/time -v "$bench" --once "$1" 2>&1 >/dev/null | sed -n 's/.*Maximum resident set size (kbytes): //p'
}
echo
echo "peak memory, reading once (kB): 4 MB .hzx $(peak "$dir/app4mb.hzx"), same program as Intel hex $(peak "$dir/app4mb.hex")"
