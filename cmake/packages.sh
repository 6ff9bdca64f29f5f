# Shell helper for the entry commands: the Debian packages each one needs, in
# one place, and the functions that install them.
#
#   source cmake/packages.sh
#   ensure_packages_for run            # ./run.sh
#   ensure_packages_for linux web      # the union of several lists
#
# As root, what is missing is installed with apt-get (apt-get update once); a
# non-root user is told exactly what to install, and the script stops.
#
# The lists, by the name ensure_packages_for takes:
#   run      ./run.sh: the release build of the library and tarvello-run, and
#            tarvello-plot
#   python   python/install.sh: the Python package built by setup.py with
#            CMake into a virtual environment that sees Debian's numpy,
#            pandas and xarray
#   serve    web/serve.sh: the page built with Debian's emscripten (preset
#            wasm), uPlot from npm, served by node
#   docs     the documentation: Sphinx, and the linux preset's tarvello-run
#            and Python module that the pages run and import
#   test     ./test.sh itself (the format check), and one list per step of
#            it: linux docs asan windows web fmu fuzz tidy fresh
# npm is installed only where no npm is on PATH: a nodejs from elsewhere may
# carry its own.

# shellcheck disable=SC2034 # the lists are read by name, in ensure_packages_for

# Headers and tools of every native build of the project's CMake tree.
tds_packages_build=(cmake ninja-build g++ python3 nlohmann-json3-dev libcli11-dev libboost-dev)

tds_packages_run=("${tds_packages_build[@]}" gnuplot-nox)
tds_packages_python=("${tds_packages_build[@]}"
  python3-dev python3-venv python3-setuptools python3-wheel pybind11-dev
  python3-numpy python3-pandas python3-xarray)
tds_packages_serve=(cmake ninja-build python3 nlohmann-json3-dev libcli11-dev libboost-dev
  emscripten libfmt-dev nodejs npm)

# Configuring the linux preset also configures its tests.
tds_packages_linux_configure=("${tds_packages_python[@]}" gcc googletest valgrind pkgconf libpagmo-dev)
# pandoc turns the notebook's text cells, python3-ipython colours its code.
tds_packages_docs=("${tds_packages_linux_configure[@]}"
  python3-sphinx python3-myst-parser furo python3-nbsphinx pandoc python3-ipython)

# ./test.sh: the format check, then each step's own needs.
tds_packages_test=(clang-format git)
tds_packages_linux=("${tds_packages_linux_configure[@]}" binutils python3-jsonschema gnuplot-nox
  slurm-wlm munge python3-pybind11 python3-pytest python3-distributed python3-matplotlib
  jupyter-nbconvert python3-ipykernel python3-openturns python3-sklearn)
tds_packages_asan=("${tds_packages_linux[@]}")
tds_packages_windows=("${tds_packages_linux[@]}" g++-mingw-w64-x86-64-posix wine64 python3-pefile)
tds_packages_web=("${tds_packages_serve[@]}" chromium)
tds_packages_fmu=(python3 wine64)
tds_packages_fuzz=("${tds_packages_build[@]}" clang libclang-rt-14-dev)
tds_packages_tidy=("${tds_packages_linux[@]}" clang clang-tidy libclang-rt-14-dev libbenchmark-dev)
tds_packages_fresh=(mmdebstrap git)

# Installs the packages named (as root), or names the missing ones and stops.
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "== installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "run as root, or install these packages first: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  # Another apt or dpkg at work (an upgrade, another build): wait for it.
  apt-get -o DPkg::Lock::Timeout=600 update
  apt-get -o DPkg::Lock::Timeout=600 install -y "${missing[@]}"
}

# Installs the union of the named lists; an unknown name is an error.
ensure_packages_for() {
  local name p wanted=()
  for name in "$@"; do
    if ! declare -p "tds_packages_$name" >/dev/null 2>&1; then
      echo "ensure_packages_for: no package list named '$name'" >&2
      exit 2
    fi
    local -n list="tds_packages_$name"
    for p in "${list[@]}"; do
      [[ $p == npm ]] && command -v npm >/dev/null && continue
      [[ " ${wanted[*]} " == *" $p "* ]] || wanted+=("$p")
    done
    unset -n list
  done
  ensure_packages "${wanted[@]}"
}
