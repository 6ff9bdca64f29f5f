#!/usr/bin/env bash
# Installs the Python package tarvello from this checkout into a virtual
# environment, DIR (default: .venv in the checkout). As root it first
# installs whatever is missing (apt-get). The environment sees Debian's numpy,
# pandas and xarray (--system-site-packages); pip builds the package with
# setup.py (CMake into build/pip) without downloading anything. Debian's own
# pip does not install into the system's Python, hence the environment.
# Usage: python/install.sh [DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
if (($# > 1)) || [[ ${1-} == -* ]]; then
  echo "usage: python/install.sh [DIR]" >&2
  exit 2
fi
dir=${1:-.venv}
source cmake/packages.sh
ensure_packages_for python

[ -x "$dir/bin/python" ] || /usr/bin/python3 -m venv --system-site-packages "$dir"
dir=$(cd "$dir" && pwd)
"$dir/bin/pip" install --no-build-isolation --no-input --disable-pip-version-check . </dev/null
echo "== tarvello installed in $dir; use it with its Python:"
echo "   $dir/bin/python -c \"import tarvello; print(tarvello.Site().run(days=3))\""
