# Shared parts of the benchmarks: a private X server managed by openbox, and the report. Source
# it after setting T (the run's folder). Each figure's values are kept in V[name.figure],
# blank-separated, one per run; NAMES lists the programs in the order of the report's columns,
# the floor (the bare window, "bare") first, and TITLES their columns' titles.
declare -A V
PIDS=()
LABEL=32  # width of the report's first column

load() { cut -d' ' -f1-3 /proc/loadavg; }
kib() { awk -v k="$1" '$1==k":"{print $2}' "/proc/$2/smaps_rollup"; }  # kib Rss|Pss pid
stop() { kill -TERM "$1" 2>/dev/null; for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done; kill -9 "$1" 2>/dev/null; }

start_display() {  # start_display [Xvfb options...] → DISPLAY: a private Xvfb with openbox, their ids in PIDS
    local n
    # The server picks a free display itself and names it once it accepts clients.
    mkfifo "$T/displayfd"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp "$@" 3>"$T/displayfd" >/dev/null 2>&1 & PIDS+=($!)
    read -r -t 30 n <"$T/displayfd" || { echo "Xvfb did not start"; exit 1; }
    export DISPLAY=:$n
    # openbox runs its start-up command once it manages windows.
    openbox --sm-disable --startup "touch $T/wm-ready" >/dev/null 2>&1 & PIDS+=($!)
    for _ in $(seq 300); do [ -e "$T/wm-ready" ] && break; sleep 0.1; done
}

stop_display() {  # the X server last, with SIGTERM, so that it removes its lock file and socket
    local i
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do stop "${PIDS[i]}"; done
}

stats() {  # values on stdin, blank-separated → "median least most"
    tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END{ if (!NR) { print "nan nan nan"; exit }
        printf "%s %s %s\n", (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2), a[1], a[NR] }'
}
median() { stats <<<"${V[$1]:-}" | cut -d' ' -f1; }  # median name.figure

ratio() {  # ratio figure name [floor] → the ratio of the medians, "-" where the floor's is 0
    awk -v p="$(median "$2.$1")" -v f="$(median "${3:-bare}.$1")" 'BEGIN{ if (f > 0) printf "%.2fx", p/f; else print "-" }'
}

spread() {  # spread figure name format → "median [least, most]"
    local m lo hi
    read -r m lo hi < <(stats <<<"${V[$2.$1]:-}")
    if [ "$m" = nan ]; then echo "-"; else printf "$3 [$3, $3]" "$m" "$lo" "$hi"; fi
}

columns() {  # columns label cells... → one line of the report
    local line cell
    line=$(printf '%-*s' "$LABEL" "$1")
    shift
    for cell in "$@"; do line+=$(printf ' %-22s' "$cell"); done
    sed 's/ *$//' <<<"$line"
}

row() {  # row label figure format → the figure of every program: median [least, most]
    local name cells=()
    for name in "${NAMES[@]}"; do cells+=("$(spread "$2" "$name" "$3")"); done
    columns "  $1" "${cells[@]}"
}

ratios() {  # ratios figure:label... → every program's ratio to the floor
    local f name cells
    columns "ratio to the bare window" "${TITLES[@]:1}"
    for f in "$@"; do
        cells=()
        for name in "${NAMES[@]:1}"; do cells+=("$(ratio "${f%%:*}" "$name")"); done
        columns "  ${f#*:}" "${cells[@]}"
    done
    echo "  (of the medians; - where the bare window's figure is 0)"
}
