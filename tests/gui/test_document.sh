#!/usr/bin/env bash
# A command that is a document: whether a program is set for its type is asked beside the
# program, which goes on meanwhile (the keys dial, the count runs); when the answer is that none
# is set, the failure box comes and nothing is opened.
. "$(dirname "$0")/lib.sh"
gui_setup
# Stand-ins for the desktop's tools: xdg-mime answers only once the test opens its gate, and
# knows no type; xdg-open would leave a marker.
mkdir -p "$T/bin"
printf '#!/bin/sh\necho "$*" >>"%s/asked"\nwhile [ ! -e "%s/gate" ]; do sleep 0.02; done\necho\n' "$T" "$T" >"$T/bin/xdg-mime"
printf '#!/bin/sh\necho "$*" >>"%s/opened"\n' "$T" >"$T/bin/xdg-open"
chmod +x "$T/bin/xdg-mime" "$T/bin/xdg-open"
export PATH=$T/bin:$PATH
printf 'some notes\n' >"$T/notes.txt"
ini 600 1 1 0 0 "$T/notes.txt"
open_vreko
shot_until start shows start 255,255,0 1500
boxes() { xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null | grep -vx "$WID" | wc -l; }

open_menu $((X + 200)) $((Y + 80))
key Down Return
menu_closed
check "the document's type is asked" wait_until "$LIMIT" "xdg-mime to be asked" test -s "$T/asked"
key Up
# The answer has not come: the program is not waiting for it.
check "while the answer is awaited, the keys dial" shot_until dialled shows dialled 0,255,0 1000
check "and the check still waits" eval '[ ! -e "$T/gate" ] && [ "$(boxes)" -eq 0 ] && [ ! -e "$T/opened" ]'
touch "$T/gate"
check "no program is set for its type: the failure box comes" \
    wait_until "$LIMIT" "the failure box" eval '[ "$(boxes)" -eq 1 ]'
check "and nothing was opened" absent "$T/opened"
key Return
check "Return closes the box" wait_until "$LIMIT" "the box to close" eval '[ "$(boxes)" -eq 0 ]'
check "the program goes on" eval 'alive "$VPID" && viewable "$WID"'
finish
