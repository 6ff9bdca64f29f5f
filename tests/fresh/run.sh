#!/usr/bin/env bash
# The README's commands as a new user runs them: a minimal Debian 12 root
# (mmdebstrap --variant=minbase, this machine's apt sources, git and
# ca-certificates) gets a clone of the commit under test (HEAD), and runs in
# it, as root and without standard input:
#   ./run.sh             its CSV byte for byte the default year of
#                        build/linux/bin/tarvello-run, and its plot written
#   python/install.sh    then a year through tarvello.Site(), the same CSV
#   web/serve.sh         the page, its WebAssembly program and its worker
#                        script answer with HTTP 200 on loopback
# Each command installs its own packages; a list that misses one fails here.
# apt's downloads and lists, and npm's cache, are kept between runs in
# TDS_FRESH_CACHE (default /var/cache/tarvello-fresh), outside the checkout,
# so that a second run downloads nothing from Debian. Everything else lives
# in build/fresh and is removed on every way out.
#
# The work runs in a mount namespace of its own: the root's mounts are never
# seen outside it and end with it, even when the step is killed. They are
# also unmounted on the way out, deepest first, and build/fresh is removed
# only when nothing under it is mounted, without crossing file systems.
set -euo pipefail
cd "$(dirname "$0")/../.."
exec </dev/null
checkout=$PWD
work=$checkout/build/fresh
root=$work/root
cache=${TDS_FRESH_CACHE:-/var/cache/tarvello-fresh}
host=build/linux/bin/tarvello-run

fail() {
  echo "fresh: $*" >&2
  exit 1
}

# Every mount point at or under $1, deepest first.
mounts_under() {
  findmnt -rn -o TARGET | awk -v dir="$1" '$0 == dir || index($0, dir "/") == 1' | sort -r
}

unmount_all() {
  local m
  while read -r m; do
    [ -n "$m" ] || continue
    umount "$m" 2>/dev/null || umount -l "$m" || true
  done < <(mounts_under "$1")
  [ -z "$(mounts_under "$1")" ]
}

# Runs a command in the root, as root, with a plain environment and no input.
# The shell waits for it with wait, which a signal interrupts, so that its
# trap runs at once rather than when the command ends.
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "$1" </dev/null &
  wait "$!"
}
export -f in_root

# The part that runs inside the mount namespace (see the end of the file).
server=
inside() {
  # shellcheck disable=SC2317 # run by the traps
  stop() {
    local status=$?
    trap - EXIT
    trap '' INT TERM HUP
    # Whatever still runs in the root: the server's process group, and this
    # one's (a build, an apt-get cut short).
    if [ -n "$server" ]; then
      kill -TERM -- "-$server" 2>/dev/null || true
      wait "$server" 2>/dev/null || true
    fi
    kill -TERM 0 2>/dev/null && sleep 1
    unmount_all "$root" || {
      echo "fresh: cannot unmount everything under $root" >&2
      status=1
    }
    exit "$status"
  }
  trap stop EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP

  mkdir -p "$cache/archives/partial" "$cache/lists/partial" "$cache/npm" "$root"
  local sources=/etc/apt/sources.list.d/debian.sources
  [ -f "$sources" ] || sources=/etc/apt/sources.list
  [ -f "$sources" ] || fail "this machine has no apt sources to pass to the root"

  echo "== fresh: a minimal Debian 12 root (mmdebstrap) in $root"
  # apt's downloads and lists go straight to the cache; they are unmounted
  # before mmdebstrap's cleanup, which would empty them. No translations:
  # every apt-get update in the root then finds its lists as they are.
  mmdebstrap --mode=root --variant=minbase --include=git,ca-certificates \
    --skip=essential/unlink --quiet --aptopt='Acquire::Languages "none"' \
    --setup-hook="mkdir -p \"\$1/var/cache/apt/archives\" \"\$1/var/lib/apt/lists\"" \
    --setup-hook="mount --bind '$cache/archives' \"\$1/var/cache/apt/archives\"" \
    --setup-hook="mount --bind '$cache/lists' \"\$1/var/lib/apt/lists\"" \
    --customize-hook="umount \"\$1/var/cache/apt/archives\" \"\$1/var/lib/apt/lists\"" \
    bookworm "$root" "$sources"

  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
  mount --bind "$cache/archives" "$root/var/cache/apt/archives"
  mount --bind "$cache/lists" "$root/var/lib/apt/lists"
  mkdir -p "$root/root/.npm"
  mount --bind "$cache/npm" "$root/root/.npm"

  # This machine's trust: a network that inspects TLS (npm's registry) has a
  # certificate authority of its own in the machine's bundle. Node reads
  # the bundle through NODE_EXTRA_CA_CERTS (in_root).
  cp /etc/ssl/certs/ca-certificates.crt "$root/usr/local/share/ca-certificates/this-machine.crt"
  # (Its rehash warns about the bundle, which holds many.)
  in_root 'update-ca-certificates >/dev/null 2>&1' || fail "update-ca-certificates failed in the root"

  local commit
  commit=$(git rev-parse HEAD)
  git clone --quiet --no-checkout "$checkout" "$root/root/tarvello"
  git -C "$root/root/tarvello" -c advice.detachedHead=false checkout --quiet "$commit"
  echo "== fresh: ${commit:0:12} cloned to /root/tarvello in the root"

  echo "== fresh: ./run.sh"
  in_root 'cd /root/tarvello && ./run.sh' || fail "./run.sh failed on the fresh root"
  cmp "$root/root/tarvello/build/run/year.csv" "$work/year.csv" ||
    fail "./run.sh's build/run/year.csv differs from $host's default year"
  [ -s "$root/root/tarvello/build/run/year.png" ] || fail "./run.sh wrote no build/run/year.png"

  echo "== fresh: python/install.sh, then a year through tarvello.Site()"
  in_root 'cd /root/tarvello && python/install.sh' || fail "python/install.sh failed on the fresh root"
  in_root 'cd / && /root/tarvello/.venv/bin/python -c "
import tarvello
site = tarvello.Site()
site.to_csv(site.run(days=365), \"/root/python-year.csv\")"' ||
    fail "the installed package did not run a year on the fresh root"
  cmp "$root/root/python-year.csv" "$work/year.csv" ||
    fail "tarvello.Site().run(days=365)'s CSV differs from $host's default year"

  echo "== fresh: web/serve.sh"
  # In a process group of its own, to stop it with its children.
  root=$root setsid bash -c 'in_root "cd /root/tarvello && exec web/serve.sh"' >"$work/serve.log" 2>&1 &
  server=$!
  local url='' waited=0
  until url=$(grep -o 'http://127\.0\.0\.1:[0-9]*/' "$work/serve.log"); do
    if ! kill -0 "$server" 2>/dev/null || ((waited >= 1800)); then
      tail -n 20 "$work/serve.log" >&2
      fail "web/serve.sh did not serve the page (its output is above)"
    fi
    sleep 2
    waited=$((waited + 2))
  done
  local page
  for page in "" index.html tarvello.wasm worker.js; do
    /usr/bin/python3 - "$url$page" <<'EOF' || fail "web/serve.sh at $url does not answer $page with HTTP 200"
import sys
import urllib.request
with urllib.request.urlopen(sys.argv[1], timeout=30) as answer:
    sys.exit(0 if answer.status == 200 and answer.read() else 1)
EOF
  done
  echo "ok   web/serve.sh answers /, index.html, tarvello.wasm and worker.js at $url"
}

if [[ ${1-} == --inside ]]; then
  inside
  exit
fi

# The outer part: checks, the reference CSV, the namespace, the clean-up.
[ "$(id -u)" -eq 0 ] || fail "needs root (mmdebstrap, mounts, chroot): run it as root"
command -v mmdebstrap >/dev/null || fail "mmdebstrap is missing: install Debian's mmdebstrap"
command -v unshare >/dev/null || fail "unshare is missing: install Debian's util-linux"
[ -x "$host" ] || fail "$host is missing: build the linux preset first (./test.sh linux fresh)"
[[ $cache == /* && $cache != "$work" && $cache != "$work"/* && $cache != *"'"* ]] ||
  { echo "fresh: TDS_FRESH_CACHE must be an absolute path outside $work, not '$cache'" >&2; exit 2; }

# Removes build/fresh, only when nothing under it is mounted.
remove_work() {
  [ ! -e "$work" ] || { unmount_all "$work" && rm -rf --one-file-system "$work"; }
}

job=
# shellcheck disable=SC2317 # run by the traps
cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  if [ -n "$job" ]; then
    # The namespace's processes first (they run the unmounts), then what is left.
    kill -TERM -- "-$job" 2>/dev/null && sleep 3
    kill -KILL -- "-$job" 2>/dev/null || true
    wait "$job" 2>/dev/null || true
  fi
  if ! remove_work; then
    echo "fresh: something is still mounted under $work; it is left in place" >&2
    status=1
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

start=$SECONDS
# What a killed run left behind.
remove_work || fail "something is still mounted under $work from an earlier run"
mkdir -p "$work"
"$host" --out "$work/year.csv" >"$work/host.log" 2>&1 ||
  { cat "$work/host.log" >&2; fail "$host failed to run the default year"; }
# The namespace in a process group of its own, to stop it with its children;
# it is also told to stop when this script dies without its traps (SIGKILL).
setsid setpriv --pdeathsig TERM unshare --mount --propagation private "$0" --inside &
job=$!
wait "$job"
job=
remove_work
echo "== fresh: run.sh, the Python package and web/serve.sh on a fresh Debian 12 root in $((SECONDS - start)) s"
