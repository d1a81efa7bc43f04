#!/usr/bin/env bash
# Cross-builds the portable libraries and unit tests for 64-bit Windows with mingw-w64, then
# runs the unit tests under Wine in a private Wine prefix, and the real vreko.exe under Wine
# with a private Xvfb and openbox (window, settings file, keys, warning and its command).
# Usage: tools/test-windows.sh [BUILD_DIR]   (build-test-win by default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test-win}
cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
tests/wine/run-unit.sh "$build/vreko_portable_tests.exe" --gtest_brief=1
bash tests/wine/test_smoke.sh "$build/vreko.exe"
