#!/bin/sh
# The fixed cost of a zimprog run: a whole `zimprog -target sim examples/blinky.hex` process beside
# a bare QCoreApplication program (startup_bare), started in turn so that both see the same
# machine. Prints the median wall time, CPU time and peak memory (maximum resident set size) of
# each, and the median of the pairwise differences.
# Usage: bench/startup/run.sh [build directory] [runs]   (default: build, 41; use a Release build
# configured with -DZIM_BENCH=ON)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=${1:-build}
runs=${2:-41}
zimprog="$build/bin/zimprog"
bare="$build/bin/startup_bare"
[ -x "$zimprog" ] || { echo "no $zimprog: build the zimprog target first" >&2; exit 2; }
[ -x "$bare" ] || { echo "no $bare: build the startup_bare target (-DZIM_BENCH=ON) first" >&2; exit 2; }
command -v python3 > /dev/null 2>&1 || { echo "python3 is needed to time the runs" >&2; exit 2; }

[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed to measure peak memory" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Each run goes through /usr/bin/time, which reports the command's peak memory, and is timed from
# fork to reaping with a monotonic clock; wait4 gives the CPU time. time(1) adds the same small
# cost to both commands.
python3 - "$runs" "$zimprog" "$bare" "$source_dir/examples/blinky.hex" "$tmp/peak" << 'EOF'
import os, statistics, subprocess, sys, time

runs = int(sys.argv[1])
zimprog, bare, hexfile, peakfile = sys.argv[2:6]
commands = {
    "zimprog": [zimprog, "-target", "sim", hexfile],
    "bare": [bare],
}

def run_once(argv):
    start = time.perf_counter()
    child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peakfile] + argv, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit("%s exited with status %d" % (" ".join(argv), child.returncode))
    with open(peakfile) as f:
        peak = int(f.read().split()[-1])
    return wall * 1000.0, (usage.ru_utime + usage.ru_stime) * 1000.0, peak

results = {name: [] for name in commands}
for name in commands:          # one warm-up run each, not counted
    run_once(commands[name])
for _ in range(runs):
    for name in commands:
        results[name].append(run_once(commands[name]))

def median(name, field):
    return statistics.median(r[field] for r in results[name])

print("%d runs each, alternating" % runs)
for name in commands:
    print("%-8s wall %6.1f ms (min %.1f, max %.1f)   cpu %6.1f ms   peak memory %6d KB" % (
        name + ":", median(name, 0), min(r[0] for r in results[name]), max(r[0] for r in results[name]),
        median(name, 1), median(name, 2)))
difference = statistics.median(z[0] - b[0] for z, b in zip(results["zimprog"], results["bare"]))
print("zimprog - bare, median of the pairwise wall differences: %.1f ms" % difference)
EOF
