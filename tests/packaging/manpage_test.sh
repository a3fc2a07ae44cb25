#!/usr/bin/env bash
# Every option that "zimprog -help" prints has its entry in the manual page, and every target
# and file type its own; the page renders without roff warnings.
# Usage: manpage_test.sh ZIMPROG PAGE (PAGE is zimprog.1, possibly gzip-compressed).
set -u
program="$1" page="$2"
[ -f "$page" ] || { echo "FAIL: no manual page at $page"; exit 1; }
if [[ "$page" == *.gz ]]; then roff="$(gzip -dc "$page")"; else roff="$(cat "$page")"; fi
failures=0
check() { # what, roff text that must appear
    if ! grep -qF -- "$2" <<<"$roff"; then
        echo "FAIL: $1 is not in the manual page (looked for: $2)"
        failures=$((failures + 1))
    fi
}

options="$("$program" -help | sed -n 's/^  \(-[A-Za-z0-9_]*\).*/\1/p')"
[ -n "$options" ] || { echo "FAIL: -help printed no options"; exit 1; }
count=0
while read -r option; do
    check "option $option" "\\fB\\${option}\\fR"
    # The option's help text as -help prints it, hyphens escaped for roff.
    help="$("$program" -help | grep -- "^  $option " | cut -c25-)"
    check "the help of $option" "${help//-/\\-}"
    count=$((count + 1))
done <<<"$options"
while read -r name; do
    check "target $name" "\\fB${name//-/\\-}\\fR"
done < <("$program" -listtargets 2>/dev/null | sed -n 's/^  \([^ ][^ ]*\) .*/\1/p')
while read -r name; do
    check "file type $name" "\\fB${name//-/\\-}\\fR"
done < <("$program" -listfiletypes 2>/dev/null | sed -n 's/^  \([^ ][^ ]*\) .*/\1/p')

if command -v groff >/dev/null; then
    warnings="$(groff -man -Tutf8 -ww -z <<<"$roff" 2>&1)"
    if [ -n "$warnings" ]; then
        echo "FAIL: groff warns about the page:"; echo "$warnings"
        failures=$((failures + 1))
    fi
else
    echo "groff is not installed: rendering not checked"
fi
[ "$failures" -eq 0 ] || exit 1
echo "ok: $count options, every target and file type in the manual page"
