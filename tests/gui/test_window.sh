#!/usr/bin/env bash
# The window as a user sees it: size, place, rounded outline, the readout and the buttons.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 60 0
open_vreko
shot_until start shows start 255,255,0 1500
check "window is 392 by 166" [ "$W $H" = "392 166" ]
check "window is centred on the 1280x1024 screen" [ "$X $Y" = "444 429" ]
check "window manager keeps it above others" bash -c "xprop -id $WID _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE"
check "title is Vreko" bash -c "xprop -id $WID WM_NAME | grep -q '\"Vreko\"'"
check "an application window of class TApplication exists" \
    bash -c "xdotool search --class '^TApplication$' | head -1 | grep -q ."

# The rounded outline: the corner pixels show the white root beneath, points just inside are black.
for c in "0 0" "391 0" "0 165" "391 165"; do
    set -- $c
    check "corner $1,$2 shows what lies beneath" is_pixel start $((X + $1)) $((Y + $2)) 255,255,255
done
check "inside the rounded corner is black" is_pixel start $((X + 5)) $((Y + 5)) 0,0,0
check "the straight top edge belongs to the window" is_pixel start $((X + 200)) "$Y" 0,0,0

# The readout: "OFF" in yellow on black, no pixel of another hue inside the label.
colours start "320x140+$((X + 60))+$((Y + 12))" >"$T/label.txt"
yellow=$(awk '$1=="255,255,0"{print $2}' "$T/label.txt")
check "OFF is drawn in pure yellow (${yellow:-0} pixels)" [ "${yellow:-0}" -gt 1500 ]
check "the label holds only black and shades of yellow" \
    awk '{split($1,c,","); if (c[3]!=0 || c[1]-c[2]>1 || c[2]-c[1]>1) {print "     stray colour " $0; bad=1}} END{exit bad}' "$T/label.txt"

# Buttons: faces in the button-face grey, 2-pixel edges, black beside the shapes.
check "up arrow face" is_pixel start $((X + 29)) $((Y + 40)) 240,240,240
check "up arrow base edge is the shadow colour" is_pixel start $((X + 29)) $((Y + 56)) 160,160,160
check "up arrow slanted edge is the highlight" is_pixel start $((X + 17)) $((Y + 36)) 255,255,255
check "beside the up arrow is black" is_pixel start $((X + 10)) $((Y + 10)) 0,0,0
check "down arrow face" is_pixel start $((X + 29)) $((Y + 125)) 240,240,240
check "down arrow top edge is the highlight" is_pixel start $((X + 29)) $((Y + 113)) 255,255,255
check "down arrow slanted edge is the shadow colour" is_pixel start $((X + 45)) $((Y + 125)) 160,160,160
check "close button face" is_pixel start $((X + 29)) $((Y + 83)) 240,240,240
check "close button upper-left edge is the highlight" is_pixel start $((X + 18)) $((Y + 72)) 255,255,255
check "close button lower-right edge is the shadow colour" is_pixel start $((X + 41)) $((Y + 95)) 160,160,160
check "background strip is black" is_pixel start $((X + 4)) $((Y + 64)) 0,0,0

# Hover and pressed looks of the up arrow.
xdotool mousemove $((X + 29)) $((Y + 40))
xdotool mousemove $((X + 30)) $((Y + 41))
check "hovered face takes the highlight colour" shot_until hover is_pixel hover $((X + 29)) $((Y + 40)) 255,255,255
check "hover leaves the base edge dark" is_pixel hover $((X + 29)) $((Y + 56)) 160,160,160
xdotool mousedown 1
check "pressed face is gray" shot_until pressed is_pixel pressed $((X + 29)) $((Y + 40)) 128,128,128
check "pressed base edge turns light" is_pixel pressed $((X + 29)) $((Y + 56)) 255,255,255
check "pressed slanted edge turns dark" is_pixel pressed $((X + 17)) $((Y + 36)) 160,160,160
xdotool mouseup 1
check "the click dialled 10 minutes in lime" shot_until clicked shows clicked 0,255,0 1000
xdotool mousemove 0 0
check "leaving the button restores its idle face" shot_until left is_pixel left $((X + 29)) $((Y + 40)) 240,240,240

# The context menu's first item tries the warning command at once.
open_menu $((X + 200)) $((Y + 80))
key Down Return
check "menu item 1 launches command 1" wait_file "$T/cmd1.marker" "$LIMIT"
check "with its parameters" grep -qx 'one|two words|' "$T/cmd1.marker"
finish
