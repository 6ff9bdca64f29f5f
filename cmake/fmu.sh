#!/usr/bin/env bash
# Joins the linux and windows builds' FMUs into build/fmu/TarvelloDemoSite-fmi2.fmu
# and build/fmu/TarvelloDemoSite-fmi3.fmu, packs them a second time to check
# that the same sources give the same bytes, and runs each archive, unpacked
# as an importer unpacks it, with the Linux and the Windows importer.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in linux windows; do
  [[ -x build/$preset/bin/fmu_importer || -f build/$preset/bin/fmu_importer.exe ]] ||
    { echo "fmu: build/$preset is not built: run ./test.sh linux windows first" >&2; exit 1; }
done
fmu/package.py build/linux build/windows build/fmu
fmu/package.py build/linux build/windows build/fmu-test/again >/dev/null
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
export WINEPREFIX=$PWD/build/windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
for version in 2 3; do
  archive=build/fmu/TarvelloDemoSite-fmi$version.fmu
  cmp "$archive" build/fmu-test/again/TarvelloDemoSite-fmi$version.fmu ||
    { echo "fmu: $archive differs when packed again" >&2; exit 1; }
  echo "ok   FMI $version.0 archive packed twice: the same $(stat -c %s "$archive") bytes"
  mkdir -p build/fmu-test/archive$version
  python3 tests/check_fmu.py archive "$archive" $version tests/data/default-year.csv \
    build/fmu-test/archive$version "$PWD/build/linux/bin/fmu_importer" \
    -- "$wine" "$PWD/build/windows/bin/fmu_importer.exe"
done
