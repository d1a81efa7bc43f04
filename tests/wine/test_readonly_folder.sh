#!/usr/bin/env bash
# The Windows program under Wine in a folder that cannot be written, as Program Files is to a
# user without administrator rights: a read-only bind mount in a private mount namespace,
# which refuses even root (the wineserver, which opens files for its clients, runs in it too).
# The zip's Vreko.INI, its two commands made marker commands for the test and test mode on,
# starts without any box and its countdown runs both commands; the folder is left as it was.
# The same file with a setting missing shows the write failure naming the file, and the
# program then runs on with what it read.
# Usage: tests/wine/test_readonly_folder.sh path/to/vreko.exe path/to/vreko_wine_helper.exe
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
HELPER=$(readlink -f "${2:?usage: test_readonly_folder.sh path/to/vreko.exe path/to/vreko_wine_helper.exe}")
source "$HERE/lib.sh"
wine_setup
cp "$HELPER" "$T/helper.exe"

# The zip's settings file with marker commands in place of the warning and the switch-off, and
# test mode on: every other line as shipped.
SHIPPED=$ROOT/packaging/Vreko-windows.INI
marked() {
    sed -e "s|^FileName1=.*|FileName1=C:\\\\windows\\\\system32\\\\cmd.exe\\r|" \
        -e "s|^Param1=.*|Param1=/c echo one>>$(winpath "$T/cmd1.log" | sed 's/\\/\\\\/g')\\r|" \
        -e "s|^FileName2=.*|FileName2=C:\\\\windows\\\\system32\\\\cmd.exe\\r|" \
        -e "s|^Param2=.*|Param2=/c echo two>>$(winpath "$T/cmd2.log" | sed 's/\\/\\\\/g')\\r|" \
        -e "s|^Test=0|Test=1|" "$SHIPPED"
}
RO=$T/ro
RO2=$T/ro-missing
mkdir -p "$RO" "$RO2"
cp "$VREKO_BIN" "$RO/vreko.exe"
cp "$VREKO_BIN" "$RO2/vreko.exe"
marked >"$RO/Vreko.INI"
grep -v '^PositionTop=' "$RO/Vreko.INI" >"$RO2/Vreko.INI"
changed_lines() { diff <(tr -d '\r' <"$SHIPPED") <(tr -d '\r' <"$RO/Vreko.INI") | grep -c '^>'; }
check "the test's file differs from the zip's in the two commands and test mode only" test "$(changed_lines)" = 5
check "and keeps its Windows line ends" eval '[ "$(grep -c $'"'"'\r$'"'"' "$RO/Vreko.INI")" = "$(wc -l <"$RO/Vreko.INI")" ]'
cp "$RO/Vreko.INI" "$T/ro.ini"
cp "$RO2/Vreko.INI" "$T/ro-missing.ini"

start_read_only() {  # start_read_only folder log → its vreko.exe, both folders read-only; STARTED
    unshare -m bash -c '
        for d in "$1" "$2"; do
            mount --bind "$d" "$d" && mount -o remount,ro,bind "$d" "$d" || exit 97
        done
        if touch "$1/probe" 2>/dev/null; then echo "the folder can be written"; exit 98; fi
        cd "$4" && exec wine "$3/vreko.exe"' _ "$RO" "$RO2" "$1" "$T" >>"$T/$2" 2>&1 &
    STARTED=$!
    PIDS+=($STARTED)
}

# ---- the zip's file: no box, the countdown runs both commands -------------------------------
start_read_only "$RO" vreko.log
VPID=$STARTED
check "the main window appears by itself (no box came first)" wait_until "$LIMIT" "the window of vreko.exe" wine_window
[ -n "$WID" ] || { cat "$T/vreko.log"; finish; }
wait_viewable "$WID" "$LIMIT"
read -r X Y W H < <(geometry "$WID")
check "it is the 392x166 window, the only one of the program" test "$W $H $(titled | wc -l)" = "392 166 1"
check "the folder is read-only to the program" eval '! grep -q "can be written" "$T/vreko.log"'
xdotool windowactivate --sync "$WID" 2>/dev/null || xdotool windowfocus "$WID"
key Up
lime_readout() { shot dialled && shows dialled 0,255,0 500; }
check "a dialled minute shows in lime" wait_until "$LIMIT" "a lime readout" lime_readout
key Escape
check "Escape hides the window and the count starts" wait_viewable "$WID" "$LIMIT" no
check "the warning's command runs" wait_file "$T/cmd1.log" "$LIMIT"
check "the switch-off's command runs at the end of the count" wait_file "$T/cmd2.log" $((LIMIT * 3))
check "and the program ends" wait_gone "$VPID" "$LIMIT"
check "the settings file is as it was" cmp "$RO/Vreko.INI" "$T/ro.ini"
check "nothing else is in the folder" test "$(ls -A "$RO" | tr '\n' ' ')" = "Vreko.INI vreko.exe "

# ---- a setting missing: the write failure ---------------------------------------------------
start_read_only "$RO2" missing.log
VPID=$STARTED
box_up() { BOX=$(titled | head -1); [ -n "$BOX" ] && viewable "$BOX"; }
check "a box shows" wait_until "$LIMIT" "the box" box_up || { cat "$T/missing.log"; finish; }
box_text() { wine "$T/helper.exe" boxtext 2>/dev/null | tr -d '\r'; }
expected="Unable to write to $(winpath "$RO2/Vreko.INI")."
check "it says the file cannot be written, by its full name" test "$(box_text)" = "$expected"
log "     box: $(box_text)"
key Return
check "Return closes the box" wait_until "$LIMIT" "the box to close" eval '! viewable "$BOX"'
main_shown() { WID=$(titled | head -1); [ -n "$WID" ] && [ "$(geometry "$WID" | cut -d' ' -f3-4)" = "392 166" ]; }
check "then the main window shows" wait_until "$LIMIT" "the main window" main_shown
check "the program runs on" alive "$VPID"
check "the settings file is as it was" cmp "$RO2/Vreko.INI" "$T/ro-missing.ini"
stop_pid "$VPID"
finish
