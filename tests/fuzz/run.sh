#!/usr/bin/env bash
# Runs the fuzz targets built in BUILD_DIR (configured with -DVREKO_FUZZ=ON): each one first
# replays its seed corpus (tests/fuzz/corpus/<target>), then fuzzes for SECONDS. A crash or a
# broken property ends the run with a failure; the input that did it is kept in
# BUILD_DIR/fuzz-artifacts. Inputs found on the way go to BUILD_DIR/fuzz-corpus/<target>, so a
# later run starts where this one ended; the seed corpus in the repository is never written.
# The two INI targets share their seed corpus and a dictionary of the format's marks.
# Usage: tests/fuzz/run.sh BUILD_DIR SECONDS [TARGET...]   (targets: ini_text ini settings int split)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
seconds=${2:?seconds per target}
shift 2
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(ini_text ini settings int split)

mkdir -p "$build/fuzz-artifacts"
for t in "${targets[@]}"; do
  bin="$build/tests/fuzz/fuzz_$t"
  seeds="$here/corpus/${t%_text}"
  dict=()
  [ -f "$here/${t%_text}.dict" ] && dict=(-dict="$here/${t%_text}.dict")
  found="$build/fuzz-corpus/$t"
  [ -x "$bin" ] || { echo "fuzz: no $bin (build the vreko_fuzzers target)" >&2; exit 1; }
  mkdir -p "$found"
  log="$build/fuzz-artifacts/$t.log"
  echo "fuzz $t: seed corpus, then ${seconds}s"
  "$bin" "$seeds"/* >"$log" 2>&1 || { cat "$log" >&2; echo "fuzz $t: a seed input fails" >&2; exit 1; }
  if ! "$bin" -max_total_time="$seconds" -use_value_profile=1 -timeout=30 "${dict[@]}" -print_final_stats=1 \
       -artifact_prefix="$build/fuzz-artifacts/$t-" "$found" "$seeds" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz $t: FAILED (full log: $log)" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | sed "s/^/fuzz $t: /"
done
