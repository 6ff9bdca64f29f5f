#!/usr/bin/env bash
# The main job: runs the TarvelloDemoSite model for its default year with the
# reference host tarvello-run and plots the result. On a fresh Debian 12
# machine, as root, it first installs whatever is missing (apt-get), then
# builds the release preset. Extra arguments go to tarvello-run, e.g.
#   ./run.sh --days 730 --set percentReuse_B1_Water_P1_WasteWater=0.8
set -euo pipefail
cd "$(dirname "$0")"
source cmake/packages.sh
ensure_packages_for run

cmake --preset release >/dev/null
cmake --build --preset release
mkdir -p build/run
build/release/bin/tarvello-run --out build/run/year.csv "$@"
host/tarvello-plot build/run/year.csv build/run/year.png
echo "== the run's CSV: build/run/year.csv"
echo "== its plot:      build/run/year.png"
