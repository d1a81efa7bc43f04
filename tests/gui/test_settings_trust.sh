#!/usr/bin/env bash
# A settings file that other users may write (mode 0666) gives no command: a box says so before
# the window shows, neither menu item launches anything, and nothing is written into the file.
# Once only its owner may write it, the same file works.
. "$(dirname "$0")/lib.sh"
gui_setup
ini 60 1
sed -i '/^FontSize=/d' "$T/app/Vreko.INI"  # a start that trusts the file completes it
chmod 666 "$T/app/Vreko.INI"
cp "$T/app/Vreko.INI" "$T/before.ini"

launch_vreko
BOX=""
wait_until "$LIMIT" "a message box" box
check "a settings file writable by other users gives a message box" [ -n "$BOX" ]
[ -n "$BOX" ] || finish
shot box
others() { xdotool search --onlyvisible --classname --pid "$VPID" '^vreko$' 2>/dev/null | grep -vx "$BOX"; }
check "the window waits for it" eval '[ -z "$(others)" ]'
focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$BOX" ]; }
wait_until "$LIMIT" "the box to have the keyboard" focused
key Return
check "closed, the window shows" eval 'wait_until "$LIMIT" "the main window" main_window && wait_viewable "$WID" "$LIMIT"'
read -r X Y W H < <(geometry "$WID")
open_menu $((X + 200)) $((Y + 80))
key Down Return
menu_closed
open_menu $((X + 200)) $((Y + 80))
key Down Down Return
menu_closed
check "the program runs on" alive "$VPID"
check "nothing was written into the file" cmp -s "$T/app/Vreko.INI" "$T/before.ini"
stop_pid "$VPID"

# The same file, writable by its owner alone: its commands run, and its missing key is written.
chmod 644 "$T/app/Vreko.INI"
open_vreko
open_menu $((X + 200)) $((Y + 80))
key Down Return
check "the owner's own file launches command 1" wait_file "$T/cmd1.marker" "$LIMIT"
check "which ran once: the refused start launched neither command" \
    eval '[ "$(wc -l <"$T/cmd1.marker")" -eq 1 ] && absent "$T/cmd2.marker"'
check "and the missing key is written" grep -qx 'FontSize=90' "$T/app/Vreko.INI"
finish
