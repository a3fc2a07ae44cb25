#!/usr/bin/env bash
# Drives the bash completion of zimprog as bash does on Tab: COMP_WORDS and COMP_CWORD set,
# the registered function called, COMPREPLY checked. The program named as the first word is
# the one asked for options, targets and properties.
# Usage: completion_test.sh COMPLETION_FILE ZIMPROG
set -u
source "$1" || { echo "FAIL: cannot source $1"; exit 1; }
program="$2"
failures=0

registered="$(complete -p zimprog 2>/dev/null)"
[[ "$registered" == "complete -F _zimprog zimprog" ]] ||
    { echo "FAIL: zimprog is registered as \"$registered\""; failures=$((failures + 1)); }

# complete_words WORD... : the replies for the last word, one per line.
complete_words()
{
    COMP_WORDS=("$program" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _zimprog
    printf '%s\n' "${COMPREPLY[@]}"
}

# expect NAME "WORDS..." REPLY... : every REPLY is among the replies.
expect()
{
    local name="$1"; shift
    local -a words
    eval "words=($1)"; shift
    local replies reply
    replies="$(complete_words "${words[@]}")"
    for reply in "$@"; do
        if ! grep -qxF -- "$reply" <<<"$replies"; then
            echo "FAIL: $name: \"$reply\" is not among the replies:"; sed 's/^/    /' <<<"$replies"
            failures=$((failures + 1))
        fi
    done
}

# expect_only NAME "WORDS..." REPLY... : the replies are exactly these, in this order.
expect_only()
{
    local name="$1"; shift
    local -a words
    eval "words=($1)"; shift
    local replies expected
    replies="$(complete_words "${words[@]}")"
    expected="$(printf '%s\n' "$@")"
    if [[ "$replies" != "$expected" ]]; then
        echo "FAIL: $name: replies"; sed 's/^/    /' <<<"$replies"; echo "  expected"; sed 's/^/    /' <<<"$expected"
        failures=$((failures + 1))
    fi
}

# Every option of -help is offered for a lone "-".
mapfile -t options < <("$program" -help | sed -n 's/^  \(-[A-Za-z0-9_]*\).*/\1/p')
expect "options for -" "-" "${options[@]}"
expect_only "options by prefix, in the order of -help" "-list" -listtargets -listfiletypes -listprops -listdevices
expect_only "an option spelt out" "-nodo" -nodownload

# Target names come from -listtargets, whatever targets the program has.
mapfile -t targets < <("$program" -listtargets 2>/dev/null | sed -n 's/^  \([^ ][^ ]*\) .*/\1/p')
expect "targets after -target" "-target ''" "${targets[@]}"
expect_only "a target by prefix" "-target si" sim

expect "file types after -filetype" "-filetype ''" ihex srec hzx
expect_only "a device by prefix" "-device MSP430F227" MSP430F2272 MSP430F2274

# Property names of the selected target, blanks escaped, ready for "=VALUE".
expect_only "a property of the simulator" "-target sim -setprop Run" 'Run\ Cycle\ Limit='
expect "every property of the simulator" "-target sim -quiet -setprop ''" 'Erase\ All=' \
    'Enable\ Peripheral\ File=' 'CPU4\ PUSH\ Timing=' 'Interrupt\ poll\ interval='
expect_only "the last -target counts" "-target nosuch -target sim -setprop Trace" 'Trace\ Buffer\ Size='
expect_only "no target, no properties" "-setprop ''"
expect_only "a target without that property" "-target sim -setprop Nothing"

# Words that take a value the program cannot list get no completion of their own.
expect_only "project name" "-project ''"
expect_only "load address" "-loadaddress ''"

# Files: load files, solutions, indirect files.
dir="$(mktemp -d)"; trap 'rm -rf "$dir"' EXIT
touch "$dir/app.hex" "$dir/app.hzp" "$dir/opts.txt"
expect_only "a load file" "'$dir/app.h'" "$dir/app.hex" "$dir/app.hzp"
expect_only "a solution file" "-solution '$dir/app'" "$dir/app.hzp"
expect_only "an indirect file" "'@$dir/op'" "@$dir/opts.txt"

[ "$failures" -eq 0 ] || exit 1
echo "ok: completion of options, targets, file types, devices, properties and files"
