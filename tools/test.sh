#!/usr/bin/env bash
# Installs what is missing, builds Vreko and its tests, and runs every test (unit tests on
# the in-memory backend, GUI tests on the real program under a private Xvfb with openbox),
# then the unit and GUI tests under sanitizers, a short run of every fuzz target, the portable unit
# tests built for Windows and run under Wine, and last the Debian package and the Windows zip,
# each also built a second time elsewhere to show that it comes out the same.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh test
# The sources keep one format (.clang-format): a change that drifts from it fails here, first.
find src tests bench \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z | xargs -0 clang-format --dry-run --Werror
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVREKO_BUILD_TESTS=ON -DVREKO_WERROR=ON >/dev/null
cmake --build build-test -j"$(nproc)"
cd build-test
ctest --output-on-failure -j"$(nproc)" --timeout 600
cd ..

# Everything again under AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer: the
# unit tests, and the GUI tests on the program built so, its X11 backend included; any report
# fails the test that caused it.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVREKO_SANITIZE=ON -DVREKO_WERROR=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --label-exclude seam --output-on-failure -j"$(nproc)" --timeout 600

# The fuzz targets (clang's libFuzzer): each replays its seed corpus, then fuzzes for a short
# while (VREKO_FUZZ_SECONDS each, 15 by default). A crash or a broken property fails the run.
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVREKO_FUZZ=ON \
  -DVREKO_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target vreko_fuzzers
tests/fuzz/run.sh build-fuzz "${VREKO_FUZZ_SECONDS:-15}"

# The portable unit tests cross-built for Windows (mingw-w64) and run under Wine.
tools/test-windows.sh build-test-win

# The Debian package and the Windows zip: built, validated, and their programs started (the
# package is only unpacked, never installed).
bash tests/package/test_deb.sh build-test
bash tests/package/test_zip.sh build-test-win
# Both built again from a copy of the sources in another folder: the same bytes.
bash tests/package/test_reproducible.sh build-test
bash tests/package/test_reproducible.sh build-test-win
