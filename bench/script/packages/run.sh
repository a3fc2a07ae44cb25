#!/bin/sh
# Real ES3-era npm packages and Octane's ES3 programs, run unmodified under zimprog -script, mujs
# and duk beside node, whose output is the truth: pass or fail for each engine, the median wall
# time of several whole-process runs (engines alternate run by run) and the largest peak memory.
# Usage: bench/script/packages/run.sh [BUILD [CACHE]]
#   BUILD  build directory holding bin/zimprog (default: build)
#   CACHE  where the packages are fetched and kept (default: $HOME/.cache/zimprog-bench)
# Environment: RUNS (timed runs per engine, default 5), LIMIT (seconds one run may take, default
# 120), ZIMPROG_OPTS (words put before -script), ONLY (space-separated driver names to run).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
cache=${2:-${HOME:-/tmp}/.cache/zimprog-bench}/packages
zimprog="$build/bin/zimprog"
runs=${RUNS:-5}
limit=${LIMIT:-120}

fail() { echo "packages/run.sh: $*" >&2; exit 2; }
need() { command -v "$1" > /dev/null 2>&1 || fail "$1 is missing: $2"; }
need node "node's output is what every engine is checked against (apt-get install nodejs)"
need npm "it fetches the packages (apt-get install npm)"
need tar "it unpacks the packages"
need timeout "it bounds each run (coreutils)"
[ -x /usr/bin/time ] || fail "/usr/bin/time is missing: it measures each run (apt-get install time)"
[ -x "$zimprog" ] || fail "no $zimprog: build the zimprog target first (or give the build directory)"
case $runs in ''|*[!0-9]*|0) fail "RUNS must be a positive number, not '$runs'" ;; esac

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM
mkdir -p "$cache/src" || fail "cannot create $cache"

drivers=${ONLY:-"underscore mustache json3 esprima marked uglify beautify cryptojs bigjs coffee
    octane-richards octane-deltablue octane-crypto octane-raytrace octane-navier octane-splay
    octane-earley octane-regexp"}
for d in $drivers; do [ -f "$here/$d.js" ] || fail "no driver $here/$d.js"; done

# Fetch each pinned package once: npm pack brings the published tarball alone, without its
# dependencies, and the unpacked tree moves into the cache only when it is complete.
pinnedPackages=$(for d in $drivers; do sed -n 's|^// uses: *||p' "$here/$d.js"; done | tr ' ' '\n' | sed '/^$/d' | sort -u)
for pinned in $pinnedPackages; do
    [ -d "$cache/src/$pinned" ] && continue
    echo "fetching $pinned" >&2
    mkdir "$tmp/pack"
    tarball=$(cd "$tmp/pack" && npm pack --silent "$pinned" 2> "$tmp/npm.err" | tail -1) ||
        { cat "$tmp/npm.err" >&2; fail "npm could not fetch $pinned"; }
    [ -f "$tmp/pack/$tarball" ] || { cat "$tmp/npm.err" >&2; fail "npm could not fetch $pinned"; }
    mkdir "$tmp/pack/x"
    tar xzf "$tmp/pack/$tarball" -C "$tmp/pack/x" || fail "cannot unpack $pinned"
    set -- "$tmp/pack/x"/*
    [ $# -eq 1 ] && [ -d "$1" ] || fail "$pinned does not unpack into one folder"
    mv "$1" "$cache/src/$pinned.part" && mv "$cache/src/$pinned.part" "$cache/src/$pinned" || fail "cannot store $pinned in $cache"
    rm -rf "$tmp/pack"
done

engines="node zimprog mujs duk"
present="node zimprog"
for peer in mujs duk; do command -v $peer > /dev/null 2>&1 && present="$present $peer"; done

# Runs ENGINE on FILE, output to OUT, errors to ERR; under /usr/bin/time when TIMES is set.
run() {
    engine=$1 file=$2 outfile=$3 errfile=$4
    case $engine in
        node) set -- node "$file" ;;
        zimprog) set -- "$zimprog" ${ZIMPROG_OPTS:-} -script "$file" ;;
        *) set -- "$engine" "$file" ;;
    esac
    if [ -n "${TIMES:-}" ]; then
        /usr/bin/time -f "%e %M" -o "$TIMES" timeout "$limit" "$@" > "$outfile" 2> "$errfile"
    else
        timeout "$limit" "$@" > "$outfile" 2> "$errfile"
    fi
}

# Prints why ENGINE's run (status STATUS) is not node's: the first line of what it said on
# standard error, or the first line where its output differs.
reason() {
    engine=$1 status=$2 name=$3
    if [ "$status" -eq 124 ]; then echo "timed out after $limit s"; return; fi
    if [ "$status" -ne 0 ]; then
        line=$(sed '/^[[:space:]]*$/d' "$tmp/$name.$engine.err" | head -1)
        echo "exit $status: ${line:-no message}"
        return
    fi
    n=$(awk 'NR == FNR { a[FNR] = $0; n = FNR; next } { if (!(FNR in a) || a[FNR] != $0) { print FNR; exit } m = FNR }
             END { if (m < n) print m + 1 }' "$tmp/$name.expected" "$tmp/$name.$engine.out" | head -1)
    echo "output differs from node's at line ${n:-?}"
}

printf '%-17s' package
for e in $engines; do printf ' %-17s' "$e s/MiB"; done
printf ' %s\n' "zimprog/best-peer"
: > "$tmp/notes"
status_all=0
for name in $drivers; do
    node "$here/bundle.js" "$here/prelude.js" "$here/$name.js" "$cache/src" "$tmp/$name.bundle.js" ||
        fail "cannot bundle $name"
    if ! run node "$tmp/$name.bundle.js" "$tmp/$name.expected" "$tmp/$name.node.err"; then
        echo "node failed on $name: $(head -3 "$tmp/$name.node.err")" >> "$tmp/notes"
        status_all=1
        continue
    fi
    passing=""
    for e in $present; do
        [ "$e" = node ] && { passing="$passing node"; continue; }
        st=0
        run "$e" "$tmp/$name.bundle.js" "$tmp/$name.$e.out" "$tmp/$name.$e.err" || st=$?
        if [ $st -eq 0 ] && cmp -s "$tmp/$name.expected" "$tmp/$name.$e.out"; then
            passing="$passing $e"
        else
            echo "$e $name: $(reason "$e" $st "$name")" >> "$tmp/notes"
        fi
    done
    # Timed runs: one round runs every passing engine once, so a drift of the machine's speed
    # touches all of them alike.
    for e in $passing; do : > "$tmp/$name.$e.times"; done
    i=0
    while [ $i -lt "$runs" ]; do
        for e in $passing; do
            st=0
            TIMES="$tmp/one" run "$e" "$tmp/$name.bundle.js" "$tmp/$name.timed.out" "$tmp/$name.timed.err" || st=$?
            [ $st -eq 0 ] || echo "$e $name: a timed run ended with status $st" >> "$tmp/notes"
            tail -1 "$tmp/one" >> "$tmp/$name.$e.times"
        done
        i=$((i + 1))
    done
    printf '%-17s' "$name"
    best="" zim=""
    for e in $engines; do
        case " $passing " in
            *" $e "*)
                med=$(sort -n "$tmp/$name.$e.times" | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
                mib=$(sort -n -k2 "$tmp/$name.$e.times" | tail -1 | awk '{ printf "%.1f", $2 / 1024 }')
                printf ' %-17s' "pass $med/$mib"
                case $e in
                    zimprog) zim=$med ;;
                    mujs|duk) best=$(awk -v a="${best:-}" -v b="$med" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }') ;;
                esac ;;
            *) case " $present " in
                   *" $e "*) printf ' %-17s' "FAIL" ;;
                   *) printf ' %-17s' "-" ;;
               esac ;;
        esac
    done
    if [ -n "$zim" ] && [ -n "$best" ]; then
        awk -v z="$zim" -v b="$best" 'BEGIN { if (b > 0) printf " %.2f\n", z / b; else print " -" }'
    else
        echo " -"
    fi
done
for peer in mujs duk; do
    case " $present " in *" $peer "*) ;; *) echo "$peer: not installed, not run" >> "$tmp/notes" ;; esac
done
if [ -s "$tmp/notes" ]; then
    echo
    cat "$tmp/notes"
fi
exit $status_all
