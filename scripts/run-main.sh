#!/usr/bin/env bash
# The main job: the qorva-mat program on the shipped example, then the example programs.
set -euo pipefail
build=${1:-build-release}
cd "$(dirname "$0")/.."
tool="$build/tools/qorva-mat"
example=examples/ud_carbon_epoxy.xml
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "== qorva-mat info $example --units MPA"
"$tool" info "$example" --units MPA
echo "== qorva-mat query (E1..nu23 of the carbon/epoxy ply at 50 C, MPA)"
"$tool" query "$example" --material "UD Carbon/Epoxy T300/914" \
  --property "Engineering Constants" --at Temperature=50 --units MPA
echo "== qorva-mat convert: XML -> HDF5 -> XML"
"$tool" convert "$example" "$scratch/example.h5" --units MPA
"$tool" convert "$scratch/example.h5" "$scratch/example.xml"
"$tool" query "$scratch/example.xml" --material "UD Carbon/Epoxy T300/914" \
  --property "Engineering Constants" --at Temperature=50 --units MPA

shopt -s nullglob
for exe in "$build"/example_*; do
  case "${exe##*/}" in
    example_mpi_*)
      # OpenMPI refuses to run as root unless both variables are set.
      echo "== mpirun -np 4 ${exe##*/}"
      OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 \
        mpirun -np 4 --oversubscribe "$exe" examples ;;
    *)
      echo "== ${exe##*/}"
      "$exe" examples ;;
  esac
done

if [ -d "$build/python/qorva_mat" ]; then
  echo "== examples/python/e1_over_temperature.py"
  PYTHONPATH="$build/python" /usr/bin/python3 examples/python/e1_over_temperature.py examples \
    "$build/e1_over_temperature.png"
fi
