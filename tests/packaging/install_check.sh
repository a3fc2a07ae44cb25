#!/usr/bin/env bash
# Installs a zimprog package with apt into a throwaway overlay of this Debian system (nothing
# reaches the real root), runs the example through the installed program, reads the manual
# page, removes the package and checks that none of its files are left.
# Usage: install_check.sh PACKAGE.deb EXAMPLE.hex. Needs root and unshare; exits 77 (skipped)
# without them.
set -u
deb="$(realpath "$1")" example="$(realpath "$2")"
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root"; exit 77; }
command -v unshare >/dev/null && command -v apt-get >/dev/null || { echo "skipped: needs unshare and apt-get"; exit 77; }
work="$(mktemp -d)"; trap 'rm -rf "$work"' EXIT
mkdir -p "$work"/{upper,work,root,files}
cp "$deb" "$work/files/zimprog.deb" && cp "$example" "$work/files/example.hex" || exit 1

unshare --mount --fork bash -s "$work" <<'OUTER'
set -u
work="$1" root="$1/root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$work/upper,workdir=$work/work" "$root" ||
    { echo "skipped: no overlay mount here"; exit 77; }
for d in proc dev sys; do mount --rbind "/$d" "$root/$d"; done
mkdir -p "$root/mnt/zimprog" && mount --bind "$work/files" "$root/mnt/zimprog"
chroot "$root" bash -s <<'INNER'
set -u
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export DEBIAN_FRONTEND=noninteractive
apt-get install -y /mnt/zimprog/zimprog.deb >/tmp/apt.log 2>&1 ||
    { cat /tmp/apt.log; echo "FAIL: apt-get install"; exit 1; }
installed="$(dpkg -L zimprog | while read -r f; do [ -d "$f" ] || echo "$f"; done)"
cd /tmp && zimprog -target sim -quiet /mnt/zimprog/example.hex || fail "the installed zimprog exits with $?"
page="$(MANWIDTH=100 man zimprog 2>&1)"
[[ "$page" == *"-listtargets"* ]] || fail "man zimprog: $page"
apt-get remove -y zimprog >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; fail "apt-get remove"; }
for f in $installed; do [ -e "$f" ] || [ -L "$f" ] && fail "left behind after removal: $f"; done
hash -r; command -v zimprog >/dev/null && fail "zimprog is still on the path"
[ "$failures" -eq 0 ] || exit 1
echo "ok: installed, ran the example, read the manual page, removed without leftovers"
INNER
OUTER
