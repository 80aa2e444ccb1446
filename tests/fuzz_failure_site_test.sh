#!/usr/bin/env bash
# Checks how scripts/fuzz-failure-site.awk places the failures of kept sanitizer and libFuzzer
# reports (tests/data/fuzz_stacks/): a failure inside libhdf5 must never hide one of ours.
#   tests/fuzz_failure_site_test.sh AWK_PROGRAM STACKS_DIR
set -uo pipefail
awk_program=${1:?awk program}
stacks=${2:?stacks directory}
failed=0
expect() {
  local got
  got=$(awk -f "$awk_program" "$stacks/$1")
  if [ "$got" != "$2" ]; then
    echo "FAIL $1: got '$got', expected '$2'"
    failed=1
  fi
}
expect hdf5_attribute_close_segv.txt "libhdf5 H5A__close"
expect hdf5_attribute_listing_overflow.txt "libhdf5 H5O__msg_iterate_real (callee)"
expect hdf5_heap_loop_timeout.txt "libhdf5 H5C_protect (callee)"
expect hdf5_vlen_claim_oom.txt "libhdf5 H5FL_blk_malloc (callee)"
expect ours_heap_overflow_in_engine.txt \
  "ours qorva_gil::detail::(anonymous namespace)::LinearMesh::scan(double const*) const qorva_gil/linear_mesh.cpp:212:18"
expect ours_copy_past_buffer_into_hdf5.txt \
  "ours qorva_mat::get_attribute_names[abi:cxx11](H5::H5Object&) qorva_mat/hdf5_helpers.cpp:301:9"
expect ours_exception_escapes.txt "ours (/lib/x86_64-linux-gnu/libstdc++.so.6+0x9d918)"
expect replay_without_failure.txt "none"
# Every kept report is checked above.
for file in "$stacks"/*; do
  grep -q "expect $(basename "$file")" "$0" || { echo "FAIL $(basename "$file") has no expectation"; failed=1; }
done
exit $failed
