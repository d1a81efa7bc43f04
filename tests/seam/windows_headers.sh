#!/bin/bash
# The portable code must live with <windows.h> included anywhere before it, in any order.
#  1. One source that includes <windows.h> first and then every portable header compiles
#     (UNICODE defined, as the Windows backend builds).
#  2. No identifier of the portable headers and sources is a macro of <windows.h> (such as the
#     A/W names MessageBox or TextOut): the macro would rename a member in the backend that
#     includes <windows.h> but not in the portable code, and the two would no longer match.
#     Macros that the portable code gets without <windows.h> (errno, INT_MAX...) do not count.
# Usage: windows_headers.sh SOURCE_DIR [COMPILER]
set -euo pipefail
src=${1:?source directory}
cxx=${2:-x86_64-w64-mingw32-g++-posix}
if ! command -v "$cxx" >/dev/null; then
  echo "windows_headers: $cxx not found (Debian package g++-mingw-w64-x86-64)" >&2
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
portable="core settings controls instance app"
(cd "$src/src" && find platform -maxdepth 1 -name '*.h' && find $portable -name '*.h') | LC_ALL=C sort >"$work/headers"
(cd "$src/src" && find platform -maxdepth 1 -name '*.cpp' && find $portable -name '*.cpp') | LC_ALL=C sort >"$work/sources"
sed 's|.*|#include "&"|' "$work/headers" >"$work/portable.cpp"
{ echo '#include <windows.h>'; cat "$work/portable.cpp"; } >"$work/windows_first.cpp"
flags=(-std=c++20 -DUNICODE -D_UNICODE -I"$src/src")

"$cxx" "${flags[@]}" -fsyntax-only -Wall -Wextra -Werror "$work/windows_first.cpp"

macros() { "$cxx" "${flags[@]}" -E -dM "$1" | awk '{ sub(/\(.*/, "", $2); print $2 }' | LC_ALL=C sort -u; }
echo '#include <windows.h>' >"$work/windows.cpp"
# Every standard header the portable code may use, so that their macros count as its own.
printf '#include <%s>\n' cassert cctype cerrno cfloat climits cmath cstddef cstdint cstdio cstdlib cstring \
  algorithm chrono filesystem functional memory optional string string_view vector >>"$work/portable.cpp"
LC_ALL=C comm -23 <(macros "$work/windows.cpp") <(macros "$work/portable.cpp") >"$work/windows_macros"

clashes=0
while read -r f; do
  # Comments and string contents aside: the file's identifiers, as the compiler sees them.
  found=$("$cxx" -fpreprocessed -dD -E -P -x c++ "$src/src/$f" 2>/dev/null | grep -v '^[[:space:]]*#' |
    sed 's/"\([^"\\]\|\\.\)*"//g' | grep -ow '[A-Za-z_][A-Za-z0-9_]*' | LC_ALL=C sort -u |
    LC_ALL=C comm -12 - "$work/windows_macros" || true)
  for name in $found; do
    echo "src/$f: '$name' is a macro of <windows.h>" >&2
    clashes=$((clashes + 1))
  done
done < <(cat "$work/headers" "$work/sources")
if [ "$clashes" -ne 0 ]; then
  echo "windows_headers: $clashes names of the portable code are <windows.h> macros" >&2
  exit 1
fi
echo "windows_headers: <windows.h> then $(wc -l <"$work/headers") portable headers compile with $cxx;" \
  "none of the names in $(cat "$work/headers" "$work/sources" | wc -l) portable files is a <windows.h> macro"
