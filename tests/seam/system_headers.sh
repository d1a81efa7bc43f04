#!/bin/bash
# The portable code must live with a window system's headers included anywhere before it, in
# any order: <windows.h> for the Windows backend, Xlib, Xft and fontconfig for the X11 one.
#  1. One source that includes the system's headers first and then every portable header
#     compiles (for Windows with UNICODE defined, as the Windows backend builds).
#  2. No identifier of the portable headers and sources is a macro of those headers (such as
#     the A/W names MessageBox or TextOut of <windows.h>, or None, Status and Bool of Xlib):
#     the macro would rename a name in the backend that includes the headers but not in the
#     portable code, or break the code that follows them. Macros that the portable code gets
#     without them (errno, INT_MAX...) do not count.
# Usage: system_headers.sh SOURCE_DIR windows|x11 [COMPILER]
set -euo pipefail
src=${1:?source directory}
system=${2:?windows or x11}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
case "$system" in
  windows)
    cxx=${3:-x86_64-w64-mingw32-g++-posix}
    package=g++-mingw-w64-x86-64
    flags=(-DUNICODE -D_UNICODE)
    printf '#include <%s>\n' windows.h >"$work/system.h" ;;
  x11)
    cxx=${3:-g++}
    package=libx11-dev
    read -r -a flags <<<"$(pkg-config --cflags x11 xext xft xrandr fontconfig 2>/dev/null || echo)"
    printf '#include <%s>\n' X11/Xlib.h X11/Xutil.h X11/Xatom.h X11/Xresource.h X11/XKBlib.h X11/keysym.h \
      X11/cursorfont.h X11/extensions/shape.h X11/extensions/Xrandr.h X11/Xft/Xft.h fontconfig/fontconfig.h \
      >"$work/system.h" ;;
  *) echo "system_headers: unknown system $system" >&2; exit 2 ;;
esac
if ! command -v "$cxx" >/dev/null; then
  echo "system_headers: $cxx not found (Debian package $package)" >&2
  exit 77
fi
flags+=(-std=c++20 -I"$src/src")
portable="core settings controls instance app"
(cd "$src/src" && find platform -maxdepth 1 -name '*.h' && find $portable -name '*.h') | LC_ALL=C sort >"$work/headers"
(cd "$src/src" && find platform -maxdepth 1 -name '*.cpp' && find $portable -name '*.cpp') | LC_ALL=C sort >"$work/sources"
sed 's|.*|#include "&"|' "$work/headers" >"$work/portable.cpp"
cat "$work/system.h" "$work/portable.cpp" >"$work/system_first.cpp"

if ! "$cxx" "${flags[@]}" -fsyntax-only -Wall -Wextra -Werror "$work/system_first.cpp" 2>"$work/errors"; then
  head -40 "$work/errors" >&2
  echo "system_headers: the portable headers do not compile after the $system headers" >&2
  exit 1
fi

macros() { "$cxx" "${flags[@]}" -E -dM "$1" | awk '{ sub(/\(.*/, "", $2); print $2 }' | LC_ALL=C sort -u; }
# Every standard header the portable code may use, so that their macros count as its own.
printf '#include <%s>\n' cassert cctype cerrno cfloat climits cmath cstddef cstdint cstdio cstdlib cstring \
  algorithm chrono filesystem functional memory optional string string_view vector >>"$work/portable.cpp"
LC_ALL=C comm -23 <(macros "$work/system_first.cpp") <(macros "$work/portable.cpp") >"$work/system_macros"

clashes=0
while read -r f; do
  # Comments and string contents aside: the file's identifiers, as the compiler sees them.
  found=$("$cxx" -fpreprocessed -dD -E -P -x c++ "$src/src/$f" 2>/dev/null | grep -v '^[[:space:]]*#' |
    sed 's/"\([^"\\]\|\\.\)*"//g' | grep -ow '[A-Za-z_][A-Za-z0-9_]*' | LC_ALL=C sort -u |
    LC_ALL=C comm -12 - "$work/system_macros" || true)
  for name in $found; do
    echo "src/$f: '$name' is a macro of the $system headers" >&2
    clashes=$((clashes + 1))
  done
done < <(cat "$work/headers" "$work/sources")
if [ "$clashes" -ne 0 ]; then
  echo "system_headers: $clashes names of the portable code are macros of the $system headers" >&2
  exit 1
fi
echo "system_headers: the $system headers then $(wc -l <"$work/headers") portable headers compile with $cxx;" \
  "none of the names in $(cat "$work/headers" "$work/sources" | wc -l) portable files is one of their macros"
