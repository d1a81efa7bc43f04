#!/usr/bin/env bash
# The Debian package, built from a configured Linux build directory: lintian finds neither
# error nor warning; its control fields, owners, modes and file list are as they should be;
# the desktop entry, the AppStream metadata and the manual page pass their validators; the
# manual page names every setting with the default the program writes; copyright and changelog
# follow Debian's formats and take LICENSE and the project's version; and the program
# extracted from the package (never installed) starts under a private Xvfb and shows its window.
# Usage: tests/package/test_deb.sh BUILD_DIR
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
BUILD=$(cd "${1:?usage: test_deb.sh BUILD_DIR}" && pwd)

D=$(mktemp -d /tmp/vreko-deb-XXXXXX)
trap 'rm -rf "$D"' EXIT
EXTRACTED=$D/root
source "$ROOT/tests/gui/lib.sh" "$EXTRACTED/usr/bin/vreko"
export LC_ALL=C.UTF-8

# The one version: project() in CMakeLists.txt.
VERSION=$(sed -n 's/^project(vreko VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
ARCH=$(dpkg --print-architecture)
[ -n "$VERSION" ] || { log "no version in CMakeLists.txt"; exit 1; }
DEB=$BUILD/vreko_${VERSION}_${ARCH}.deb

# Built under a umask that would leave other users out, so that the modes checked below cannot
# come from the builder's umask.
log "building the package (umask 077)"
rm -f "$BUILD"/vreko_*.deb
(umask 077 && cmake --build "$BUILD" --target package) >"$D/cpack.log" 2>&1 || { cat "$D/cpack.log"; exit 1; }
check "the package is named vreko_${VERSION}_${ARCH}.deb" test -f "$DEB"
[ -f "$DEB" ] || { ls "$BUILD"/*.deb 2>/dev/null; finish; }

lintian_clean() {
    lintian --allow-root --fail-on error,warning "$DEB" >"$D/lintian.log" 2>&1
    local rc=$?
    sed 's/^/     lintian: /' "$D/lintian.log"
    return $rc
}
check "lintian finds no error and no warning" lintian_clean

# Run from the top folder, as the README says: the package lands in build-deb/ there.
check "the README's install command names this package where its build command puts it" \
    eval 'grep -qF "apt install ./build-deb/$(basename "$DEB")" "$ROOT/README.md" &&
        grep -qF "cmake -S . -B build-deb " "$ROOT/README.md"'

# ---- control fields ------------------------------------------------------------------------
field() { dpkg-deb -f "$DEB" "$1"; }
check "package name and version" test "$(field Package) $(field Version)" = "vreko $VERSION"
check "architecture" test "$(field Architecture)" = "$ARCH"
check "section x11, priority optional" test "$(field Section) $(field Priority)" = "x11 optional"
check "recommends fonts-lato, libnotify-bin and xdg-utils" \
    test "$(field Recommends)" = "fonts-lato, libnotify-bin, xdg-utils"
depends_on() { field Depends | tr ',' '\n' | grep -q "^ *$1\( \|$\)"; }
check "depends on the libraries the program links (computed)" \
    eval 'depends_on libc6 && depends_on libx11-6 && depends_on libxft2 && depends_on libxrandr2'
check "maintainer and homepage are set" eval '[[ "$(field Maintainer)" == *"<"*@*">" && "$(field Homepage)" == https://* ]]'
check "the description has a synopsis and several lines more" \
    test "$(field Description | sed -n '2,$p' | grep -c '^ [^ ]')" -ge 5

# ---- file list -----------------------------------------------------------------------------
dpkg-deb -c "$DEB" | awk '{print $1, $2, $6}' >"$D/contents"
APPID=$(dpkg-deb -c "$DEB" | sed -n 's|.*\./usr/share/metainfo/\(.*\)\.metainfo\.xml$|\1|p')
check "one AppStream file, named after its reverse-domain ID" eval '[[ "$APPID" =~ ^[a-z]+\.[a-z0-9.]+\.[A-Za-z0-9]+$ ]]'
expected_files() {
    cat <<EOF
-rwxr-xr-x root/root ./usr/bin/vreko
-rw-r--r-- root/root ./usr/share/applications/vreko.desktop
-rw-r--r-- root/root ./usr/share/doc/vreko/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/vreko/copyright
-rw-r--r-- root/root ./usr/share/icons/hicolor/256x256/apps/vreko.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/48x48/apps/vreko.png
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/vreko.svg
-rw-r--r-- root/root ./usr/share/man/man1/vreko.1.gz
-rw-r--r-- root/root ./usr/share/metainfo/$APPID.metainfo.xml
EOF
}
same_files() { diff <(expected_files | sort -k3) <(grep -v '^d' "$D/contents" | sort -k3); }
check "the files, their owners and modes are exactly these" same_files
check "every folder is root's and 0755" test "$(grep '^d' "$D/contents" | grep -vc '^drwxr-xr-x root/root ./usr/')" = 0

# ---- the extracted files -------------------------------------------------------------------
dpkg-deb -x "$DEB" "$EXTRACTED"
SHARE=$EXTRACTED/usr/share
check "the program is a stripped ELF executable" eval \
    '[[ "$(file -b "$EXTRACTED/usr/bin/vreko")" == ELF*executable*", stripped" ]]'
png_size() { [[ "$(file -b "$SHARE/icons/hicolor/$1/apps/vreko.png")" == "PNG image data, ${1/x/ x }"* ]]; }
check "the 48x48 icon is 48 by 48" png_size 48x48
check "the 256x256 icon is 256 by 256" png_size 256x256

DESKTOP=$SHARE/applications/vreko.desktop
check "desktop-file-validate passes" desktop-file-validate "$DESKTOP"
desktop_key() { sed -n "s/^$1=//p" "$DESKTOP"; }
check "the desktop entry starts the packaged program" test -x "$EXTRACTED/usr/bin/$(desktop_key Exec)"
check "the desktop entry's icon is in the package" test -f "$SHARE/icons/hicolor/scalable/apps/$(desktop_key Icon).svg"

METAINFO=$SHARE/metainfo/$APPID.metainfo.xml
check "appstreamcli validate --no-net passes" eval 'appstreamcli validate --no-net "$METAINFO" >"$D/appstream.log" 2>&1 || { cat "$D/appstream.log"; false; }'
check "the metainfo's ID is its file name" grep -q "<id>$APPID</id>" "$METAINFO"
check "the metainfo launches the packaged desktop entry" grep -q '<launchable type="desktop-id">vreko.desktop</launchable>' "$METAINFO"
check "the metainfo provides the program" grep -q '<binary>vreko</binary>' "$METAINFO"
RELEASE_DATE=$(sed -n "s/.*<release version=\"$VERSION\" date=\"\([0-9-]*\)\".*/\1/p" "$METAINFO")
check "the metainfo's release is this version, with its date" test -n "$RELEASE_DATE"

# Compressed as gzip -9n: no file name and no time stamp in the header, best compression.
gzip_9n() {
    local h
    h=$(od -An -tx1 -N10 "$1" | tr -d ' \n')
    gzip -t "$1" && [ "${h:0:4}" = 1f8b ] && [ $((0x${h:6:2} & 0x08)) = 0 ] && [ "${h:8:8}" = 00000000 ] && [ "${h:16:2}" = 02 ]
}
MAN=$SHARE/man/man1/vreko.1.gz
CHANGELOG=$SHARE/doc/vreko/changelog.gz
check "the manual page is compressed with gzip -9n" gzip_9n "$MAN"
check "the changelog is compressed with gzip -9n" gzip_9n "$CHANGELOG"

# ---- manual page ---------------------------------------------------------------------------
man_quiet() {
    MANWIDTH=100 man --warnings -E UTF-8 -l "$MAN" >/dev/null 2>"$D/man.warnings"
    cat "$D/man.warnings"
    [ ! -s "$D/man.warnings" ]
}
check "man renders the page without a warning" man_quiet
check "groff -man -ww finds nothing to warn about" eval '[ -z "$(zcat "$MAN" | groff -man -ww -z 2>&1)" ]'
MANWIDTH=200 man -E ascii -l "$MAN" 2>/dev/null | col -b >"$D/man.txt"
has_sections() {
    local s
    for s in NAME SYNOPSIS DESCRIPTION "KEYS AND MOUSE" FILES "EXIT STATUS" EXAMPLES "SEE ALSO"; do
        grep -qx "$s" "$D/man.txt" || { log "     no section $s"; return 1; }
    done
}
check "the manual page has its sections" has_sections
check "the manual page carries the version and the release date" \
    eval 'zcat "$MAN" | grep -q "^\.TH VREKO 1 \"$RELEASE_DATE\" \"Vreko $VERSION\""'
man_default() { sed -n "s/^ \{7\}$1=\(.*\)/\1/p" "$D/man.txt" | head -1; }
check "the manual page names the settings file's place" grep -q 'XDG_CONFIG_HOME/vreko/Vreko.INI' "$D/man.txt"

# The command defaults, from the Linux backend's source; unescaped as C++ does.
source_default() {
    sed -n "s/^ *d\.$1 = \"\(.*\)\";/\1/p" "$ROOT/src/platform/posix/settings_file.cpp" | sed 's/\\"/"/g'
}
same_command_defaults() {
    local k
    for k in FileName1 Param1 FileName2 Param2; do
        [ -n "$(source_default $k)" ] && [ "$(man_default $k)" = "$(source_default $k)" ] ||
            { log "     $k: manual '$(man_default $k)', program '$(source_default $k)'"; return 1; }
    done
}
check "the manual page gives the commands' defaults as the program has them" same_command_defaults

# ---- copyright and changelog ---------------------------------------------------------------
COPYRIGHT=$SHARE/doc/vreko/copyright
check "the copyright file is in Debian's machine-readable format" \
    grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$COPYRIGHT"
check "its copyright holders are those of LICENSE" \
    test "$(sed -n 's/^Copyright: //p' "$COPYRIGHT")" = "$(sed -n 's/^Copyright (c) //p' "$ROOT/LICENSE")"
licence_text() {  # the licence paragraph of the copyright file, as plain text
    awk '{ line[NR] = $0 } /^License: Expat$/ { last = NR } END { for (i = last + 1; i <= NR; i++) print line[i] }' \
        "$COPYRIGHT" | sed -e 's/^ //' -e 's/^\.$//'
}
check "its licence text is LICENSE's" diff <(licence_text) <(sed '1,/^Copyright (c)/d' "$ROOT/LICENSE" | sed '/./,$!d')
check "its files stanza names the licence" grep -qx 'License: Expat' <(sed -n '/^Files: \*$/,/^$/p' "$COPYRIGHT")

zcat "$CHANGELOG" >"$D/changelog"
check "dpkg-parsechangelog reads the changelog's version as the package's" \
    test "$(dpkg-parsechangelog -l "$D/changelog" -S Version 2>"$D/parse.log")" = "$VERSION"
check "... without a complaint" test ! -s "$D/parse.log"
CHANGE_DATE=$(dpkg-parsechangelog -l "$D/changelog" -S Date 2>/dev/null)
check "the changelog's date is a real one (its weekday right) on the release day" \
    test "$(date -u -R -d "$CHANGE_DATE" 2>/dev/null) $(date -u +%F -d "$CHANGE_DATE" 2>/dev/null)" = "$CHANGE_DATE $RELEASE_DATE"

# ---- the packaged program starts ------------------------------------------------------------
gui_setup
trap 'cleanup; rm -rf "$D"' EXIT
# Only the commands are given (marker scripts); the program completes the file with the rest.
write_ini "[AppStart]
FileName1=$T/cmd1.sh
Param1=one
FileName2=$T/cmd2.sh
Param2=end"
open_vreko
check "the packaged program shows its 392x166 window" test "${W}x$H" = 392x166
shot_until start shows start 255,255,0 500
check "the readout shows OFF in yellow" shows start 255,255,0 500
# Every default the program wrote is the one the manual page gives.
same_written_defaults() {
    local k v
    for k in TimePause PositionTop PositionLeft PositionCenter Test FontName FontSize; do
        v=$(sed -n "s/^$k=//p" "$T/app/Vreko.INI")
        [ -n "$v" ] && [ "$(man_default $k)" = "$v" ] || { log "     $k: manual '$(man_default $k)', written '$v'"; return 1; }
    done
}
check "the manual page gives every default the program writes" same_written_defaults
check "the program runs until told to end" alive "$VPID"
key Escape
check "Escape with nothing dialled ends it" wait_gone "$VPID" "$LIMIT"
check "no command ran" absent "$T/cmd1.marker" "$T/cmd2.marker"
finish
