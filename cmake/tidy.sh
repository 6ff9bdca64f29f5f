#!/usr/bin/env bash
# Static analysis: clang-tidy, with the checked-in .clang-tidy, over every
# translation unit of the tree: the library, the host and the tests from the
# linux build's compile database, the fuzz targets from the fuzz build's and
# the benchmarks from the bench build's (configured here if need be). Fails on
# any finding (the configuration makes every warning an error).
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null
root=$PWD
jobs=$(nproc)

for preset in linux fuzz bench; do
  [ -f "build/$preset/compile_commands.json" ] || cmake --preset "$preset" >/dev/null
done

status=0
run() {
  local preset=$1 dirs=$2
  echo "== clang-tidy: $dirs (compile database of build/$preset)"
  run-clang-tidy-14 -quiet -j "$jobs" -p "build/$preset" "^$root/($dirs)/" || status=1
}
run linux 'model|support|loader|engine|host|fmu|python|tests'
run fuzz 'fuzz'
run bench 'bench'
if ((status)); then
  echo "cmake/tidy.sh: clang-tidy reported findings" >&2
fi
exit "$status"
