#!/usr/bin/env bash
# Runs every libFuzzer harness of a fuzz build for a fixed time each.
#   scripts/run-fuzz.sh BUILD_DIR SECONDS_PER_HARNESS
# The seed corpus of fuzz/corpus/<harness> is copied into BUILD_DIR/corpus/<harness>, which
# keeps what the run adds; findings are written to BUILD_DIR/findings/. Prints each harness's
# last status line (executions, coverage, features). Exits with 1 when any harness found something:
# copy the reproducer into tests/data/fuzz/<harness>/ so that the test suite replays it.
set -uo pipefail
build=${1:?build directory}
seconds=${2:-600}
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for harness in fuzz_matbook fuzz_hdf5_store fuzz_engine; do
  program="$build/fuzz/$harness"
  [ -x "$program" ] || { echo "run-fuzz: $program not built" >&2; exit 2; }
  corpus="$build/corpus/$harness"
  findings="$build/findings/$harness"
  mkdir -p "$corpus" "$findings"
  cp -n "$root/fuzz/corpus/$harness/"* "$corpus/" 2>/dev/null || true
  dict=()
  [ -f "$root/fuzz/$harness.dict" ] && dict=("-dict=$root/fuzz/$harness.dict")
  log="$build/findings/$harness.log"
  echo "== $harness: $seconds s"
  "$program" "$corpus" "${dict[@]}" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$findings/" > "$log" 2>&1
  rc=$?
  grep -E '^#[0-9]+' "$log" | tail -1
  grep -E '^stat::number_of_executed_units' "$log"
  if [ "$rc" -ne 0 ]; then
    echo "run-fuzz: $harness found something (exit $rc): see $log and $findings" >&2
    status=1
  fi
done
exit $status
