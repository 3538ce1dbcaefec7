#!/usr/bin/env bash
# Builds the fuzz targets (clang-14 with libFuzzer, address and undefined
# behaviour sanitizers) and runs each for a bounded time, starting from the
# seed corpus in fuzz/corpus/<target>/.
#
#   fuzz/run.sh [seconds per target, default 20] [target ...]
#
# Inputs the fuzzer finds are kept in $FUZZ_BUILD/corpus/<target>/ (default
# build-fuzz), so later runs start where earlier ones stopped; an input that
# breaks a property or crashes lands in $FUZZ_BUILD/artifacts/. Exits non-zero
# when any target fails.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(query configuration markup text_reader index)
fi
build=${FUZZ_BUILD:-build-fuzz}
root=$PWD

scripts/deps.sh fuzz

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j2

# The targets write their quote files into a scratch directory for every
# input; memory-backed storage keeps that from dominating the run.
scratch_parent=/dev/shm
[ -d "$scratch_parent" ] && [ -w "$scratch_parent" ] || scratch_parent=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$scratch_parent/dictorn-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Longest input per target: the configuration, text and markup targets need
# room for lines beyond the 16,383-byte limits.
max_len() {
  case $1 in
  query | index) echo 4096 ;;
  *) echo 40000 ;;
  esac
}

# A report from the sanitizers ends a target with this status, never 0 or 1.
export ASAN_OPTIONS=${ASAN_OPTIONS:-exitcode=99:quarantine_size_mb=16:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-exitcode=99:print_stacktrace=1:halt_on_error=1}

mkdir -p "$build/artifacts" "$build/logs"
failed=0
summary=$(printf '%-14s %8s %12s %10s %8s %8s\n' target seconds executions "exec/s" seeds corpus)
for target in "${targets[@]}"; do
  # Absolute paths: the targets work in a scratch directory of their own.
  seeds=$root/fuzz/corpus/$target
  work=$(cd "$build" && pwd)/corpus/$target
  log=$build/logs/$target.log
  mkdir -p "$work" "$scratch/$target"
  options=(-max_total_time="$seconds" -max_len="$(max_len "$target")"
           -timeout=30 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$(cd "$build" && pwd)/artifacts/$target-")
  if [ -f "fuzz/$target.dict" ]; then
    options+=(-dict="$root/fuzz/$target.dict")
  fi
  echo "== fuzz_$target for ${seconds}s"
  status=0
  TMPDIR="$scratch/$target" "./$build/fuzz_$target" "${options[@]}" \
    "$work" "$seeds" >"$log" 2>&1 || status=$?
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  executions=${executions:-0}
  seed_count=$(find "$seeds" -type f | wc -l)
  corpus_count=$(find "$work" -type f | wc -l)
  summary+=$(printf '\n%-14s %8s %12s %10s %8s %8s' "$target" "$seconds" \
    "$executions" "$((executions / (seconds > 0 ? seconds : 1)))" \
    "$seed_count" "$corpus_count")
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "fuzz_$target FAILED with status $status; log: $log"
    { grep -E -A12 'property broken|ERROR:|runtime error' "$log" || tail -20 "$log"; } | head -60
    ls "$build"/artifacts/"$target"-* 2>/dev/null || true
  fi
done
echo "$summary"
exit "$failed"
