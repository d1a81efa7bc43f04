#!/usr/bin/env bash
# vreko.exe as it is shipped: at most 1 MiB, linked statically (Windows' own DLLs only), a
# terminal-server aware Windows GUI program that imports none of the functions antivirus
# heuristics flag, with the resources that Windows and the shell read: the version of the
# project's CMakeLists.txt, a well-formed manifest (per-monitor DPI aware, asInvoker, Windows 7
# to 11, Common Controls 6) and the program's icon, which the running window shows.
# Usage: tests/wine/test_exe.sh path/to/vreko.exe path/to/vreko_exe_check.exe
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
CHECK_BIN=$(readlink -f "${2:?usage: test_exe.sh path/to/vreko.exe path/to/vreko_exe_check.exe}")
source "$HERE/lib.sh"
EXE=$(readlink -f "$VREKO_BIN")
TRIPLET=x86_64-w64-mingw32

VERSION=$(sed -n 's/^project(vreko VERSION \([0-9][0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
IFS=. read -r V_MAJOR V_MINOR V_PATCH V_TWEAK <<<"$VERSION"
V_QUAD="$V_MAJOR.$V_MINOR.${V_PATCH:-0}.${V_TWEAK:-0}"
log "project version $VERSION ($V_QUAD)"
[ -n "$VERSION" ] || { log "no version in CMakeLists.txt"; exit 1; }

# A private X server, window manager and Wine prefix for the second half.
wine_setup

# ---- the file itself, read by the cross tools ------------------------------------------------

size=$(stat -c %s "$EXE")
log "     vreko.exe is $size bytes"
check "vreko.exe is at most 1 MiB" test "$size" -le 1048576

$TRIPLET-objdump -p "$EXE" >"$T/objdump.txt" 2>&1
dlls=$(sed -n 's/^\s*DLL Name: //p' "$T/objdump.txt" | sort -f | tr '\n' ' ')
log "     imports: $dlls"
system_dlls() {  # every DLL the program imports is one of Windows' own
    local d
    [ -n "$dlls" ] || return 1
    for d in $dlls; do
        case "${d,,}" in
            kernel32.dll | user32.dll | gdi32.dll | shell32.dll | msvcrt.dll | comctl32.dll | advapi32.dll) ;;
            *) log "     not a system DLL: $d"; return 1 ;;
        esac
    done
}
check "vreko.exe imports only Windows' own DLLs (no libstdc++, libgcc or winpthread)" system_dlls
check "vreko.exe is a Windows GUI program (no console window)" grep -q 'Subsystem.*Windows GUI' "$T/objdump.txt"
# The functions that antivirus heuristics take for a program that hijacks threads or hides
# from debuggers: winpthread (the posix thread model) and the runtime's relocator bring them.
sed -n '/^\s*DLL Name: /,$ s/^\s*[0-9a-f]\+\s\+[0-9]\+\s\+\([A-Za-z_][A-Za-z0-9_]*\)$/\1/p' "$T/objdump.txt" | sort -u >"$T/imports.txt"
log "     $(wc -l <"$T/imports.txt") functions imported"
no_suspect_imports() {
    local f bad=0
    [ -s "$T/imports.txt" ] || { log "     no imported functions found"; return 1; }
    for f in SuspendThread GetThreadContext SetThreadContext OpenProcess DuplicateHandle VirtualProtect \
        IsDebuggerPresent AddVectoredExceptionHandler; do
        grep -qx "$f" "$T/imports.txt" && { log "     imports $f"; bad=1; }
    done
    return $bad
}
check "vreko.exe imports no thread-hijacking or debugger-probing function" no_suspect_imports
# DllCharacteristics 0x8000: terminal-server aware (--tsaware).
tsaware() { [ $((0x$(sed -n 's/^DllCharacteristics\s\+\([0-9a-fA-F]*\)$/\1/p' "$T/objdump.txt") & 0x8000)) -ne 0 ]; }
check "vreko.exe is marked terminal-server aware" tsaware

# windres turns the resource section back into a resource script.
$TRIPLET-windres -i "$EXE" -O rc >"$T/resources.rc" 2>"$T/windres.log" || cat "$T/windres.log"
has_resource() { grep -qE "^1 $1( |$)" "$T/resources.rc"; }  # has_resource type → resource 1 of that type
check "the icon is resource 1 (an icon group)" has_resource 14
check "the version information is there" has_resource VERSIONINFO
check "the manifest is resource 1 of type RT_MANIFEST" has_resource 24
check "the version numbers are the project's" \
    grep -qx " FILEVERSION $V_MAJOR, $V_MINOR, ${V_PATCH:-0}, ${V_TWEAK:-0}" "$T/resources.rc"

# The manifest's text: the strings of the RT_MANIFEST resource, unquoted.
sed -n '/^1 24 /,/^END/p' "$T/resources.rc" | sed -n 's/^ *"\(.*\)"$/\1/p' |
    sed 's/""/"/g; s/\\n$//' >"$T/manifest.xml"
check "the manifest is well-formed XML" xmllint --noout "$T/manifest.xml"
# The manifest's settings with their namespaces, as XPath reads them.
xq() { xmllint --xpath "$1" "$T/manifest.xml" 2>/dev/null; }
asm='namespace-uri()="urn:schemas-microsoft-com:asm.v1"'
asm3='namespace-uri()="urn:schemas-microsoft-com:asm.v3"'
check "the manifest names the project's version" \
    test "$(xq "string(/*[local-name()='assembly']/*[local-name()='assemblyIdentity' and $asm]/@version)")" = "$V_QUAD"
check "the manifest declares the program per-monitor DPI aware (v2, then v1)" \
    test "$(xq "normalize-space(//*[local-name()='dpiAwareness' and namespace-uri()='http://schemas.microsoft.com/SMI/2016/WindowsSettings'])")" = "PerMonitorV2, PerMonitor"
check "and per-monitor aware to Windows 8.1 (true/pm)" \
    test "$(xq "normalize-space(//*[local-name()='dpiAware' and namespace-uri()='http://schemas.microsoft.com/SMI/2005/WindowsSettings'])")" = true/pm
check "the manifest asks for no elevation (asInvoker)" \
    test "$(xq "string(//*[local-name()='requestedExecutionLevel' and $asm3]/@level)")" = asInvoker
supported=$(xq "//*[local-name()='supportedOS']/@Id" | tr ' ' '\n' | sed -n 's/^Id="\(.*\)"$/\1/p' | sort | tr '\n' ' ')
check "the manifest names Windows 7, 8, 8.1 and 10/11" test "$supported" = \
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78} {35138b9a-5d96-4fbd-8e2d-a2440225f93a} {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38} {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a} "
check "the manifest asks for Common Controls 6" \
    test "$(xq "string(//*[local-name()='dependentAssembly']/*[local-name()='assemblyIdentity' and @name='Microsoft.Windows.Common-Controls']/@version)")" = 6.0.0.0

# ---- the file as Windows reads it, under Wine ------------------------------------------------

wine "$CHECK_BIN" "$(winpath "$T/app/vreko.exe")" 2>"$T/check.err" | tr -d '\r' >"$T/check.out"
cat "$T/check.out" "$T/check.err"
field() { sed -n "s/^$1=//p" "$T/check.out"; }
check "Windows reads the file version $V_QUAD" test "$(field FixedFileVersion)|$(field FixedProductVersion)" = "$V_QUAD|$V_QUAD"
check "the version strings are the project's" test "$(field FileVersion)|$(field ProductVersion)" = "$VERSION|$VERSION"
check "the names: Vreko, vreko.exe, an application" \
    test "$(field ProductName)|$(field OriginalFilename)|$(field FileType)" = "Vreko|vreko.exe|application"
check "the description, company and copyright are filled in" \
    test -n "$(field FileDescription)" -a -n "$(field CompanyName)" -a -n "$(field LegalCopyright)"
check "the copyright names the MIT licence" grep -q '^LegalCopyright=Copyright (c) .*MIT' "$T/check.out"
check "Windows' loader takes the manifest and reads per-monitor v2 awareness" \
    test "$(field manifest)|$(field dpiAware)|$(field dpiAwareness)" = "loaded|true/pm|PerMonitorV2, PerMonitor"
check "the icon holds 16, 32, 48 and 256 pixel pictures" test "$(field icon)" = 16,32,48,256

# The running window shows the program's icon (the window manager reads it for the taskbar):
# its 32x32 picture, pixel by pixel, is the icon file's.
printf '%s\r\n' "[Timer]" "TimePause=600" "[AppStart]" "FileName1=" "FileName2=" >"$T/app/Vreko.INI"
(cd "$T" && exec wine "$T/app/vreko.exe" >>"$T/vreko.log" 2>&1) &
PIDS+=($!)
check "the main window appears" wait_until "$LIMIT" "the window of vreko.exe" wine_window
icon_pixels() {  # the window's 32x32 icon as "r,g,b,a" lines
    xprop -id "$WID" -notype 32c _NET_WM_ICON 2>/dev/null | sed 's/^[^=]*= //' | tr ',' '\n' | tr -d ' ' |
        awk 'NR == 1 {w = $1} NR == 2 {h = $1} NR > 2 && NR <= 2 + w * h && w == 32 && h == 32 {
                 v = $1; printf "%d,%d,%d,%d\n", int(v / 65536) % 256, int(v / 256) % 256, v % 256, int(v / 16777216) }'
}
has_icon() { [ "$(icon_pixels | wc -l)" = 1024 ]; }
check "the window has a 32x32 icon" wait_until "$LIMIT" "the window's icon" has_icon
icon_pixels >"$T/icon-window.txt"
convert "$ROOT/data/vreko.ico[2]" -depth 8 txt:- | sed -n 's/^[0-9]*,[0-9]*: (\([0-9,]*\)).*/\1/p' >"$T/icon-file.txt"
same_icon() {  # every pixel within 2 of the file's (Wine may round the colours)
    paste -d, "$T/icon-window.txt" "$T/icon-file.txt" | awk -F, '
        function d(a, b) { return a > b ? a - b : b - a }
        NF == 8 { n++; if (d($1,$5) > 2 || d($2,$6) > 2 || d($3,$7) > 2 || d($4,$8) > 2) bad++ }
        END { if (n != 1024 || bad) { print "     " bad + 0 " of " n + 0 " pixels differ"; exit 1 } }'
}
check "the window's icon is the program's icon" same_icon

finish
