#!/usr/bin/env bash
# Builds TarvelloDemoSite and runs every check, from a fresh Debian 12 machine:
# installs whatever build and test tools are missing (apt-get, as root), checks
# the formatting, then runs each step:
#   linux, windows, asan  the CMake workflow preset: configure, build, all tests
#   docs                  the documentation site (docs/build.sh -W): warnings
#                         as errors, every internal link and anchor checked
#   web                   the page (preset wasm): its CSVs against build/linux's
#                         tarvello-run byte for byte, and its browser test
#   fmu                   the two FMU archives joined from the linux and windows
#                         builds, checked as an importer unpacks them
#   fuzz                  every fuzz target for FUZZ_SECONDS (60) seconds
#   tidy                  clang-tidy over the whole tree
# Usage: ./test.sh [step...]   (default: linux docs web windows fmu asan fuzz tidy)
set -euo pipefail
cd "$(dirname "$0")"

source cmake/packages.sh
ensure_packages \
  cmake ninja-build g++ gcc googletest python3 binutils valgrind \
  nlohmann-json3-dev python3-jsonschema pkgconf \
  libcli11-dev gnuplot-nox slurm-wlm munge \
  clang clang-format clang-tidy libclang-rt-14-dev libbenchmark-dev git \
  g++-mingw-w64-x86-64-posix wine64 python3-pefile \
  pybind11-dev python3-pybind11 python3-numpy python3-pandas python3-xarray python3-pytest \
  python3-distributed python3-matplotlib jupyter-nbconvert python3-ipykernel \
  libboost-dev python3-openturns libpagmo-dev

echo "== format check (.clang-format)"
git ls-files -z -- '*.cpp' '*.h' '*.c' ':!fmu/third_party' | xargs -0 clang-format --dry-run -Werror

steps=("$@")
((${#steps[@]})) || steps=(linux docs web windows fmu asan fuzz tidy)
for step in "${steps[@]}"; do
  case "$step" in
    fuzz)
      echo "== fuzz: every target for ${FUZZ_SECONDS:-60}s"
      fuzz/run.sh
      ;;
    fmu)
      echo "== fmu: the archives from the linux and windows builds"
      cmake/fmu.sh
      ;;
    tidy)
      echo "== static analysis: clang-tidy"
      cmake/tidy.sh
      ;;
    docs)
      echo "== docs: the documentation site, warnings as errors, its links checked"
      docs/build.sh -W
      ;;
    web)
      echo "== web: the page in WebAssembly against tarvello-run, and in Chromium"
      web/test/run.sh
      ;;
    *)
      echo "== workflow: $step"
      cmake --workflow --preset "$step" --fresh
      ;;
  esac
done
echo "== all checks passed: ${steps[*]}"
