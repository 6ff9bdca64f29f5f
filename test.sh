#!/usr/bin/env bash
# Builds TarvelloDemoSite and runs every test suite, from a fresh Debian 12
# machine: installs whatever build and test tools are missing (apt-get, as
# root), then configures, builds and tests each target with its CMake workflow
# preset. Usage: ./test.sh [preset...]   (default: linux windows asan)
set -euo pipefail
cd "$(dirname "$0")"

source cmake/packages.sh
ensure_packages \
  cmake ninja-build g++ gcc googletest python3 binutils valgrind \
  nlohmann-json3-dev python3-jsonschema pkgconf \
  libcli11-dev gnuplot-nox slurm-wlm munge \
  clang-format git \
  g++-mingw-w64-x86-64-posix wine64 python3-pefile

echo "== format check (.clang-format)"
git ls-files -z -- '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run -Werror

presets=("$@")
((${#presets[@]})) || presets=(linux windows asan)
for preset in "${presets[@]}"; do
  echo "== workflow: $preset"
  cmake --workflow --preset "$preset" --fresh
done
