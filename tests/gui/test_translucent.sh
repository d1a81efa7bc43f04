#!/usr/bin/env bash
# Where a compositing manager runs, the window is drawn with alpha: outside its rounded outline
# it is fully transparent, which shows as see-through also on compositors that draw a window
# as its whole rectangle and ignore its shape; inside, every pixel is opaque.
. "$(dirname "$0")/lib.sh"
gui_setup
xcompmgr >"$T/xcompmgr.log" 2>&1 &
PIDS+=($!)
# It names its window, then takes the compositing manager's selection with the next request.
wait_until "$LIMIT" "the compositing manager" eval "xdotool search --name '^xcompmgr$' >/dev/null 2>&1" || exit 1
ini 600 0
open_vreko
shot_until start shows start 255,255,0 1500

check "the window has 32 bits with alpha" bash -c "xwininfo -id $WID | grep -q 'Depth: 32'"
check "and no bounding shape: transparency alone cuts the corners" \
    bash -c "xwininfo -id $WID -shape | grep -q 'No window shape defined'"
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
finish
