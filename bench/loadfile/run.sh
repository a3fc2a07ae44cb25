#!/bin/sh
# Runs the reader benchmark, then times whole processes on the same 4 MB Intel hex file:
# zimprog loading it into the simulator without programming it, against srec_cat converting
# it to binary and to Intel hex, in alternating runs; prints the medians of wall time, processor time (user +
# system, steadier than wall time on a busy machine) and peak memory.
# Usage: bench/loadfile/run.sh [build dir] [whole-process runs]
# The build dir must be configured with -DZIM_BENCH=ON -DCMAKE_BUILD_TYPE=Release.
set -e
build=${1:-build-bench}
runs=${2:-11}
bench="$build/bin/loadfile_bench"
[ -x "$bench" ] || bench="$build/bench/loadfile/loadfile_bench"
[ -x "$bench" ] || { echo "loadfile_bench not found under $build" >&2; exit 1; }
zimprog="$build/bin/zimprog"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

ZIM_BENCH_DIR="$dir" "$bench" --benchmark_repetitions=10 --benchmark_min_time=0.3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$dir/result.json" --benchmark_out_format=json

echo
python3 -c "
import json, sys
for b in json.load(open(sys.argv[1]))['benchmarks']:
    if b['name'] == 'intelHex/4_median':
        print('zimprog reader alone, 4 MB Intel hex (median): %.4f s wall, %.4f s processor'
              % (b['real_time'] / 1000.0, b['cpu_time'] / 1000.0))
" "$dir/result.json"

if ! command -v srec_cat >/dev/null || [ ! -x /usr/bin/time ] || [ ! -x "$zimprog" ]; then
    echo "srec_cat, /usr/bin/time or $zimprog missing: no whole-process comparison"
    exit 0
fi

# One timed run: appends "wall-seconds peak-KB user-seconds system-seconds" to the file $1;
# the command follows.
timed() {
    out=$1
    shift
    start=$(date +%s.%N)
    /usr/bin/time -f '%M %U %S' -o "$dir/peak" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    end=$(date +%s.%N)
    echo "$(echo "$end - $start" | bc -l) $(cat "$dir/peak")" >>"$out"
}

hex="$dir/image4mb.hex"
i=0
while [ "$i" -lt "$runs" ]; do
    timed "$dir/zimprog.txt" "$zimprog" -target sim -quiet -nodownload -noverify "$hex"
    timed "$dir/srec_cat.txt" srec_cat "$hex" -intel -o /dev/null -binary
    timed "$dir/srec_cat_ihex.txt" srec_cat "$hex" -intel -o /dev/null -intel
    i=$((i + 1))
done

python3 - "$dir/zimprog.txt" "$dir/srec_cat.txt" "$dir/srec_cat_ihex.txt" <<'PY'
import statistics, sys
def load(name):
    rows = [line.split() for line in open(name)]
    return ([float(r[0]) for r in rows], [int(r[1]) / 1024 for r in rows],
            [float(r[2]) + float(r[3]) for r in rows])
ours, peer, peerHex = load(sys.argv[1]), load(sys.argv[2]), load(sys.argv[3])
m = statistics.median
print()
print('whole process, 4 MB Intel hex, %d alternating runs each (medians):' % len(ours[0]))
print('  zimprog -target sim -nodownload -noverify: %.4f s wall  %.4f s processor  %.1f MB peak' % (m(ours[0]), m(ours[2]), m(ours[1])))
print('  srec_cat -intel -o /dev/null -binary:      %.4f s wall  %.4f s processor  %.1f MB peak' % (m(peer[0]), m(peer[2]), m(peer[1])))
print('  srec_cat -intel -o /dev/null -intel:       %.4f s wall  %.4f s processor  %.1f MB peak' % (m(peerHex[0]), m(peerHex[2]), m(peerHex[1])))
print('  speed-up against -binary: %.1fx wall, %.1fx processor' % (m(peer[0]) / m(ours[0]), m(peer[2]) / max(m(ours[2]), 0.001)))
print('  speed-up against -intel:  %.1fx wall, %.1fx processor' % (m(peerHex[0]) / m(ours[0]), m(peerHex[2]) / max(m(ours[2]), 0.001)))
PY
