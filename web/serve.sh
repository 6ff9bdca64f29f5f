#!/usr/bin/env bash
# Builds the page (preset wasm) and serves it on 127.0.0.1, printing its
# address. As root it first installs whatever is missing (apt-get).
# Usage: web/serve.sh [PORT]   (default: a free port)
set -euo pipefail
cd "$(dirname "$0")/.."
port=${1:-0}
if [[ ! "$port" =~ ^[0-9]+$ ]] || ((port > 65535)); then
  echo "usage: web/serve.sh [PORT]" >&2
  exit 2
fi
source cmake/packages.sh
ensure_packages_for serve
if [ ! -d web/node_modules/uplot ]; then
  (cd web && npm ci --no-audit --no-fund)
fi
[ -f build/wasm/build.ninja ] || cmake --preset wasm >/dev/null
cmake --build --preset wasm
exec node web/serve.mjs build/wasm/site "$port"
