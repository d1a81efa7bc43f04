#!/usr/bin/env bash
# Where a compositing manager runs, the window is drawn with alpha: outside its rounded outline
# it is fully transparent, which shows as see-through also on compositors that draw a window
# as its whole rectangle and ignore its shape; inside, every pixel is opaque. It keeps its
# shape all the same: a press on a corner reaches the window beneath (the window manager's
# frame is cut like the window), and when the compositor stops, the corners still show what
# lies beneath instead of black squares.
. "$(dirname "$0")/lib.sh"
gui_setup
xcompmgr >"$T/xcompmgr.log" 2>&1 &
XCOMPMGR=$!
PIDS+=($XCOMPMGR)
# It names its window, then takes the compositing manager's selection with the next request.
wait_until "$LIMIT" "the compositing manager" eval "xdotool search --name '^xcompmgr$' >/dev/null 2>&1" || exit 1
ini 600 0
open_vreko
shot_until start shows start 255,255,0 1500

check "the window has 32 bits with alpha" bash -c "xwininfo -id $WID | grep -q 'Depth: 32'"
check "and its bounding shape, the rounded outline enlarged by a pixel" \
    bash -c "xwininfo -id $WID -shape | grep -q 'Window shape extents:  393x167+-1+-1'"
dump_window "$WID" own
for c in "0 0" "391 0" "0 165" "391 165" "3 0" "388 0" "1 1" "389 164"; do
    set -- $c
    check "its pixel $1,$2 outside the outline is transparent" is_alpha own "$1" "$2" 0
done
for c in "4 0" "386 0" "2 1" "5 5" "386 160" "200 0" "0 83" "391 83" "29 40" "200 83"; do
    set -- $c
    check "its pixel $1,$2 inside is opaque" is_alpha own "$1" "$2" 255
done

# On the screen as the compositor draws it: the corners show what lies beneath, the rest as
# without a compositor.
beneath=$(pixel start 5 5)
for c in "0 0" "391 0" "0 165" "391 165"; do
    set -- $c
    check "corner $1,$2 on the screen shows what lies beneath" is_pixel start $((X + $1)) $((Y + $2)) "$beneath"
done
check "inside the rounded corner is black" is_pixel start $((X + 5)) $((Y + 5)) 0,0,0
check "up arrow face" is_pixel start $((X + 29)) $((Y + 40)) 240,240,240
key Up
check "the readout dials in lime" shot_until dialled shows dialled 0,255,0 1000

# A window beneath the top-left corner that reports the presses it gets.
stdbuf -oL xev -geometry 200x150+$((X - 100))+$((Y - 100)) -name vreko-beneath -event button >"$T/beneath.log" 2>&1 &
PIDS+=($!)
beneath_up() { BENEATH=$(xdotool search --name '^vreko-beneath$' 2>/dev/null | head -1); [ -n "$BENEATH" ] && managed "$BENEATH" && viewable "$BENEATH"; }
wait_until "$LIMIT" "the window beneath" beneath_up || finish
covers_corner() { read -r bx by bw bh < <(geometry "$BENEATH") && [ "$bx" -lt "$X" ] && [ "$by" -lt "$Y" ] && [ $((bx + bw)) -gt "$X" ] && [ $((by + bh)) -gt "$Y" ]; }
check "it lies under the corner" wait_until "$LIMIT" "the window beneath in place" covers_corner
check "ours stays above it" shot_until over is_pixel over $((X + 5)) $((Y + 5)) 0,0,0
xdotool mousemove "$X" "$Y" mousedown 1
check "a press on the corner pixel reaches the window beneath" \
    wait_until "$LIMIT" "the press beneath" grep -q ButtonPress "$T/beneath.log"
xdotool mouseup 1
read -r X2 Y2 _ < <(geometry "$WID")
check "and does not drag ours" [ "$X2 $Y2" = "$X $Y" ]

# The compositor stops: the window keeps its alpha visual, and its corners are cut by the shape.
stop_pid "$XCOMPMGR"
corners_beneath() {
    local c
    for c in "0 0" "391 0" "0 165" "391 165"; do
        set -- $c
        is_pixel nocomp $((X + $1)) $((Y + $2)) 255,255,255 || return 1
    done
    is_pixel nocomp $((X + 5)) $((Y + 5)) 0,0,0
}
check "with the compositor stopped, the corners still show what lies beneath" shot_until nocomp corners_beneath
finish
