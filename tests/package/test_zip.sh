#!/usr/bin/env bash
# The Windows zip, built from a configured mingw-w64 build directory: its name carries the
# project's version; it holds one folder with vreko.exe, Vreko.INI, LICENSE.txt and README.txt
# (Windows line ends; every setting in Vreko.INI, its commands a warning through mshta.exe and
# shutdown.exe /s /t 0; the licence as in LICENSE; the readme telling which file to edit, what
# happens in a folder that cannot be written and what the commands do); and the vreko.exe
# unzipped from it starts under Wine (private prefix, Xvfb and openbox), completes a settings
# file beside itself and shows its window.
# Usage: tests/package/test_zip.sh CROSS_BUILD_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
BUILD=$(cd "${1:?usage: test_zip.sh CROSS_BUILD_DIR}" && pwd)

D=$(mktemp -d /tmp/vreko-zip-XXXXXX)
trap 'rm -rf "$D"' EXIT
VERSION=$(sed -n 's/^project(vreko VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
NAME=vreko-$VERSION-windows-x64
source "$ROOT/tests/wine/lib.sh" "$D/unzipped/$NAME/vreko.exe"
[ -n "$VERSION" ] || { log "no version in CMakeLists.txt"; exit 1; }
ZIP=$BUILD/$NAME.zip

log "building the zip"
rm -f "$BUILD"/vreko-*-windows-x64.zip
cmake --build "$BUILD" --target package >"$D/cpack.log" 2>&1 || { cat "$D/cpack.log"; exit 1; }
check "the zip is named $NAME.zip" test -f "$ZIP"
[ -f "$ZIP" ] || { ls "$BUILD"/*.zip 2>/dev/null; finish; }

check "the README's install section names this zip" grep -qF "unzip \`$NAME.zip\`" "$ROOT/README.md"

expected_entries() { printf '%s\n' "$NAME/LICENSE.txt" "$NAME/README.txt" "$NAME/Vreko.INI" "$NAME/vreko.exe"; }
check "it holds one folder with vreko.exe, Vreko.INI, LICENSE.txt and README.txt" \
    diff <(expected_entries) <(unzip -Z1 "$ZIP" | grep -v '/$' | sort)
# In the order of the names, whatever order the file system that staged them lists them in.
check "its files come in the order of their names" eval 'diff <(unzip -Z1 "$ZIP") <(unzip -Z1 "$ZIP" | LC_ALL=C sort)'
unzip -q "$ZIP" -d "$D/unzipped"
DIR=$D/unzipped/$NAME

check "vreko.exe is a 64-bit Windows GUI program" eval \
    '[[ "$(file -b "$DIR/vreko.exe")" == "PE32+ executable (GUI) x86-64"* ]]'
check "vreko.exe is the program built, byte for byte" cmp "$DIR/vreko.exe" "$BUILD/vreko.exe"
link_time() {  # link_time file → the time in the header of a Windows program (0: none)
    local pe
    pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tu4 -j$((pe + 8)) -N4 "$1" | tr -d ' '
}
check "its header carries no link time" test "$(link_time "$DIR/vreko.exe")" = 0
crlf_only() {  # every line of the file ends with CR LF
    [ -s "$1" ] && [ "$(grep -c $'\r$' "$1")" = "$(wc -l <"$1")" ] && [ "$(tail -c1 "$1" | od -An -tx1 | tr -d ' ')" = 0a ]
}
check "LICENSE.txt has Windows line ends" crlf_only "$DIR/LICENSE.txt"
check "README.txt has Windows line ends" crlf_only "$DIR/README.txt"
check "Vreko.INI has Windows line ends" crlf_only "$DIR/Vreko.INI"
ascii_only() { ! LC_ALL=C grep -q $'[^ -~\r]' "$1"; }
check "Vreko.INI is plain ASCII (the same in every code page)" ascii_only "$DIR/Vreko.INI"
ini_keys() {  # section/key of every setting line, in the file's order
    tr -d '\r' <"$DIR/Vreko.INI" | awk '/^\[.*\]$/ { s = substr($0, 2, length($0) - 2); next }
        /=/ { print s "/" substr($0, 1, index($0, "=") - 1) }'
}
check "Vreko.INI holds every setting once, in the order a first start writes them" diff <(ini_keys) <(printf '%s\n' \
    Timer/TimePause Timer/PositionTop Timer/PositionLeft Timer/PositionCenter Timer/Test \
    AppStart/FileName1 AppStart/Param1 AppStart/FileName2 AppStart/Param2 Text/FontName Text/FontSize)
zip_setting() { tr -d '\r' <"$DIR/Vreko.INI" | sed -n "s/^$1=//p"; }
check "its action switches Windows off: shutdown.exe /s /t 0" \
    test "$(zip_setting FileName2)|$(zip_setting Param2)" = 'C:\Windows\System32\shutdown.exe|/s /t 0'
check "its warning is a topmost popup through mshta.exe (no console)" \
    eval '[[ "$(zip_setting FileName1)" == "C:\Windows\System32\mshta.exe" && "$(zip_setting Param1)" == vbscript:*WScript.Shell*Popup*4144* ]]'
check "the rest are the program's own defaults" \
    test "$(zip_setting TimePause)|$(zip_setting PositionCenter)|$(zip_setting Test)|$(zip_setting FontName)|$(zip_setting FontSize)" = \
    "10|1|0|Arial Black|90"
check "LICENSE.txt is LICENSE" diff <(tr -d '\r' <"$DIR/LICENSE.txt") "$ROOT/LICENSE"
readme_says() { tr -d '\r' <"$DIR/README.txt" | tr '\n' ' ' | grep -qF -- "$1" || { log "     README.txt does not say: $1"; return 1; }; }
check "README.txt names its version" readme_says "Vreko $VERSION for Windows"
check "README.txt says the settings file is Vreko.INI beside vreko.exe" \
    readme_says "The settings file is Vreko.INI, in the same folder as vreko.exe."
check "README.txt says the zip's file is the one to edit" readme_says "The Vreko.INI in this zip is the one to edit"
check "README.txt says Program Files is fine" readme_says "unzip the folder anywhere, Program Files included"
check "README.txt says what a folder that cannot be written does" \
    readme_says 'Where the folder cannot be written (Program Files without administrator rights'
readme_zip_commands() {
    local k
    for k in FileName1 Param1 FileName2 Param2; do readme_says "$k=$(zip_setting $k)" || return 1; done
}
check "README.txt lists the zip's commands as the file has them" readme_zip_commands
check "README.txt says what /f would change" readme_says 'with /f (Param2=/s /f /t 0) Windows closes them without asking'
check "README.txt says mshta.exe opens no console" readme_says 'opens no console window'
check "the zip's Vreko.INI is the one in the sources" eval 'cmp "$DIR/Vreko.INI" "$ROOT/packaging/Vreko-windows.INI"'
# The command defaults, from the Windows backend's source, unescaped as C++ does.
source_default() {
    sed -n "s/^ *d\.$1 = \"\(.*\)\";/\1/p" "$ROOT/src/platform/win32/win32_platform.cpp" | sed 's/\\\\/\\/g'
}
readme_defaults() {
    local k v
    for k in FileName1 Param1 FileName2 Param2; do
        v=$(source_default $k)
        [ -n "$v" ] && readme_says "$k=$v" || return 1
    done
}
check "README.txt lists the program's own defaults as the program has them" readme_defaults
check "README.txt says plainly that command 2 powers off the computer" readme_says "command 2 powers off the computer"

# ---- the unzipped program starts under Wine --------------------------------------------------
wine_setup
trap 'wine_cleanup; rm -rf "$D"' EXIT
# The commands only: Windows' own shell writing marker files. The program writes the rest.
{ printf '%s\r\n' "[AppStart]"; commands; } >"$T/app/Vreko.INI"
log "starting the unzipped vreko.exe"
start_copy vreko.log
VPID=$STARTED
check "the unzipped vreko.exe shows its window" wait_until "$LIMIT" "the window of vreko.exe" wine_window
[ -n "$WID" ] || { cat "$T/vreko.log"; finish; }
wait_viewable "$WID" "$LIMIT"
read -r X Y W H < <(geometry "$WID")
check "the window is 392x166" test "${W}x$H" = 392x166
completed() { [ "$(tr -d '\r' <"$T/app/Vreko.INI" | grep -c '^[A-Za-z0-9]*=')" -ge 11 ]; }
check "its settings file beside it is completed" wait_until "$LIMIT" "the settings file to be completed" completed
xdotool windowactivate --sync "$WID" 2>/dev/null || xdotool windowfocus "$WID"
check "the program runs until told to end" alive "$VPID"
key Escape
check "Escape with nothing dialled ends it" wait_gone "$VPID" "$LIMIT"
check "its window is gone" eval '! xwininfo -id "$WID" >/dev/null 2>&1 || wait_viewable "$WID" "$LIMIT" no'
check "no command ran" absent "$T/cmd1.log" "$T/cmd2.log"
finish
