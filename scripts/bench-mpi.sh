#!/usr/bin/env bash
# Runs the MPI start-up benchmark for 1 to 8 ranks and prints one table.
# Usage: scripts/bench-mpi.sh [build-dir] [extra arguments of mpi_load_bench]
set -euo pipefail
build=${1:-build-bench}
shift || true
bench="$build/bench/mpi_load_bench"
[ -x "$bench" ] || { echo "bench-mpi: $bench not built (needs MPI and Google Benchmark)" >&2; exit 1; }
# OpenMPI refuses to run as root unless both variables are set; 8 ranks on fewer cores need
# --oversubscribe.
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
for n in 1 2 3 4 5 6 7 8; do
  header=()
  [ "$n" -eq 1 ] && header=(--header)
  mpirun -np "$n" --oversubscribe "$bench" "${header[@]}" "$@"
done
