# Shell helper for the scripts (run.sh, test.sh, docs/build.sh, ...):
# installs the Debian packages that are missing, with apt-get as root
# (apt-get update once), or tells a non-root user what to install.
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "== installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "run as root, or install these packages first: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y "${missing[@]}"
}

# The Debian packages that a script needs, by the name of its list.
packages_for() {
  case "$1" in
    docs)
      # docs/build.sh: what configuring the linux preset needs (its tests'
      # tools too), its tarvello-run and Python module, and Sphinx with MyST,
      # furo and nbsphinx (pandoc for the notebook's text).
      echo cmake ninja-build g++ gcc python3 nlohmann-json3-dev libcli11-dev pkgconf \
        googletest valgrind libboost-dev libpagmo-dev \
        pybind11-dev python3-pybind11 python3-numpy python3-pandas python3-xarray \
        python3-sphinx python3-myst-parser furo python3-nbsphinx pandoc python3-ipython
      ;;
    *)
      echo "packages_for: no list of packages named '$1'" >&2
      return 1
      ;;
  esac
}

# Installs the packages of every list named, as ensure_packages does.
ensure_packages_for() {
  local name text names all=()
  for name in "$@"; do
    text=$(packages_for "$name") || exit 1
    read -ra names <<<"$text"
    all+=("${names[@]}")
  done
  ensure_packages "${all[@]}"
}
