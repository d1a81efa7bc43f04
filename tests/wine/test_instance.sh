#!/usr/bin/env bash
# The Windows program under Wine, one copy at a time: ten copies started at once leave one,
# with the settings file completed once and whole; the wheel, the two triangles and the close
# button drive that copy; untouched, the next copy ends by itself after the idle pause; and a
# second start brings a hidden, counting copy forward and pauses its count.
# Usage: tests/wine/test_instance.sh path/to/vreko.exe
HERE=$(cd "$(dirname "$0")" && pwd)
source "$HERE/lib.sh"
wine_setup

open_copy() {  # starts a copy and waits for its window: VPID, WID, X Y W H; the test ends without one
    start_copy vreko.log
    VPID=$STARTED
    wait_until "$LIMIT" "the window of vreko.exe" wine_window && wait_viewable "$WID" "$LIMIT" ||
        { log "no window appeared"; cat "$T/vreko.log"; exit 1; }
    read -r X Y W H < <(geometry "$WID")
}
setting() {  # setting key → its value in the settings file (Wine rewrites the file: compare values)
    tr -d '\r' <"$T/app/Vreko.INI" | sed -n "s/^$1=//p" | head -1
}

# ---- ten copies at once --------------------------------------------------------------------
# Only part of the settings: every copy, also one that ends at once, completes the file, so
# ten of them read and write it together.
{ printf '%s\r\n' "[Timer]" "TimePause=600" "Test=1" "[AppStart]"; commands; } >"$T/app/Vreko.INI"
copies=()
for i in $(seq 10); do
    start_copy copies.log
    copies+=($STARTED)
done
count_running() {
    running=0
    for p in "${copies[@]}"; do alive "$p" && running=$((running + 1)) && VPID=$p; done
}
one_running() { count_running; [ "$running" -le 1 ]; }
wait_until "$LIMIT" "the copies that lost to end" one_running
wait_until "$LIMIT" "the window of the copy that won" wine_window
count_running
check "ten copies started at once leave exactly one running ($running)" [ "$running" -eq 1 ]
check "and one process of the program" [ "$(pgrep -fc "^$T/app/vreko.exe")" -eq 1 ]
check "and exactly one window ($(titled | wc -l))" [ "$(titled | wc -l)" -eq 1 ]

# Every key once, in its own section, and no other line: no copy's write was lost or torn.
settings_whole() {
    tr -d '\r' <"$T/app/Vreko.INI" | awk '
        BEGIN { n = split("Timer/TimePause Timer/PositionTop Timer/PositionLeft Timer/PositionCenter Timer/Test " \
                          "AppStart/FileName1 AppStart/Param1 AppStart/FileName2 AppStart/Param2 " \
                          "Text/FontName Text/FontSize", want, " ")
                for (i = 1; i <= n; i++) wanted[want[i]] = 1 }
        /^\[[^]]*\]$/ { section = substr($0, 2, length($0) - 2); if (sections[section]++) { print "     section twice: " $0; bad = 1 }; next }
        /^$/ { next }
        /^[^=]+=/ { k = section "/" substr($0, 1, index($0, "=") - 1)
                    if (!(k in wanted)) { print "     unexpected key: " k; bad = 1 }
                    if (seen[k]++) { print "     key twice: " k; bad = 1 }
                    next }
        { print "     stray line: " $0; bad = 1 }
        END { for (k in wanted) if (!seen[k]) { print "     missing: " k; bad = 1 }
              exit bad }'
}
check "the settings file holds every key once, each in its section" settings_whole
check "the user's settings are kept" test "$(setting TimePause)|$(setting Test)|$(setting Param1)" = \
    "600|1|/c echo one>>$(winpath "$T/cmd1.log")"
check "the missing ones get the Windows defaults" \
    test "$(setting PositionTop)|$(setting PositionLeft)|$(setting PositionCenter)|$(setting FontName)|$(setting FontSize)" = \
    '0|0|1|Arial Black|90'

# ---- the wheel, the triangles and the close button of the copy that won --------------------
WID=$(titled | head -1)
read -r X Y W H < <(geometry "$WID")
check "its window is 392x166, centred" test "$X $Y $W $H" = "444 429 392 166"
wine_focus  # the wheel turns for the window that has the keyboard
check "the readout shows OFF in yellow" shot_until off shows off 255,255,0 500
wheel() {  # wheel button count: steps of the wheel over the readout (4 away from the user, 5 towards)
    xdotool mousemove $((X + 200)) $((Y + 80))
    for _ in $(seq "$2"); do xdotool click "$1"; done
    xdotool mousemove 0 0
}
press() { xdotool mousemove "$1" "$2" click 1; }  # one left click there
up_triangle() { press $((X + 29)) $((Y + 40)); }
down_triangle() { press $((X + 29)) $((Y + 125)); }
# In test mode a step is one minute and the steps wrap between OFF and 10.
lime_unlike() {  # lime_unlike shot other... → the shot shows minutes in lime, unlike the others
    local s=$1 o
    shift
    shows "$s" 0,255,0 500 || return 1
    [ "$(count_colour "$s" 255,255,0)" -eq 0 ] || return 1
    for o in "$@"; do same_readout "$s" "$o" >/dev/null && return 1; done
    return 0
}
wheel 4 2
check "two wheel steps away from the user show minutes in lime" shot_until w2 lime_unlike w2 off
up_triangle
check "the up triangle steps up to another time" shot_until b3 lime_unlike b3 off w2
wheel 5 1
check "one wheel step towards the user steps back" shot_until w2back same_readout w2 w2back
down_triangle
check "the down triangle steps down to another time" shot_until b1 lime_unlike b1 off w2 b3
down_triangle
check "a second step down reaches OFF" shot_until b0 same_readout off b0
down_triangle
check "the down triangle from OFF wraps to the top" shot_until b10 lime_unlike b10 off w2 b3 b1
wheel 4 1
check "a wheel step up from the top wraps to OFF" shot_until w0 same_readout off w0
# A left press on the readout drags the window: the system's move, which the window manager
# runs under Wine. The pauses inside the drag are the pace of the hand, not waits.
xdotool mousemove $((X + 200)) $((Y + 80)) mousedown 1 sleep 0.2 mousemove $((X + 150)) $((Y + 50)) sleep 0.1 \
    mousemove $((X + 100)) $((Y + 30)) sleep 0.2 mouseup 1
moved() { [ "$(geometry "$WID")" = "$((X - 100)) $((Y - 50)) $W $H" ]; }
check "dragging by the readout moves the window with the pointer" wait_until "$LIMIT" "the window to follow" moved
X=$((X - 100)) Y=$((Y - 50))
press $((X + 29)) $((Y + 83))
check "the close button, at its new place, with nothing dialled ends the program" wait_gone "$VPID" "$LIMIT"
check "nothing was launched" absent "$T/cmd1.log" "$T/cmd2.log"

# ---- the idle end --------------------------------------------------------------------------
full_settings() {  # full_settings TimePause: every key, in test mode
    { printf '%s\r\n' "[Timer]" "TimePause=$1" "PositionTop=0" "PositionLeft=0" "PositionCenter=1" "Test=1" "[AppStart]"
        commands
        printf '%s\r\n' "[Text]" "FontName=Arial Black" "FontSize=90"; } >"$T/app/Vreko.INI"
}
full_settings 5
open_copy
# Untouched with TimePause 5 the program ends on the sixth idle tick after its activation: it
# is still there two seconds after its window showed (a late tick only keeps it longer).
sleep 2
check "untouched, it is still there two seconds after it showed" alive "$VPID"
check "it ends by itself after the idle pause" wait_gone "$VPID" "$LIMIT"
check "nothing was launched" absent "$T/cmd1.log" "$T/cmd2.log"

# ---- a second start brings the first forward and pauses its count --------------------------
# The idle pause leaves time to look at the paused window before it hides again.
full_settings 8
open_copy
FIRST=$VPID
wine_focus
key Up Up
check "two minutes dialled" shot_until dialled shows dialled 0,255,0 500
key Escape
check "Escape hides the window and the count starts" wait_viewable "$WID" "$LIMIT" no
start_copy second.log
SECOND=$STARTED
check "a second start shows the first copy's window again" wait_viewable "$WID" "$LIMIT"
check "the second copy ends by itself" wait_gone "$SECOND" "$LIMIT"
check "the first copy goes on" alive "$FIRST"
check "one window of the program is on the screen" [ "$(titled | wc -l)" -eq 1 ]
check "the readout shows the minutes left in lime" shot_until paused shows paused 0,255,0 500
# The count stands: the readout is the same over two seconds, two ticks of a count that ran
# (the minutes shown would not change that soon either: the hide below tells the pause).
sleep 2
shot paused-later
check "the readout stands while the window is up" same_readout paused paused-later
# Paused, the idle count runs again: after the idle pause the window hides and the count goes
# on. A count that was still running would keep the window up until its warning.
check "after the idle pause the window hides again" wait_viewable "$WID" "$LIMIT" no
check "the first copy counts on, hidden" alive "$FIRST"
check "no command has run" absent "$T/cmd1.log" "$T/cmd2.log"
stop_pid "$FIRST"

finish
