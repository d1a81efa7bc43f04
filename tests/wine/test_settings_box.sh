#!/usr/bin/env bash
# The Windows program under Wine with a settings error: its message box is the program's window
# in front, at the centre of the screen, and has the keyboard (Return closes it); the main
# window shows only after it. With the empty idle pause the program then ends on its first
# idle tick.
# Usage: tests/wine/test_settings_box.sh path/to/vreko.exe
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/lib.sh"
wine_setup
printf '%s\r\n' "[Timer]" "TimePause=" >"$T/app/Vreko.INI"

# Every change of the window manager's list of windows, to see windows that show only briefly.
xprop -root -spy _NET_CLIENT_LIST >"$T/clients.log" 2>&1 &
PIDS+=($!)
start_copy vreko.log
VPID=$STARTED
box_up() { BOX=$(titled | head -1); [ -n "$BOX" ] && viewable "$BOX"; }
check "the settings error shows a box" wait_until "$LIMIT" "the box" box_up || { cat "$T/vreko.log"; finish; }
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$BOX" ]; }
check "the box has the keyboard" wait_until "$LIMIT" "the box to take the focus" focused
read -r BX BY BW BH < <(geometry "$BOX")
check "the box is centred on the screen" within $((BX + BW / 2 - 640)) -20 20
check "(also upright)" within $((BY + BH / 2 - 512)) -40 40
# Nothing of the program covers it: its corners show the box's grey face, not the black window.
face() { shot box && [ "$(pixel box $((BX + 6)) $((BY + 6)))" != 0,0,0 ] && [ "$(pixel box $((BX + BW - 6)) $((BY + BH - 6)))" != 0,0,0 ]; }
check "the box is in front" wait_until "$LIMIT" "the box's face" face
check "the main window is not shown while the box is open" test "$(titled | wc -l)" = 1
key Return
check "Return closes the box" wait_until "$LIMIT" "the box to close" eval '! viewable "$BOX"'
# The main window shows once the box is closed: a window of the program other than the box is
# listed by the window manager after it.
shown_after() { grep -o '0x[0-9a-f]*' "$T/clients.log" | grep -vix "$(printf '0x%x' "$BOX")" | grep -q .; }
check "then the window shows" wait_until "$LIMIT" "the main window" shown_after
check "and with no idle pause the program ends on its first idle tick" wait_gone "$VPID" "$LIMIT"
finish
