#!/usr/bin/env bash
# The Windows program under Wine at the screen's resolution: at 96 pixels per inch the design's
# 392x166, at 144 one and a half times it; and a running window told by Windows' message that
# its screen now has 144 (then 96 again) scales its design, its readout's font and its rounded
# outline, and keeps its centre.
# Usage: tests/wine/test_dpi.sh path/to/vreko.exe path/to/vreko_wine_helper.exe
HERE=$(cd "$(dirname "$0")" && pwd)
HELPER=$(readlink -f "${2:?usage: test_dpi.sh path/to/vreko.exe path/to/vreko_wine_helper.exe}")
source "$HERE/lib.sh"
wine_setup
cp "$HELPER" "$T/helper.exe"
printf '%s\r\n' "[Timer]" "TimePause=600" "PositionTop=0" "PositionLeft=0" "PositionCenter=1" "Test=0" \
    "[AppStart]" "FileName1=" "Param1=" "FileName2=" "Param2=" "[Text]" "FontName=Arial Black" "FontSize=90" \
    >"$T/app/Vreko.INI"

set_dpi() {  # set_dpi DPI → the resolution Wine reports to programs started after it
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wineserver -w
}
open_copy() {  # starts a copy and waits for its window: VPID, WID, X Y W H
    start_copy vreko.log
    VPID=$STARTED
    wait_until "$LIMIT" "the window of vreko.exe" wine_window && wait_viewable "$WID" "$LIMIT" ||
        { log "no window appeared"; cat "$T/vreko.log"; exit 1; }
    read -r X Y W H < <(geometry "$WID")
}
yellow() {  # yellow shot → pixels of the readout's yellow in the window
    colours "$1" "${W}x$H+$X+$Y" | awk '$1 == "255,255,0" { n = $2 } END { print n + 0 }'
}
corners_cut() {  # corners_cut shot → the root shows at the window's corner, black just inside it
    [ "$(pixel "$1" "$X" "$Y")" = 255,255,255 ] && [ "$(pixel "$1" $((X + W - 1)) $((Y + H - 1)))" = 255,255,255 ] &&
        [ "$(pixel "$1" $((X + W / 10)) $((Y + H / 10)))" = 0,0,0 ]
}
still() { shot "$1" && [ "$(yellow "$1")" -gt 500 ]; }

# ---- 96 pixels per inch ---------------------------------------------------------------------
set_dpi 96
open_copy
check "at 96 dpi the window is 392x166, centred" test "$X $Y $W $H" = "444 429 392 166"
shot_until at96 still at96
Y96=$(yellow at96)
log "     readout: $Y96 yellow pixels"
check "its corners are cut" corners_cut at96
CX=$((X + W / 2)) CY=$((Y + H / 2))

# Windows' message for a move to a screen of 144 dpi (or a change of the scale).
check "the window takes the message of a change to 144 dpi" test "$(wine "$T/helper.exe" dpichanged 144 | tr -d '\r')" = sent
scaled() { read -r X Y W H < <(geometry "$WID"); [ "$W $H" = "588 249" ]; }
check "it becomes 588x249" wait_until "$LIMIT" "the window to grow" scaled
check "about the same centre" test "$((X + W / 2)) $((Y + H / 2))" = "$CX $CY"
grown() { shot "$1" && [ "$(yellow "$1")" -gt $((Y96 * 2)) ]; }
check "the readout's font grows with it (2.25 times the area)" shot_until dpi144 grown dpi144
log "     readout: $(yellow dpi144) yellow pixels"
check "the outline follows: its corners are cut" corners_cut dpi144
check "the corners are rounder: 3 pixels in from the corner, black at 96 dpi, cut at 144" \
    test "$(pixel at96 $((CX - 196 + 3)) $((CY - 83 + 3)))|$(pixel dpi144 $((X + 3)) $((Y + 3)))" = "0,0,0|255,255,255"

check "and back at 96 dpi" test "$(wine "$T/helper.exe" dpichanged 96 | tr -d '\r')" = sent
unscaled() { read -r X Y W H < <(geometry "$WID"); [ "$X $Y $W $H" = "444 429 392 166" ]; }
check "it is the design's 392x166 at its old place again" wait_until "$LIMIT" "the window to shrink" unscaled
back() { shot "$1" && [ "$(yellow "$1")" = "$Y96" ]; }
check "with the readout as before" shot_until back96 back back96
check "and its corners cut" corners_cut back96
stop_pid "$VPID"
wineserver -k
wineserver -w

# ---- 144 pixels per inch from the start -----------------------------------------------------
set_dpi 144
open_copy
log "     at 144 dpi: $X $Y $W $H"
check "at 144 dpi the window starts at 588x249, centred" test "$X $Y $W $H" = "$(((1280 - 588) / 2)) $(((1024 - 249) / 2)) 588 249"
shot_until at144 still at144
check "its readout is the size of the scaled one" within "$(yellow at144)" $(($(yellow dpi144) * 9 / 10)) $(($(yellow dpi144) * 11 / 10))
check "its corners are cut" corners_cut at144
stop_pid "$VPID"
finish
