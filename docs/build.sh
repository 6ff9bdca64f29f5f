#!/usr/bin/env bash
# Builds the documentation site into build/docs/html with Sphinx (MyST, furo,
# nbsphinx). It installs the Debian packages it needs when they are missing
# (as root), and builds the linux preset's tarvello-run and Python module when
# they are missing or out of date: the command-line reference is generated
# from that tarvello-run's --help, the Python reference from that package.
# Usage: docs/build.sh [-W]
#   -W  every warning is an error (and nitpicky cross-references), then every
#       internal link and anchor of the HTML is checked (what ./test.sh docs runs)
set -euo pipefail
cd "$(dirname "$0")/.."
strict=()
case "${1:-}" in
  "") ;;
  -W) strict=(-E -W --keep-going -n) ;;
  *)
    echo "usage: docs/build.sh [-W]" >&2
    exit 2
    ;;
esac

source cmake/packages.sh
ensure_packages_for docs

[ -f build/linux/build.ninja ] || cmake --preset linux >/dev/null
cmake --build --preset linux --target tarvello-run _tarvello

out=build/docs
rm -rf "$out/html"
TARVELLO_RUN="$PWD/build/linux/bin/tarvello-run" TARVELLO_PYTHON="$PWD/build/linux/python" \
  /usr/bin/python3 -m sphinx -b html -q "${strict[@]}" -d "$out/doctrees" docs "$out/html"
if ((${#strict[@]})); then
  /usr/bin/python3 docs/check_links.py "$out/html"
fi
echo "== the documentation site: $out/html/index.html"
