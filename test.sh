#!/usr/bin/env bash
# Builds TarvelloDemoSite and runs every test suite, from a fresh Debian 12
# machine: installs whatever build and test tools are missing (apt-get, as
# root), then configures, builds and tests each target with its CMake workflow
# preset. Usage: ./test.sh [preset...]   (default: linux windows asan)
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  cmake ninja-build g++ googletest python3 binutils valgrind   # Linux library and tests
  nlohmann-json3-dev python3-jsonschema pkgconf gcc            # model description, schema, package
  clang-format git                                             # format check
  g++-mingw-w64-x86-64-posix wine64 python3-pefile             # Windows DLL, run under wine
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "== installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "run as root, or install these packages first: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y "${missing[@]}"
fi

echo "== format check (.clang-format)"
git ls-files -z -- '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run -Werror

presets=("$@")
((${#presets[@]})) || presets=(linux windows asan)
for preset in "${presets[@]}"; do
  echo "== workflow: $preset"
  cmake --workflow --preset "$preset" --fresh
done
