#!/usr/bin/env bash
# Cross-builds vreko.exe for 64-bit Windows with mingw-w64 (and, in BUILD_DIR/unit-tests, the
# unit tests with GoogleTest's thread model), then runs the unit tests under Wine in a private
# Wine prefix (the portable ones, and the Windows settings file and launches), and the real
# vreko.exe under Wine with a private Xvfb and openbox (window, settings file, keys, warning and
# its command, the pointer resting on it, menu, failure and settings boxes, a warning box left
# open to the end, wheel and buttons, idle end, one copy only, a read-only folder, the screen's
# resolution and its change, the hold on sleep and the wake-up), and checks the shipped file:
# its size, DLLs, imports, version, manifest and icon.
# Usage: tools/test-windows.sh [BUILD_DIR]   (build-test-win by default)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test-win}
cmake --no-warn-unused-cli -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVREKO_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
tests/wine/run-unit.sh "$build/unit-tests/vreko_portable_tests.exe" --gtest_brief=1
tests/wine/run-unit.sh "$build/unit-tests/vreko_win32_tests.exe" --gtest_brief=1
# The smoke test and the warning box left open each wait out a whole test-mode minute, mostly
# idle: they run beside the next ones (each has its own Xvfb and Wine prefix), their reports
# printed when they are done.
bash tests/wine/test_smoke.sh "$build/vreko.exe" >"$build/wine-smoke.log" 2>&1 &
smoke=$!
bash tests/wine/test_warning_box.sh "$build/vreko.exe" >"$build/wine-warning-box.log" 2>&1 &
warning_box=$!
wine_failed=0
bash tests/wine/test_boxes.sh "$build/vreko.exe" || wine_failed=1
bash tests/wine/test_settings_box.sh "$build/vreko.exe" || wine_failed=1
bash tests/wine/test_instance.sh "$build/vreko.exe" || wine_failed=1
# The sleep test waits out two minutes and more, mostly idle; it starts once the two above are
# past their own start, so that no more than two Wine prefixes start up at once.
bash tests/wine/test_sleep.sh "$build/vreko.exe" "$build/vreko_wine_helper.exe" >"$build/wine-sleep.log" 2>&1 &
sleep_test=$!
bash tests/wine/test_pointer_idle.sh "$build/vreko.exe" || wine_failed=1
bash tests/wine/test_dpi.sh "$build/vreko.exe" "$build/vreko_wine_helper.exe" || wine_failed=1
bash tests/wine/test_readonly_folder.sh "$build/vreko.exe" "$build/vreko_wine_helper.exe" || wine_failed=1
wait "$smoke" || wine_failed=1
cat "$build/wine-smoke.log"
wait "$warning_box" || wine_failed=1
cat "$build/wine-warning-box.log"
wait "$sleep_test" || wine_failed=1
cat "$build/wine-sleep.log"
[ "$wine_failed" -eq 0 ]
bash tests/wine/test_exe.sh "$build/vreko.exe" "$build/vreko_exe_check.exe"
