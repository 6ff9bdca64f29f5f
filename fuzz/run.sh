#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: clang, ASan, UBSan, LeakSanitizer) and runs each for
# a bounded time on a scratch copy of its seed corpus in fuzz/corpus/<target>/.
#
#   FUZZ_SECONDS=60 fuzz/run.sh          # seconds per target (default 60)
#
# Needs clang and libclang-rt-14-dev (Debian) besides the project's build tools. Writes into
# build/fuzz: the scratch corpora (build/fuzz/work/<target>/corpus), the logs
# (build/fuzz/work/<target>/fuzz.log) and any finding (build/fuzz/artifacts/<target>/). The
# targets' temporary files go to a directory in /dev/shm (memory: several times faster for the
# result files of fuzz_recover), or in build/fuzz/work when there is none; it is removed at the
# end. Prints one line per target with its number of executions; exits nonzero, naming the
# targets, when any target reports a finding (crash, sanitizer report, leak, timeout, out of
# memory).
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null

seconds="${FUZZ_SECONDS:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz/run.sh: FUZZ_SECONDS must be a positive whole number of seconds, not '$seconds'" >&2
  exit 2
fi

echo "== fuzz: configure and build (preset fuzz)"
cmake --preset fuzz
cmake --build --preset fuzz

bin=build/fuzz/bin
targets=(fuzz_node_ids fuzz_recover fuzz_round_dbl fuzz_host_inputs)

# Per-target options: input length bounds and the dictionary.
extra_options() {
  case "$1" in
    fuzz_node_ids) echo "-max_len=256 -dict=fuzz/fuzz_node_ids.dict" ;;
    fuzz_recover) echo "-max_len=8192" ;;
    fuzz_round_dbl) echo "-max_len=8" ;;
    fuzz_host_inputs) echo "-max_len=16384" ;;
  esac
}

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

# Temporary files of the targets.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  scratch=$(mktemp -d /dev/shm/tds-fuzz.XXXXXX)
else
  mkdir -p build/fuzz/work
  scratch=$(mktemp -d "$PWD/build/fuzz/work/tmp.XXXXXX")
fi
trap 'rm -rf "$scratch"' EXIT

failed=()
summary=()
for target in "${targets[@]}"; do
  work="build/fuzz/work/$target"
  artifacts="build/fuzz/artifacts/$target"
  rm -rf "$work" "$artifacts"
  mkdir -p "$work/corpus" "$scratch/$target" "$artifacts"
  cp fuzz/corpus/"$target"/* "$work/corpus/"
  log="$work/fuzz.log"

  echo "== fuzz: $target for ${seconds}s"
  status=0
  # shellcheck disable=SC2046 # the options are words
  TMPDIR="$scratch/$target" timeout --kill-after=30 $((seconds + 300)) \
    "$bin/$target" "$work/corpus" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" -print_final_stats=1 \
    $(extra_options "$target") >"$log" 2>&1 || status=$?

  runs=$(awk '/^stat::number_of_executed_units:/ {print $2}' "$log" | tail -n 1)
  findings=$(find "$artifacts" -type f | wc -l)
  if ((status != 0 || findings != 0)) || [ -z "$runs" ]; then
    failed+=("$target")
    line="$target: FAILED (exit $status, ${runs:-?} executions); log $log, artifacts $artifacts/"
    echo "---- last lines of $log"
    tail -n 40 "$log"
    echo "----"
  else
    line="$target: ok, $runs executions in ${seconds}s"
  fi
  echo "$line"
  summary+=("$line")
done

echo "== fuzz summary"
printf '%s\n' "${summary[@]}"
if ((${#failed[@]})); then
  echo "fuzz/run.sh: findings in: ${failed[*]}" >&2
  exit 1
fi
