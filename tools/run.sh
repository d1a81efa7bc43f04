#!/usr/bin/env bash
# Installs what is missing, builds Vreko and runs it on the current X display.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVREKO_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
exec ./build/vreko
