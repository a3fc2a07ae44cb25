#!/usr/bin/env bash
# Builds the Debian package from a built tree, checks its files and control fields, unpacks it
# into a scratch root and runs the program from there: the listings, and a simulator download
# of the example that needs the device library and the description files of the installed tree.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR. Exits 77 (skipped) without the Debian tools.
set -u
build="$1" source="$2"
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
work="$(mktemp -d)"; trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
debs=("$work"/out/zimprog_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single zimprog_*.deb: ${debs[*]}"; exit 1; }
deb="${debs[0]}"

# The files, without directories, links shown with their target.
files="$(dpkg-deb -c "$deb" | grep -v '^d' | sed -E 's/^([^ ]+ +){5}\.//' | sort)"
expected="$(sort "$source/tests/packaging/package-files.txt")"
[ "$files" == "$expected" ] || fail "the package's files differ from package-files.txt:
$(diff <(echo "$expected") <(echo "$files"))"

depends="$(dpkg-deb -f "$deb" Depends)"
for package in libqt6core6 libqt6xml6 libusb-1.0-0 libstdc++6; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"
[ "$(dpkg-deb -f "$deb" Package)" == zimprog ] || fail "the package is not named zimprog"
dpkg-deb --ctrl-tarfile "$deb" | tar -tvf - | grep -qE '^-rwxr-xr-x .* \./postinst$' || fail "postinst is not executable"

root="$work/root"
dpkg-deb -x "$deb" "$root"
zimprog="$root/usr/bin/zimprog"
listing="$("$zimprog" -listtargets 2>/dev/null)"
[[ "$listing" == "Target Interfaces:"*"  sim "* ]] || fail "-listtargets of the installed program: $listing"
listing="$("$zimprog" -listfiletypes 2>/dev/null)"
[[ "$listing" == "File Types:"*"  ihex "* ]] || fail "-listfiletypes of the installed program: $listing"
# -device loads the device library from the installed bin/; the peripheral model comes from
# the installed targets/.
output="$("$zimprog" -target sim -verbose -device MSP430F149 -setprop "Enable Peripheral File=Yes" \
    -setprop "Run Cycle Limit=1000" "$source/examples/blinky.hex" 2>&1)" ||
    fail "the installed program does not download the example: $output"
[[ "$output" == *"Peripheral model: simulating MSP430F149"* ]] ||
    fail "the installed program does not find its peripheral model: $output"
"$zimprog" -target sim -quiet "$source/examples/blinky.hex" || fail "a plain simulator run exits with $?"

if command -v man >/dev/null; then
    page="$(MANWIDTH=100 man -l "$root/usr/share/man/man1/zimprog.1.gz" 2>&1)"
    [[ "$page" == *"-listtargets"* && "$page" == *"/usr/lib/zimprog/targets/"* ]] ||
        fail "the installed manual page does not render: $page"
fi
completion="$(bash -c 'source "$1" && complete -p zimprog' _ "$root/usr/share/bash-completion/completions/zimprog")"
[ "$completion" == "complete -F _zimprog zimprog" ] || fail "the installed completion registers: $completion"

[ "$failures" -eq 0 ] || exit 1
echo "ok: $(basename "$deb"), $(wc -l <<<"$files") files, Depends: $depends"
