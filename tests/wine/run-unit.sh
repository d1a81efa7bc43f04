#!/usr/bin/env bash
# Runs a cross-built GoogleTest program under Wine, in a Wine prefix of its own that is
# created for this run and removed after it, with the wineserver ended at the end.
# Usage: tests/wine/run-unit.sh PROGRAM.exe [GoogleTest options...]
set -euo pipefail
exe=$(realpath "$1")
shift

run=$(mktemp -d "${TMPDIR:-/tmp}/vreko-wine.XXXXXX")
export WINEPREFIX=$run/prefix
export WINEDEBUG=-all
# No Mono or Gecko download prompt while the prefix is made: the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
# The unit tests show no window: Wine needs no display for them. The windows some of them make
# (never shown, their messages posted by the tests) live on Wine's display-less driver.
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    WINEPREFIX=$run/prefix wineserver -k 2>/dev/null || true
    rm -rf "$run"
}
trap cleanup EXIT

wineboot -u >"$run/wineboot.log" 2>&1 || { cat "$run/wineboot.log"; exit 1; }
wine reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f >"$run/reg.log" 2>&1 || { cat "$run/reg.log"; exit 1; }
wineserver -w

# The tests' working folder is a fresh one on drive Z: (the Linux root).
mkdir "$run/work"
cd "$run/work"
wine "$exe" "$@"
