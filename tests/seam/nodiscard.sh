#!/bin/bash
# A lock or guard that is thrown away protects nothing: racing starts would damage the settings
# file, or a box would let the idle ticks through. Each call that returns one must be kept, and
# the compiler says so: every snippet below that discards one fails to compile, while the same
# snippet that keeps it compiles (so the failure is the discard's, not a broken snippet's).
# Usage: nodiscard.sh SOURCE_DIR [COMPILER]
set -euo pipefail
src=${1:?source directory}
cxx=${2:-g++}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# name | includes | the statement that discards | the statement that keeps
cases=(
  'settings lock|platform/settings_store.h|void f(vreko::SettingsStore& s) { s.LockForUpdate(); }|void f(vreko::SettingsStore& s) { auto l = s.LockForUpdate(); }'
  'box hold|core/modal_hold.h|void f(vreko::ModalHold& h) { vreko::ModalHold::Scope{h}; }|void f(vreko::ModalHold& h) { vreko::ModalHold::Scope s{h}; }'
  'named lock|platform/platform.h|void f(vreko::Platform& p) { vreko::LockOpened how; p.OpenNamedLock("x", true, how); }|void f(vreko::Platform& p) { vreko::LockOpened how; auto l = p.OpenNamedLock("x", true, how); }'
  'lock wait|platform/platform.h|void f(vreko::NamedLock& l) { l.Wait(0); }|void f(vreko::NamedLock& l) { auto w = l.Wait(0); (void)w; }'
  'lock file|platform/posix/named_lock.h|void f(vreko::posix::NamedLocks& n) { vreko::LockOpened how; n.Open("x", true, how); }|void f(vreko::posix::NamedLocks& n) { vreko::LockOpened how; auto l = n.Open("x", true, how); }'
)

compile() {  # file -> 0 when it compiles without a discarded result
  "$cxx" -std=c++20 -fsyntax-only -Werror=unused-result -Werror=unused-value -I"$src/src" "$1" >"$1.log" 2>&1
}

for c in "${cases[@]}"; do
  IFS='|' read -r name header discard keep <<<"$c"
  printf '#include "%s"\n%s\n' "$header" "$discard" >"$work/discard.cpp"
  printf '#include "%s"\n%s\n' "$header" "$keep" >"$work/keep.cpp"
  if ! compile "$work/keep.cpp"; then
    echo "FAIL $name: keeping it does not compile:"; cat "$work/keep.cpp.log"; failed=1; continue
  fi
  if compile "$work/discard.cpp"; then
    echo "FAIL $name: discarding it compiles"; failed=1; continue
  fi
  if ! grep -q -E 'nodiscard|unused-result|unused-value' "$work/discard.cpp.log"; then
    echo "FAIL $name: discarding it fails for another reason:"; cat "$work/discard.cpp.log"; failed=1; continue
  fi
  echo "ok $name: discarding it is refused"
done
exit "$failed"
