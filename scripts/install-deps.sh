#!/usr/bin/env bash
# Installs what building and testing zimprog needs on Debian 12 (run as root).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config python3
  qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libusb-1.0-0-dev gcc-multilib
  srecord mspdebug msp430mcu
  # What TI's debug library (the msp430_dll target's libmsp430.so) needs at run time.
  libboost-filesystem1.74.0 libboost-chrono1.74.0 libboost-thread1.74.0
  libhidapi-libusb0 libusb-1.0-0 libudev1
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
