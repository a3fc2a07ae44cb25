# Shared by the benchmark scripts (sourced; needs $tmp): runs a command three times under time(1)
# and keeps the fastest line: elapsed seconds, user seconds, maximum resident set size in KB.
# The machine may be busy, so the best run is the fair one. The last run's output is in
# $tmp/last.out.
timed() { # output file, command...
    out=$1
    shift
    for i in 1 2 3; do
        /usr/bin/time -f "%e %U %M" -o "$tmp/one.time" "$@" > "$tmp/last.out" 2>&1
        cat "$tmp/one.time" >> "$tmp/all.time"
    done
    sort -n "$tmp/all.time" | head -1 > "$out"
    rm -f "$tmp/all.time"
}
