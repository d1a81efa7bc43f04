#!/usr/bin/env bash
# The command line: --help and --version answer and exit, with no display needed; any other
# argument is ignored and the timer starts as always.
. "$(dirname "$0")/lib.sh"
VERSION=$(sed -n 's/^project(vreko VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
answer() {  # answer option → runs the program without a display; sets OUT, ERR and RC
    OUT=$(env -u DISPLAY -u WAYLAND_DISPLAY "$VREKO_BIN" "$1" 2>"$ERRFILE")
    RC=$?
    ERR=$(cat "$ERRFILE")
}
ERRFILE=$(mktemp)
answer --help
check "--help exits 0 (exit $RC)" [ "$RC" = 0 ]
check "and prints the usage" eval '[[ "$OUT" == "Usage: vreko "* ]]'
check "which points to the manual page" eval '[[ "$OUT" == *"man vreko"* ]]'
check "and nothing on stderr" [ -z "$ERR" ]
answer --version
check "--version exits 0 (exit $RC)" [ "$RC" = 0 ]
check "and prints the version: $OUT" [ "$OUT" = "vreko $VERSION" ]
env -u DISPLAY "$VREKO_BIN" --help >/dev/full 2>/dev/null
check "a --help that cannot be written fails" [ $? -ne 0 ]
rm -f "$ERRFILE"

gui_setup
ini 600 1
(cd "$T" && exec "$T/app/vreko" -h --bogus "two words" >>"$T/vreko.log" 2>&1) &
VPID=$!
PIDS+=($VPID)
WID=""
check "other arguments are ignored: the timer starts" wait_until "$LIMIT" "the main window" eval 'main_window && viewable "$WID"'
check "it prints nothing" [ ! -s "$T/vreko.log" ]
finish
