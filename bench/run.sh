#!/bin/sh
# Builds the bench preset, runs the benchmarks and writes BENCHMARKS.md at the
# repository root from their JSON results, then the Python package's, the
# design studies' and the page's sections (the page's as web/test/run.sh last
# measured it). Run on demand, never in CI; the results are only as quiet as
# the machine, so run it on an idle one. TDS_PAGE_MEASUREMENTS names another
# page-measurements.json than build/wasm/test's.
#
#   bench/run.sh [benchmark options]    e.g. --benchmark_filter=GetModel
set -eu
cd "$(dirname "$0")/.."

cmake --preset bench
cmake --build --preset bench

# Twenty short repetitions, interleaved in random order so that a passing
# disturbance spreads over all rows instead of spoiling one; the report takes
# the medians.
runner="bench/run.sh${*:+ $*}"
results=build/bench/benchmarks.json
set -- --benchmark_repetitions=20 --benchmark_min_time=0.1 --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results" --benchmark_out_format=json "$@"
build/bench/bin/tds_bench "$@"

python3 bench/report.py "$results" "$runner" "build/bench/bin/tds_bench $*" > build/bench/BENCHMARKS.md
echo >> build/bench/BENCHMARKS.md
/usr/bin/python3 bench/python.py build/bench >> build/bench/BENCHMARKS.md
echo >> build/bench/BENCHMARKS.md
/usr/bin/python3 bench/study.py build/bench >> build/bench/BENCHMARKS.md
echo >> build/bench/BENCHMARKS.md
/usr/bin/python3 bench/page.py "${TDS_PAGE_MEASUREMENTS:-build/wasm/test/page-measurements.json}" \
  >> build/bench/BENCHMARKS.md
mv build/bench/BENCHMARKS.md BENCHMARKS.md
echo "Wrote BENCHMARKS.md"
