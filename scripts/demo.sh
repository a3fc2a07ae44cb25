#!/usr/bin/env bash
# Installs the packages, builds zimprog and runs the main job: load the example firmware
# into the MSP430 core simulator, verify it, start it and disconnect.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DZIM_TESTS=OFF
cmake --build build -j"$(nproc)"
./build/bin/zimprog -target sim examples/blinky.hex
