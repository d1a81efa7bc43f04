#!/usr/bin/env bash
# Builds the package of a configured build directory a second time, from another copy of the
# same sources in another folder, later, in a build directory of another name and in another
# time zone, and checks that both builds give the same bytes: the Debian package and the
# program, or the Windows zip, vreko.exe and its debug file; and that neither build's folder is
# named in the programs.
# Usage: tests/package/test_reproducible.sh BUILD_DIR   (a Linux or a mingw-w64 build directory)
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
BUILD=$(cd "${1:?usage: test_reproducible.sh BUILD_DIR}" && pwd)
source "$ROOT/tests/gui/lib.sh" "$BUILD"  # log, check, finish

D=$(mktemp -d /tmp/vreko-rebuild-XXXXXX)
trap 'rm -rf "$D"' EXIT
cached() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }
TYPE=$(cached CMAKE_BUILD_TYPE)
TOOLCHAIN=$(cached CMAKE_TOOLCHAIN_FILE)
VERSION=$(sed -n 's/^project(vreko VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
if [ -n "$TOOLCHAIN" ]; then
    FILES=("vreko-$VERSION-windows-x64.zip" vreko.exe)
    [ "$TYPE" = RelWithDebInfo ] && FILES+=(vreko.exe.debug)
else
    FILES=("vreko_${VERSION}_$(dpkg --print-architecture).deb" vreko)
fi

log "packaging in $BUILD"
cmake --build "$BUILD" --target package >"$D/first.log" 2>&1 || { cat "$D/first.log"; exit 1; }

# The copy: a clone at the same commit (so the same last commit's time), with the working
# tree's changed, new and removed files laid over it, every file written now.
SRC=$D/another/folder/vreko
if git -C "$ROOT" rev-parse --git-dir >/dev/null 2>&1; then
    git clone -q --shared --no-checkout "$ROOT" "$SRC"
    git -C "$SRC" checkout -q --detach "$(git -C "$ROOT" rev-parse HEAD)"
    (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard |
        tar --null --no-recursion --ignore-failed-read -T - -cf - 2>/dev/null) | tar -C "$SRC" --touch -xf -
    (cd "$ROOT" && git ls-files -z --deleted) | (cd "$SRC" && xargs -0 -r rm -f)
else
    mkdir -p "$SRC"
    tar -C "$ROOT" --exclude='./build*' -cf - . | tar -C "$SRC" --touch -xf -
fi
AGAIN=$SRC/out/second-build
# ... and in a time zone fourteen hours east of UTC (a POSIX rule: no zone file needed).
ZONE=ABC-14
log "building the same sources again in $AGAIN, TZ=$ZONE"
TZ=$ZONE cmake -S "$SRC" -B "$AGAIN" -DCMAKE_BUILD_TYPE="$TYPE" -DVREKO_BUILD_TESTS=OFF \
    ${TOOLCHAIN:+-DCMAKE_TOOLCHAIN_FILE="$SRC/${TOOLCHAIN#"$ROOT"/}"} >"$D/again.log" 2>&1 &&
    TZ=$ZONE cmake --build "$AGAIN" -j"$(nproc)" --target package >>"$D/again.log" 2>&1 ||
    { tail -40 "$D/again.log"; exit 1; }

# What differs, when something does: the members of a package, then the bytes.
explain() {  # explain first second
    case $1 in
    *.deb)
        diff <(ar tv "$1") <(ar tv "$2") | sed 's/^/     ar: /' | head -8
        diff <(dpkg-deb -c "$1") <(dpkg-deb -c "$2") | sed 's/^/     data: /' | head -8 ;;
    *.zip) diff <(zipinfo -l "$1") <(zipinfo -l "$2") | sed 's/^/     zip: /' | head -8 ;;
    esac
    cmp -l "$1" "$2" 2>/dev/null | wc -l | sed 's/^/     bytes that differ: /'
}
same_bytes() {  # same_bytes first second
    [ -f "$1" ] && [ -f "$2" ] && cmp -s "$1" "$2" && return 0
    explain "$1" "$2"
    return 1
}
names_no_folder() {  # names_no_folder file → the file holds no build or source folder's path
    local f
    for f in "$ROOT" "$BUILD" "$SRC"; do
        grep -qaF "$f" "$1" && { log "     $1 names $f"; return 1; }
    done
    return 0
}
for f in "${FILES[@]}"; do
    check "$f is the same in both builds" same_bytes "$BUILD/$f" "$AGAIN/$f"
done
for f in "${FILES[@]:1}"; do
    check "$f names neither the sources' nor the build's folder" names_no_folder "$BUILD/$f"
done
finish
