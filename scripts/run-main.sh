#!/usr/bin/env bash
# The main job: runs the example programs on the shipped example data.
set -euo pipefail
build=${1:-build-release}
cd "$(dirname "$0")/.."
shopt -s nullglob
for exe in "$build"/example_*; do
  echo "== ${exe##*/}"
  "$exe" examples
done
