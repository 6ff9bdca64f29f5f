#!/usr/bin/env bash
# The page's checks: builds the WebAssembly program and the site (preset
# wasm), checks the study numerics' digests of fixed seeds under node (the
# stored values that Linux and Windows give), compares its CSVs and its
# design studies' tables with build/linux's tarvello-run byte for byte under
# node, and runs the browser test in Debian's headless Chromium. The
# screenshot and the measurements land in build/wasm/test/.
set -euo pipefail
cd "$(dirname "$0")/../.."
source cmake/packages.sh
ensure_packages_for web

host=build/linux/bin/tarvello-run
if [ ! -x "$host" ]; then
  echo "web: $host is missing; run the linux step first (./test.sh linux web)" >&2
  exit 1
fi
(cd web && npm ci --no-audit --no-fund --loglevel=error)
cmake --preset wasm --fresh >/dev/null
cmake --build --preset wasm
echo "== web: the study numerics' digests in WebAssembly"
node build/wasm/bin/study_determinism.js
echo "== web: the WebAssembly program against $host"
node web/test/compare.mjs build/wasm/site "$host"
echo "== web: the WebAssembly program's design studies against $host --study"
node web/test/study-compare.mjs build/wasm/site "$host" docs
echo "== web: the page in headless Chromium"
root=$PWD
(cd web && TDS_SITE="$root/build/wasm/site" TDS_HOST="$root/$host" TDS_OUT="$root/build/wasm/test" \
  CHROMIUM=/usr/lib/chromium/chromium node --test test/page.test.mjs)
