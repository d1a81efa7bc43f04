# Shared start of the Windows program's tests under Wine: the GUI tests' private Xvfb with
# openbox (tests/gui/lib.sh), a private Wine prefix, and the program copied into its folder.
# Source it, then call wine_setup.
source "$(dirname "${BASH_SOURCE[0]}")/../gui/lib.sh"

wine_cleanup() {
    wineserver -k >/dev/null 2>&1
    cleanup
}

wine_setup() {
    gui_setup
    export WINEPREFIX=$T/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    trap wine_cleanup EXIT
    cp "$VREKO_BIN" "$T/app/vreko.exe"
    log "making the Wine prefix"
    wineboot -u >"$T/wineboot.log" 2>&1 || { cat "$T/wineboot.log"; exit 1; }
    wineserver -w
}

winpath() { echo "Z:${1//\//\\}"; }  # the Windows name of a Linux path, through drive Z:

titled() { xdotool search --onlyvisible --name '^Vreko$' 2>/dev/null; }  # the program's visible windows
wine_window() { WID=$(titled | head -1); [ -n "$WID" ]; }                  # the first of them in WID

start_copy() {  # start_copy log → starts vreko.exe from its folder; its process id in STARTED
    (cd "$T" && exec wine "$T/app/vreko.exe" >>"$T/$1" 2>&1) &
    STARTED=$!
    PIDS+=($STARTED)
}

commands() {  # the settings' two commands: Windows' own shell writing marker files
    printf '%s\r\n' "FileName1=C:\\windows\\system32\\cmd.exe" "Param1=/c echo one>>$(winpath "$T/cmd1.log")" \
        "FileName2=C:\\windows\\system32\\cmd.exe" "Param2=/c echo two>>$(winpath "$T/cmd2.log")"
}

failing_warning_settings() {  # test mode, a long idle pause, a warning command that cannot be
    # started and an action that writes the marker $T/cmd2.log
    printf '%s\r\n' "[Timer]" "TimePause=600" "PositionTop=0" "PositionLeft=0" "PositionCenter=1" "Test=1" \
        "[AppStart]" "FileName1=$(winpath "$T/missing/nothing.exe")" "Param1=" \
        "FileName2=C:\\windows\\system32\\cmd.exe" "Param2=/c echo two>>$(winpath "$T/cmd2.log")" \
        "[Text]" "FontName=Arial Black" "FontSize=90" >"$T/app/Vreko.INI"
}
