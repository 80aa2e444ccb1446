#!/usr/bin/env bash
# clang-tidy (configuration: .clang-tidy) over the library, engine and program sources, with the
# compile commands of the build folder given. Prints the findings and fails when there is one.
# usage: run-tidy.sh BUILD_DIR JOBS
set -euo pipefail
build=${1:-build}
jobs=${2:-2}
cd "$(dirname "$0")/.."

# Sources left out, each with the reason; remove a line once its findings are fixed.
exclude=()

if [ ! -f "$build/compile_commands.json" ]; then
  echo "run-tidy: $build/compile_commands.json is missing; configure the build first" >&2
  exit 2
fi

patterns=()
while IFS= read -r file; do
  skip=0
  for e in "${exclude[@]+"${exclude[@]}"}"; do [ "$file" = "$e" ] && skip=1; done
  [ "$skip" -eq 0 ] && patterns+=("$PWD/$file\$")
done < <(git ls-files 'qorva_mat/*.cpp' 'qorva_gil/*.cpp' 'tools/*.cpp')

log="$build/clang-tidy.log"
status=0
run-clang-tidy-14 -p "$build" -j "$jobs" -quiet "${patterns[@]}" >"$log" 2>&1 || status=$?
findings=$(sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E '^/.*: (warning|error): ' | sort -u || true)
if [ -n "$findings" ] || [ "$status" -ne 0 ]; then
  echo "$findings"
  echo "run-tidy: clang-tidy reported findings (exit $status); full log in $log" >&2
  exit 1
fi
echo "run-tidy: no findings in ${#patterns[@]} sources"
