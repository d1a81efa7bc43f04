#!/usr/bin/env bash
# Installs what is missing, builds Vreko and its tests, and runs every test (unit tests on
# the in-memory backend, GUI tests on the real program under a private Xvfb with openbox).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh test
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVREKO_BUILD_TESTS=ON >/dev/null
cmake --build build-test -j"$(nproc)"
cd build-test
ctest --output-on-failure -j"$(nproc)" --timeout 600
