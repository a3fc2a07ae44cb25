#!/bin/sh
# ES3 conformance of zimprog -script: the Sputnik tests (the ES3-era suite that test262 took in,
# file names S<section>_...) of the test262 copy inside Debian's Qt 5 declarative source, less
# those that need ES5 or later, each run as a whole process with harness.js and the suite's
# assert.js before it. Prints passed and failed counts and the failures grouped by cause; the
# full list of failures (test, cause, first line of what zimprog said) goes to
# CACHE/conformance/failures.txt.
# Usage: bench/script/conformance/run.sh [BUILD [CACHE]]
#   BUILD  build directory holding bin/zimprog (default: build)
#   CACHE  where the suite is fetched and kept (default: $HOME/.cache/zimprog-bench)
# Environment: JOBS (tests run at once, default 2), LIMIT (seconds one test may take, default 30),
# ZIMPROG_OPTS (words put before -script), HEADER (a file put first in every test),
# DIALECT (standard, the default, or loader: every test then starts with the "use loader"
# directive), ONLY (a file naming the tests to run, one path under test/ a line, instead of
# the whole selection).
# The failures are then sorted against two lists beside this script: known-wrong-es3.txt, the
# tests that assert what a later edition changed (each with the change), and, in the loader
# dialect, loader-departures.txt, the tests that meet a documented departure of that dialect.
# The last line reads "N pass, M known wrong for ES3, [D documented departures, ]K other
# failures"; the exit status is 1 when K is not 0.
set -eu
export LC_ALL=C

# Worker mode: runs the tests named after the options, one result line each.
if [ "${1:-}" = --one ]; then
    set +e  # a test that cannot be read fails alone, not the rest of its batch
    zimprog=$2 suite=$3 here=$4 work=$5 limit=$6
    shift 6
    file="$work/t.$$.js"
    for test in "$@"; do
        rel=${test#"$suite/test/"}
        { [ "${DIALECT:-standard}" != loader ] || echo '"use loader";'
          [ -z "${HEADER:-}" ] || cat "$HEADER"
          cat "$here/harness.js" "$suite/harness/assert.js"
          for inc in $(sed -n 's/^includes: *\[\(.*\)\]/\1/p' "$test" | tr ',' ' '); do
              cat "$suite/harness/$inc"
          done
          cat "$test"; } > "$file"
        st=0
        timeout "$limit" "$zimprog" ${ZIMPROG_OPTS:-} -script "$file" > /dev/null 2> "$work/e.$$" < /dev/null || st=$?
        msg=$(sed '/^[[:space:]]*$/d' "$work/e.$$" | head -1)
        negative=$(sed -n '/^negative:/,/^[^ ]/s/^ *type: *//p' "$test")
        if [ $st -eq 124 ]; then
            cause="timed out after $limit s"
        elif [ $st -gt 128 ]; then
            cause="killed by signal $((st - 128))"
        elif [ -n "$negative" ]; then
            case $st:$msg in
                0:*) cause="completed where a $negative was due" ;;
                *"should not be evaluated"*) cause="parsed what must be a $negative" ;;
                *Test262Error:*) cause="assertion failed where a $negative was due" ;;
                *) cause="" ;;
            esac
        elif [ $st -ne 0 ]; then
            case $msg in
                *"throw ReferenceError"*|*"Expected a ReferenceError"*)
                    cause="no ReferenceError on reading an undeclared name" ;;
                *Test262Error:*) cause="assertion failed in $(printf '%s\n' "$rel" | cut -d/ -f1-2)" ;;
                *) cause=$(printf '%s\n' "$msg" | sed 's/^error: *//; s/^line [0-9]*: *//') ;;
            esac
        else
            cause=""
        fi
        if [ -z "$cause" ]; then echo "PASS $rel"; else printf 'FAIL %s\t%s\t%s\n' "$rel" "$cause" "$msg"; fi
    done
    rm -f "$file" "$work/e.$$"
    exit 0
fi

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
cache=${2:-${HOME:-/tmp}/.cache/zimprog-bench}/conformance
zimprog="$build/bin/zimprog"
jobs=${JOBS:-2}
limit=${LIMIT:-30}
source_package=qtdeclarative-opensource-src
source_version=5.15.8+dfsg-3

fail() { echo "conformance/run.sh: $*" >&2; exit 2; }
need() { command -v "$1" > /dev/null 2>&1 || fail "$1 is missing: $2"; }
need timeout "it bounds each test (coreutils)"
need xargs "it runs the tests (findutils)"
[ -x "$zimprog" ] || fail "no $zimprog: build the zimprog target first (or give the build directory)"
case $jobs in ''|*[!0-9]*|0) fail "JOBS must be a positive number, not '$jobs'" ;; esac
[ -z "${HEADER:-}" ] || [ -r "$HEADER" ] || fail "cannot read HEADER file $HEADER"
dialect=${DIALECT:-standard}
case $dialect in standard|loader) ;; *) fail "DIALECT must be standard or loader, not '$dialect'" ;; esac
[ -z "${ONLY:-}" ] || [ -r "$ONLY" ] || fail "cannot read ONLY file $ONLY"
zimprog=$(cd "$(dirname "$zimprog")" && pwd)/zimprog

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM
suite="$cache/test262"

# Fetch once: a private apt configuration (in the cache, not the system's) that knows Debian's
# source packages downloads the pinned source, and only the suite's tests and harness are kept.
if [ ! -d "$suite" ]; then
    need apt-get "it fetches the suite from Debian's source packages"
    need tar "it unpacks the suite"
    need xz "it unpacks the suite (apt-get install xz-utils)"
    mkdir -p "$cache" || fail "cannot create $cache"
    apt="$tmp/apt"
    mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$apt/get"
    echo "deb-src http://deb.debian.org/debian bookworm main" > "$apt/sources.list"
    set -- -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent \
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache::Archives="$apt/archives" -o APT::Sandbox::User="$(id -un)"
    echo "fetching $source_package $source_version" >&2
    apt-get "$@" -q update > "$tmp/apt.log" 2>&1 || { cat "$tmp/apt.log" >&2; fail "apt-get update failed"; }
    (cd "$apt/get" && apt-get "$@" -q source --download-only "$source_package=$source_version") > "$tmp/apt.log" 2>&1 ||
        { cat "$tmp/apt.log" >&2; fail "apt-get could not fetch $source_package $source_version"; }
    set -- "$apt/get/"*.orig.tar.xz
    [ -f "$1" ] || fail "the source of $source_package has no .orig.tar.xz"
    mkdir "$tmp/x"
    tar xJf "$1" -C "$tmp/x" --wildcards '*/ecmascripttests/test262/harness/*' \
        '*/ecmascripttests/test262/test/built-ins/*' '*/ecmascripttests/test262/test/language/*' \
        '*/ecmascripttests/test262/test/annexB/*' '*/ecmascripttests/test262/LICENSE' ||
        fail "cannot unpack the suite from $1"
    set -- "$tmp/x"/*/tests/auto/qml/ecmascripttests/test262
    [ -d "$1/test" ] || fail "no test262 folder in $source_package"
    rm -rf "$suite.part"
    mv "$1" "$suite.part" && mv "$suite.part" "$suite" || fail "cannot store the suite in $cache"
    rm -rf "$tmp/x" "$apt"
fi

# Selection: the Sputnik tests, less those that need what ES3 does not have (strict mode,
# modules, asynchronous tests, newer syntax, ES5's accessors in literals, reflection and library
# functions).
find "$suite/test" -name 'S[0-9]*.js' | sort > "$tmp/all"
total=$(wc -l < "$tmp/all")
xargs grep -lE '^flags:.*(onlyStrict|async|module|raw)|^features:|^includes:.*(propertyHelper|promiseHelper)' < "$tmp/all" > "$tmp/skip.meta" || true
xargs grep -lE 'Object\.(defineProperty|defineProperties|getOwnPropertyDescriptor|getOwnPropertyNames|create|keys|getPrototypeOf|freeze|seal|preventExtensions|isExtensible|isFrozen|isSealed)|Array\.isArray|JSON\.|\.bind\(|Symbol|Reflect\.|Proxy|Promise|\.trim\(|Date\.now|toISOString|use strict|(get|set) +[A-Za-z_$][A-Za-z0-9_$]* *\(' \
    < "$tmp/all" > "$tmp/skip.api" || true
sort -u "$tmp/skip.meta" "$tmp/skip.api" > "$tmp/skip"
comm -23 "$tmp/all" "$tmp/skip" > "$tmp/selected"
if [ -n "${ONLY:-}" ]; then
    sed 's|^[[:space:]]*||; s|[[:space:]].*||; /^$/d; s|^|'"$suite/test/"'|' "$ONLY" | sort -u > "$tmp/only"
    comm -12 "$tmp/selected" "$tmp/only" > "$tmp/chosen"
    mv "$tmp/chosen" "$tmp/selected"
fi
selected=$(wc -l < "$tmp/selected")
echo "suite: $total Sputnik tests from test262 in $source_package $source_version; $selected run," \
     "$(wc -l < "$tmp/skip.meta") skipped for flags, features or includes beyond ES3," \
     "$(comm -13 "$tmp/skip.meta" "$tmp/skip.api" | wc -l) more for ES5 or later functions or syntax"

mkdir "$tmp/work"
xargs -P "$jobs" -n 64 sh "$here/run.sh" --one "$zimprog" "$suite" "$here" "$tmp/work" "$limit" \
    < "$tmp/selected" > "$tmp/results"
passed=$(grep -c '^PASS ' "$tmp/results" || true)
failed=$(grep -c '^FAIL ' "$tmp/results" || true)
[ $((passed + failed)) -eq "$selected" ] || fail "only $((passed + failed)) of $selected tests gave a result"

grep '^FAIL ' "$tmp/results" | sed 's/^FAIL //' | sort > "$tmp/failures" || true
if [ -s "$tmp/failures" ]; then
    echo
    echo "failures by cause (count, cause, first test):"
    awk -F '\t' '{ n[$2]++; if (!($2 in first)) first[$2] = $1 } END { for (c in n) printf "%5d  %s  (%s)\n", n[c], c, first[c] }' \
        "$tmp/failures" | sort -k1,1nr -k2
fi
cp "$tmp/failures" "$cache/failures.txt" || fail "cannot write $cache/failures.txt"
echo
echo "full list of failures: $cache/failures.txt"

# Each failure is known wrong for ES3, a documented departure (loader dialect only) or other.
# A listed test that passes is named, so that the lists do not keep stale entries.
lists="$here/known-wrong-es3.txt"
[ "$dialect" != loader ] || lists="$lists $here/loader-departures.txt"
for list in $lists; do
    [ -r "$list" ] || fail "cannot read $list"
    sed -n 's/^\([^#[:space:]][^[:space:]]*\).*/\1/p' "$list" | sort -u > "$tmp/$(basename "$list").names"
done
cut -f1 "$tmp/failures" > "$tmp/failed"
sed -n 's/^PASS //p' "$tmp/results" | sort > "$tmp/passed"
known=$(comm -12 "$tmp/failed" "$tmp/known-wrong-es3.txt.names" | wc -l)
comm -23 "$tmp/failed" "$tmp/known-wrong-es3.txt.names" > "$tmp/rest"
departures=""
if [ "$dialect" = loader ]; then
    departures=$(comm -12 "$tmp/rest" "$tmp/loader-departures.txt.names" | wc -l)
    comm -23 "$tmp/rest" "$tmp/loader-departures.txt.names" > "$tmp/rest2"
    mv "$tmp/rest2" "$tmp/rest"
fi
for list in $lists; do
    comm -12 "$tmp/passed" "$tmp/$(basename "$list").names" > "$tmp/stale"
    [ ! -s "$tmp/stale" ] || { echo; echo "listed in $(basename "$list") but passed:"; sed 's/^/  /' "$tmp/stale"; }
done
other=$(wc -l < "$tmp/rest")
if [ "$other" -gt 0 ]; then
    echo
    echo "other failures:"
    join -t "$(printf '\t')" "$tmp/rest" "$tmp/failures" | cut -f1,2 | sed 's/^/  /; s/\t/  -- /'
fi
echo
echo "dialect: $dialect"
if [ "$dialect" = loader ]; then
    echo "$passed pass, $known known wrong for ES3, $departures documented departures, $other other failures"
else
    echo "$passed pass, $known known wrong for ES3, $other other failures"
fi
[ "$other" -eq 0 ]
