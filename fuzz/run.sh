#!/usr/bin/env bash
# Runs every fuzz target of a ZM_FUZZ build for the given seconds each, one after the other, from
# its seed corpus (new inputs are kept in the build folder). Prints executions per target; a
# finding stops the run with the target's report and the crashing input in the build folder.
set -euo pipefail

build=${1:?usage: fuzz/run.sh <fuzz build dir> [seconds]}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
bin="$build/fuzz"

shopt -s nullglob
targets=("$bin"/fuzz_*)
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $bin" >&2; exit 1; }

failed=0
for exe in "${targets[@]}"; do
  [ -x "$exe" ] && [ -f "$exe" ] || continue
  name=${exe##*/fuzz_}
  work="$bin/corpus/$name"
  log="$bin/$name.log"
  mkdir -p "$work" "$bin/findings"
  if "$exe" -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$bin/findings/$name-" "$work" "$here/corpus/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$name: ${runs:-?} executions in ${seconds}s"
  else
    echo "$name: FINDING (see $log)"
    grep -E '^(==|SUMMARY|artifact_prefix|Test unit written)' "$log" | head -5 || true
    failed=1
  fi
done
exit $failed
