#!/usr/bin/env bash
# Runs every libFuzzer harness of a fuzz build for a fixed time each.
#   scripts/run-fuzz.sh BUILD_DIR SECONDS_PER_HARNESS
# The seed corpus of fuzz/corpus/<harness> is copied into BUILD_DIR/corpus/<harness>, which
# keeps what the runs add. Each harness runs in libFuzzer's fork mode and goes on after a
# finding (libhdf5 itself crashes on some damaged files, so the store harness would otherwise
# stop within minutes); findings are written to BUILD_DIR/findings/<harness>/. Prints each
# harness's last status line (executions, coverage, features) and how many findings it made.
# Exits with 1 when any harness found something: copy the reproducer into tests/data/fuzz/<harness>/
# (or tests/data/hostile/ for stores that crash libhdf5) so that the test suite replays it.
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
  before=$(ls "$findings" | wc -l)
  echo "== $harness: $seconds s"
  "$program" "$corpus" "${dict[@]}" -max_total_time="$seconds" -fork=1 -ignore_crashes=1 \
    -ignore_timeouts=1 -ignore_ooms=1 -timeout=20 -rss_limit_mb=2048 -close_fd_mask=3 \
    -artifact_prefix="$findings/" > "$log" 2>&1
  grep -E '^#[0-9]+' "$log" | tail -1
  found=$(( $(ls "$findings" | wc -l) - before ))
  echo "findings: $found (in $findings)"
  if [ "$found" -ne 0 ]; then
    status=1
  fi
done
exit $status
