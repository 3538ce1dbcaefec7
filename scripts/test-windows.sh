#!/usr/bin/env bash
# The Windows program, tested on Linux: builds both Windows programs (which
# checks their DLL imports), runs the end-to-end suite against the 64-bit
# one under Wine, and checks that the Linux and Windows programs build
# byte-identical indexes and each uses the other's. The 32-bit program is
# built and checked, not run: 32-bit Wine cannot run on this kernel.
#
# DICTORN_LINUX_BUILD names the Linux build with the test binary (default
# "build", the one scripts/test.sh has just built).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/deps.sh wine
# Builds both programs and fails unless each imports only system DLLs: the
# one check the 32-bit program gets here.
scripts/windows.sh

linux_build=${DICTORN_LINUX_BUILD:-build}
if [ ! -f "$linux_build/CMakeCache.txt" ]; then
  cmake -S . -B "$linux_build" -G Ninja >/dev/null
fi
cmake --build "$linux_build" -j2
linux_program=$root/$linux_build/dictorn
windows_program=$root/build-win64/dictorn32.exe

# Debian keeps the 64-bit loader off PATH.
loader=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=$root/build-wine/prefix
export WINEDEBUG=-all

# The first start of a prefix takes several seconds: make it once.
if [ ! -f "$WINEPREFIX/.dictorn-ready" ]; then
  echo "creating the Wine prefix $WINEPREFIX"
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  # No Mono or Gecko: the program needs neither, and no one is there to ask.
  WINEDLLOVERRIDES="mscoree,mshtml=" "$loader" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
  touch "$WINEPREFIX/.dictorn-ready"
fi

scratch=$(mktemp -d)
finish() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap finish EXIT
# One server for every run, rather than one started and stopped per run
# (one already running for this prefix serves as well).
"$wineserver" -p </dev/null >/dev/null 2>&1 || true
# The first program of a session starts Wine's services, which keep the
# standard streams they are given: give them none of the tests' own.
"$loader" wineboot </dev/null >/dev/null 2>&1

# --- One index for both platforms --------------------------------------------
failures=0
passes=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then
    passes=$((passes + 1))
  else
    echo "FAILED: $1" >&2
    failures=$((failures + 1))
  fi
}

# Bytes as " xx" each, on one line.
hex() {
  od -An -tx1 -v | tr -d '\n'
}

# run_in DIR PROGRAM ARGS...: output in $output, status in $status.
run_in() {
  local dir=$1 program=$2
  shift 2
  status=0
  if [ "$program" = windows ]; then
    output=$(cd "$dir" && env -i WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all \
      "$loader" ./dictorn32.exe "$@" | hex) || status=$?
  else
    output=$(cd "$dir" && env -i ./dictorn "$@" | hex) || status=$?
  fi
}

# The Linux output in hexadecimal with every line feed made CR LF, as the
# Windows program's text-mode standard output writes it.
crlf() {
  printf '%s' "${1// 0a/ 0d 0a}"
}

# Quote files that exercise the text rules: CR LF and lone CRs, an empty
# line, a 0x1A that ends reading early, a last line without a line feed.
printf 'Look before you leap.\r\nA lone\rCR stays ` Someone\n\n%s\r\n%s\x1a%s\n' \
  '`  set as it stands ^ kept' 'Last one read.' 'Past the end mark.' \
  >"$scratch/marked.txt"
printf 'One.\nTwo ` Old proverb\r\nThree^split\r\r\nNo final line feed' \
  >"$scratch/plain.txt"

for case in marked plain; do
  for side in linux windows linux-uses windows-uses; do
    mkdir "$scratch/$case-$side"
    cp "$scratch/$case.txt" "$scratch/$case-$side/dictorn.txt"
  done
  cp "$linux_program" "$scratch/$case-linux/"
  cp "$linux_program" "$scratch/$case-linux-uses/"
  cp "$windows_program" "$scratch/$case-windows/"
  cp "$windows_program" "$scratch/$case-windows-uses/"

  run_in "$scratch/$case-linux" linux
  check "$case: the Linux program builds the index" test "$status" = 0
  run_in "$scratch/$case-windows" windows
  check "$case: the Windows program builds the index" test "$status" = 0
  check "$case: both programs build the same index bytes" \
    cmp "$scratch/$case-linux/dictorn.ndx" "$scratch/$case-windows/dictorn.ndx"

  # Each program is given the other's index.
  cp "$scratch/$case-windows/dictorn.ndx" "$scratch/$case-linux-uses/"
  cp "$scratch/$case-linux/dictorn.ndx" "$scratch/$case-windows-uses/"
  count=$(od -An -td4 -N4 "$scratch/$case-linux/dictorn.ndx" | tr -d ' ')
  check "$case: the index counts quotes" test "$count" -gt 1
  for ((quote = 0; quote < count; quote++)); do
    run_in "$scratch/$case-linux-uses" linux "$quote"
    linux_output=$output linux_status=$status
    run_in "$scratch/$case-windows-uses" windows "$quote"
    check "$case $quote: the Linux program shows a quote from the Windows index" \
      test "$linux_status" = 1
    check "$case $quote: the Windows program shows a quote from the Linux index" \
      test "$status" = 1
    check "$case $quote: both show the same quote" \
      test "$output" = "$(crlf "$linux_output")"
  done
  # Neither rebuilt what it was given.
  check "$case: the Linux program kept the Windows index" \
    cmp "$scratch/$case-linux-uses/dictorn.ndx" "$scratch/$case-windows/dictorn.ndx"
  check "$case: the Windows program kept the Linux index" \
    cmp "$scratch/$case-windows-uses/dictorn.ndx" "$scratch/$case-linux/dictorn.ndx"
done

echo "index checks: $passes passed, $failures failed"

# --- The end-to-end suite against the Windows program -----------------------
# Every suite defined under tests/e2e; the unit tests test the Linux code.
suites=$(sed -n 's/^TEST\(_F\|_P\)\{0,1\}(\([A-Za-z0-9_]*\),.*/\2/p' \
  tests/e2e/*_test.cc | sort -u)
filter=$(for suite in $suites; do printf '%s.*:' "$suite"; done)
if [ -z "$filter" ]; then
  echo "FAILED: no end-to-end suites under tests/e2e" >&2
  failures=$((failures + 1))
else
  DICTORN_TEST_BINARY=$windows_program \
    DICTORN_TEST_LAUNCHER=$root/scripts/wine-run.sh \
    DICTORN_TEST_PASS_ENV="WINEPREFIX WINEDEBUG" \
    DICTORN_TEST_CRLF=1 \
    DICTORN_TEST_WINE_PATHS=1 \
    "$linux_build/tests/dictorn_tests" --gtest_filter="${filter%:}" \
    --gtest_brief=1 || failures=$((failures + 1))
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures Windows check(s) failed" >&2
  exit 1
fi
echo "Windows checks passed"
