#!/usr/bin/env bash
# Builds the library call tables and both generations of the fake with AddressSanitizer and
# UndefinedBehaviorSanitizer in a scratch folder and calls every pointer-taking function once:
# the fake writes full-width values through every pointer, so a declaration narrower than the
# library's shows up as a stack-buffer-overflow. Usage: sanitize.sh [SCRATCH_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../../../src" && pwd)
out=${1:-$(mktemp -d)}
mkdir -p "$out"
flags=(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
gcc "${flags[@]}" -shared -fPIC -DFAKE_INT=long -o "$out/libfakev2.so" "$here/fakemsp430.c"
gcc "${flags[@]}" -shared -fPIC -DFAKE_INT=int32_t -DFAKE_V3 -o "$out/libfakev3.so" "$here/fakemsp430.c"
# shellcheck disable=SC2046
g++ -std=c++20 "${flags[@]}" -fPIC -I"$src" $(pkg-config --cflags Qt6Core) "$here/sanitizecheck.cpp" \
  "$src/msp430/msp430dll.cpp" "$src/platform/libraryloader.cpp" "$src/platform/elfcheck.cpp" \
  -o "$out/sanitizecheck" $(pkg-config --libs Qt6Core)
ZIM_FAKE_MSP430="log=$out/calls.log" "$out/sanitizecheck" "$out/libfakev2.so" "$out/libfakev3.so"
