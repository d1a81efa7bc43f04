#!/bin/bash
# The seam speaks the program's words, and each file holds one job.
#  words: Win32's numbering and names (WM_ messages, VK_ keys, wParam, lParam) appear nowhere
#         in src/ outside src/platform/win32/. The X protocol's own window-manager properties
#         (WM_PROTOCOLS, WM_STATE...), which share the prefix, may be named in the X11 backend.
#  sizes: no file in src/ has more than 450 lines.
# Usage: seam_rules.sh SOURCE_DIR words|sizes
set -euo pipefail
src=${1:?source directory}
rule=${2:?words or sizes}
cd "$src"
failed=0
case "$rule" in
  words)
    x11_properties='WM_(PROTOCOLS|DELETE_WINDOW|CLIENT_LEADER|STATE|NAME)\b'
    while IFS= read -r hit; do
      file=${hit%%:*}
      line=${hit#*:*:}
      # The X properties are the X11 backend's to name; anything else of the kind is not.
      rest=$line
      [[ $file == src/platform/x11/* ]] && rest=$(sed -E "s/(^|[^A-Za-z0-9_])$x11_properties//g" <<<"$line")
      if grep -qE '(^|[^A-Za-z0-9_])(WM|VK)_|wParam|lParam' <<<"$rest"; then
        echo "$hit"
        failed=1
      fi
    done < <(grep -rnE '(^|[^A-Za-z0-9_])(WM|VK)_|wParam|lParam' src | grep -v '^src/platform/win32/' || true)
    [ "$failed" -eq 0 ] && echo "seam_rules: no Win32 message, key or parameter name outside src/platform/win32/"
    ;;
  sizes)
    while read -r lines file; do
      if [ "$lines" -gt 450 ]; then
        echo "$file: $lines lines (450 at most)"
        failed=1
      fi
    done < <(find src -type f -print0 | xargs -0 wc -l | grep -v ' total$')
    [ "$failed" -eq 0 ] && echo "seam_rules: every file in src/ has 450 lines or fewer"
    ;;
  *) echo "seam_rules: unknown rule $rule" >&2; exit 2 ;;
esac
exit "$failed"
