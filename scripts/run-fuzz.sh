#!/usr/bin/env bash
# Runs libFuzzer harnesses of a fuzz build for a fixed time each, one after the other.
#   scripts/run-fuzz.sh BUILD_DIR [SECONDS_PER_HARNESS] [HARNESS...]
# Without harness names it runs fuzz_matbook, fuzz_hdf5_store and fuzz_engine. The seed corpus
# of fuzz/corpus/<harness> is copied into BUILD_DIR/corpus/<harness>, which keeps what the runs
# add. Findings are written to BUILD_DIR/findings/<harness>/, the log to
# BUILD_DIR/findings/<harness>.log. Prints each harness's last status line (executions,
# coverage, features) and its findings.
# fuzz_matbook and fuzz_engine run in one process and stop at their first finding (a finding
# there is a bug to fix before the next run). This gives them about twice the executions of
# libFuzzer's fork mode, whose short jobs restart and replay their share of the corpus.
# fuzz_hdf5_store runs in fork mode with crashes, timeouts and out-of-memory inputs collected
# rather than fatal, so it always lasts its whole time and ends with a report: libhdf5 1.10
# itself crashes, loops or asks for huge buffers on some damaged files. Each finding is
# replayed and its stack read: one whose first frame outside the sanitizer runtime and libc lies
# inside libhdf5 is reported by that libhdf5 function and not counted; any other is ours.
# Exits with 1 when a harness made a finding of ours: copy the reproducer into
# tests/data/fuzz/<harness>/ so that the test suite replays it (stores that crash libhdf5 go to
# tests/data/hostile/, replayed through the qorva-mat program).
set -uo pipefail
build=${1:?build directory}
seconds=${2:-600}
shift $(( $# < 2 ? $# : 2 ))
harnesses=("$@")
[ ${#harnesses[@]} -eq 0 ] && harnesses=(fuzz_matbook fuzz_hdf5_store fuzz_engine)
root=$(cd "$(dirname "$0")/.." && pwd)
options=(-timeout=20 -rss_limit_mb=2048)

# Where the input FILE makes PROGRAM fail (see fuzz-failure-site.awk).
where_it_fails() {
  "$1" "${options[@]}" "$2" 2>&1 | awk -f "$root/scripts/fuzz-failure-site.awk"
}

# Sorts the new findings of HARNESS (files listed on stdin) and prints them; prints how many are
# ours.
triage() {
  local harness=$1 program=$2 ours=0 file verdict
  local -A hdf5_classes=()
  while read -r file; do
    if [ "$harness" != fuzz_hdf5_store ]; then
      echo "  finding: $file" >&2
      ours=$((ours + 1))
      continue
    fi
    verdict=$(where_it_fails "$program" "$file")
    if [[ $verdict == none && $(basename "$file") == timeout-* ]]; then
      # libhdf5 zeroes buffers of the size a damaged element claims (hundreds of MB), which
      # can outlast the timeout only on a loaded machine; a true loop times out again.
      echo "  timeout not repeated on replay (slow only under load): $file" >&2
    elif [[ $verdict == libhdf5\ * ]]; then
      hdf5_classes[${verdict#libhdf5 }]+=" $(basename "$file")"
    else
      echo "  finding of ours: $file: ${verdict#ours }" >&2  # "none": a crash not repeated
      ours=$((ours + 1))
    fi
  done
  for class in "${!hdf5_classes[@]}"; do
    read -ra files <<< "${hdf5_classes[$class]}"
    echo "  inside libhdf5 at $class: ${#files[@]} (e.g. ${files[0]})" >&2
  done
  echo "$ours"
}

status=0
for harness in "${harnesses[@]}"; do
  program="$build/fuzz/$harness"
  [ -x "$program" ] || { echo "run-fuzz: $program not built" >&2; exit 2; }
  corpus="$build/corpus/$harness"
  findings="$build/findings/$harness"
  mkdir -p "$corpus" "$findings"
  cp -n "$root/fuzz/corpus/$harness/"* "$corpus/" 2>/dev/null || true
  dict=()
  [ -f "$root/fuzz/$harness.dict" ] && dict=("-dict=$root/fuzz/$harness.dict")
  log="$build/findings/$harness.log"
  before=$(ls "$findings")
  echo "== $harness: $seconds s"
  mode=()
  [ "$harness" = fuzz_hdf5_store ] && mode=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
  "$program" "$corpus" "${dict[@]}" "${options[@]}" "${mode[@]}" -max_total_time="$seconds" -close_fd_mask=3 \
    -artifact_prefix="$findings/" > "$log" 2>&1
  grep -E '^#[0-9]+' "$log" | tail -1
  new=$(comm -13 <(echo "$before") <(ls "$findings") | sed "s|^|$findings/|")
  count=$(printf '%s' "$new" | grep -c . || true)
  echo "findings: $count (in $findings; see $log)"
  ours=0
  [ "$count" -ne 0 ] && ours=$(printf '%s\n' "$new" | triage "$harness" "$program")
  if [ "$ours" -ne 0 ]; then
    status=1
  fi
done
exit $status
