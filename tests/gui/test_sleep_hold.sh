#!/usr/bin/env bash
# The hold on automatic sleep, asked over private session and system buses of stand-in
# services (tests/gui/sleep_services.py): taken when the count starts, of the first interface
# that answers (the portal, then PowerManagement, then logind), for suspend only; let go before
# the action is launched, when a dial step cancels the count, and when the program is killed;
# never passed on to a launched command. A process stopped for a while is not taken for a sleep.
. "$(dirname "$0")/lib.sh"
gui_setup
HERE=$(cd "$(dirname "$0")" && pwd)
LOG=$T/holds.log
touch "$LOG"

# A bus that starts no service of the machine on demand (no real portal, say): only the stand-ins.
cat >"$T/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$T</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
own_bus() {  # own_bus name → a dbus-daemon of our own; its address in the variable named
    local address=""
    mkfifo "$T/$1.fd"
    dbus-daemon --config-file="$T/bus.conf" --nofork --print-address=3 3>"$T/$1.fd" >"$T/$1.log" 2>&1 &
    PIDS+=($!)
    read -r -t "$LIMIT" address <"$T/$1.fd"
    [ -n "$address" ] || { log "no bus $1 within ${LIMIT}s"; exit 1; }
    printf -v "$1" '%s' "$address"
}
own_bus session_bus
own_bus system_bus
export DBUS_SESSION_BUS_ADDRESS=$session_bus DBUS_SYSTEM_BUS_ADDRESS=$system_bus

SERVICES=""
services() {  # services name... → only these stand-ins answer from now on
    [ -n "$SERVICES" ] && stop_pid "$SERVICES"
    rm -f "$T/services.out"
    /usr/bin/python3 "$HERE/sleep_services.py" "$LOG" "$@" >"$T/services.out" 2>&1 &
    SERVICES=$!
    PIDS+=($SERVICES)
    wait_until "$LIMIT" "the stand-in services" grep -q ready "$T/services.out" || { cat "$T/services.out"; exit 1; }
}
logged() { grep -q "$1" "$LOG"; }
wait_logged() { wait_until "$LIMIT" "\"$1\" in the log of holds" logged "$1"; }

# The action writes into the services' log, so that its place among the holds shows.
printf '#!/bin/sh\necho "action $*" >> "%s"\n' "$LOG" >"$T/action.sh"
chmod +x "$T/action.sh"
# A warning that stays running: a descriptor it had inherited from the program would keep
# logind's pipe open after the program let go.
printf '#!/bin/sh\necho $$ > "%s"\necho warning >> "%s"\nexec sleep 40\n' "$T/lingering.pid" "$LOG" >"$T/lingering.sh"
chmod +x "$T/lingering.sh"
stop_lingering() { [ -s "$T/lingering.pid" ] && kill "$(cat "$T/lingering.pid")" 2>/dev/null; rm -f "$T/lingering.pid"; }

# ---- all three answer: the portal holds, for suspend only, until just before the action --------
services portal power-management logind
ini 30 1 1 0 0 "$T/cmd1.sh" "$T/action.sh"
open_vreko
key Up
check "nothing is held while the time is only dialled" [ ! -s "$LOG" ]
key Escape
check "the hide takes the hold of the portal" wait_logged "portal take"
check "for suspend alone (flag 4; not idle, 8)" grep -q "portal take flags=4 " "$LOG"
check "and of no other interface" bash -c "! grep -qE '^(power-management|logind) take' '$LOG'"
check "the action comes at the end" wait_until 90 "the action" logged "^action"
check "and the program ends" wait_gone "$VPID" "$LIMIT"
check "the hold was let go before the action was launched" \
    [ "$(grep -oE '^(portal take|portal release|action)' "$LOG" | tr '\n' ,)" = "portal take,portal release,action," ]

# ---- no portal: PowerManagement holds; a dial step in the last minute lets go --------------------
: >"$LOG"
services power-management logind
ini 30 1 1 0 0 "$T/lingering.sh" "$T/action.sh"
open_vreko
key Up
key Escape
check "without a portal PowerManagement holds" wait_logged "power-management take"
check "the warning comes" wait_logged "^warning"
wait_viewable "$WID" "$LIMIT"
key Up
check "a dial step in the last minute lets go of it" wait_logged "power-management release"
check "and the same cookie was let go" \
    [ "$(sed -n 's/^power-management take \([0-9]*\).*/\1/p' "$LOG")" = "$(sed -n 's/^power-management release //p' "$LOG")" ]
check "logind was not asked" bash -c "! grep -q '^logind' '$LOG'"
stop_pid "$VPID"
stop_lingering

# ---- logind alone: a sleep block, let go by closing its descriptor, which no command keeps -------
: >"$LOG"
services logind
open_vreko
key Up
key Escape
check "with logind alone, a sleep inhibitor in block mode" wait_logged "logind take what=sleep mode=block who=Vreko"
check "the warning comes and stays running" wait_logged "^warning"
wait_viewable "$WID" "$LIMIT"
key Up
check "a dial step lets go, though the warning command still runs" wait_until 10 "logind's release" logged "logind release"
check "the warning command was still running then" alive "$(cat "$T/lingering.pid")"
key Escape
check "the next hide holds again" wait_until "$LIMIT" "a second hold" eval '[ "$(grep -c "^logind take" "$LOG")" -eq 2 ]'
kill -KILL "$VPID"
check "killed, the program's descriptor closes and logind lets go" \
    wait_until "$LIMIT" "a second release" eval '[ "$(grep -c "^logind release" "$LOG")" -eq 2 ]'
stop_lingering

# ---- a portal that answers late (still starting): the next is asked, and both are let go ---------
: >"$LOG"
services portal-slow power-management
ini 30 1 1 0 0 "$T/cmd1.sh" "$T/action.sh"
open_vreko
key Up
key Escape
check "a portal that does not answer in time: PowerManagement holds" wait_logged "power-management take"
check "the portal grants the request later" wait_logged "portal take"
wait_viewable "$WID" "$LIMIT"
key Up
check "a dial step lets go of PowerManagement" wait_logged "power-management release"
check "and closes the portal's late request" wait_logged "portal release"
check "the request closed is the one granted" \
    [ "$(sed -n 's/^portal take flags=4 \([^ ]*\) .*/\1/p' "$LOG")" = "$(sed -n 's/^portal release //p' "$LOG")" ]
stop_pid "$VPID"

# ---- a portal that refuses (its desktop has nothing to hold suspend): logind is asked -------------
: >"$LOG"
services portal-refuses logind
open_vreko
key Up
key Escape
check "a portal that refuses: logind holds" wait_logged "logind take"
check "the portal was asked first" [ "$(grep -oE '^(portal refused|logind take)' "$LOG" | tr '\n' ,)" = "portal refused,logind take," ]
stop_pid "$VPID"
check "a program that ends lets go" wait_logged "logind release"

# ---- killed while the portal holds: the bus drops the caller and the portal lets go --------------
: >"$LOG"
services portal
ini 30 1 1 0 0 "$T/cmd1.sh" "$T/action.sh"
open_vreko
key Up
key Escape
wait_logged "portal take"
kill -KILL "$VPID"
check "killed, the portal's hold goes with the program's connection" wait_logged "portal dropped"
check "the action never ran" bash -c "! grep -q '^action' '$LOG'"

# ---- a stopped process is no sleep: the count stays hidden ----------------------------------------
ini 30 0 1 0 0 "$T/cmd1.sh" "$T/action.sh"
open_vreko
key Up
key Escape
wait_viewable "$WID" "$LIMIT" no
kill -STOP "$VPID"
sleep 8  # longer than a sleep that would be told
kill -CONT "$VPID"
sleep 3
check "stopped for 8 s, the program keeps its window hidden" bash -c "! xwininfo -id $WID | grep -q IsViewable"
check "and counts on" alive "$VPID"
stop_pid "$VPID"

# ---- nothing answers: the program counts and acts as ever, and says nothing ----------------------
stop_pid "$SERVICES"
SERVICES=""
export DBUS_SESSION_BUS_ADDRESS=unix:path=$T/none DBUS_SYSTEM_BUS_ADDRESS=unix:path=$T/none
: >"$T/vreko.log"
ini 30 1 1 0 0 "$T/cmd1.sh" "$T/cmd2.sh"
open_vreko
key Up
key Escape
check "without any bus the warning still comes" wait_file "$T/cmd1.marker" "$LIMIT"
check "and the program wrote nothing about it" [ ! -s "$T/vreko.log" ]
stop_pid "$VPID"
finish
