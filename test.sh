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
#   fresh                 ./run.sh, python/install.sh and web/serve.sh as a
#                         new user runs them, on a fresh Debian 12 root
#                         (mmdebstrap), against build/linux's tarvello-run
# Only the packages of the steps asked for are installed.
# Usage: ./test.sh [step...]   (default: linux docs fresh web windows fmu asan fuzz tidy)
set -euo pipefail
cd "$(dirname "$0")"

steps=("$@")
((${#steps[@]})) || steps=(linux docs fresh web windows fmu asan fuzz tidy)
for step in "${steps[@]}"; do
  case "$step" in
    linux | docs | windows | asan | web | fmu | fuzz | tidy | fresh) ;;
    *)
      echo "test.sh: no step '$step' (steps: linux docs windows asan web fmu fuzz tidy fresh)" >&2
      exit 2
      ;;
  esac
done

source cmake/packages.sh
ensure_packages_for test "${steps[@]}"

echo "== format check (.clang-format)"
git ls-files -z -- '*.cpp' '*.h' '*.c' ':!fmu/third_party' | xargs -0 clang-format --dry-run -Werror

for step in "${steps[@]}"; do
  case "$step" in
    fresh)
      echo "== fresh: the README's commands on a fresh Debian 12 root"
      tests/fresh/run.sh
      ;;
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
