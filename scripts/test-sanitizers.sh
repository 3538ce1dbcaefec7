#!/usr/bin/env bash
# Builds the program and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer in a build of its own, and runs the whole ctest
# suite there: unit tests, end-to-end runs of the sanitized program, and the
# web tests behind lighttpd.
#
# A sanitizer report ends a process with status 99, never with 1 (the status
# of a shown quote) or 0 (a rebuild), so a report can never pass as a normal
# run; the end-to-end helpers hand both option variables on to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test
build=${SANITIZER_BUILD:-build-asan}
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all"

# The sanitizers' run-time libraries are shared: the program is linked
# dynamically in this build only.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDICTORN_STATIC=OFF \
  -DCMAKE_CXX_FLAGS="$sanitize -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize" >/dev/null
cmake --build "$build" -j2

export ASAN_OPTIONS="exitcode=99:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="exitcode=99:halt_on_error=1:print_stacktrace=1"
export DICTORN_TEST_PASS_ENV="${DICTORN_TEST_PASS_ENV:+$DICTORN_TEST_PASS_ENV }ASAN_OPTIONS UBSAN_OPTIONS"

# A check that the options take effect: a deliberate overflow must end with
# the chosen status, not with 1.
probe=$build/sanitizer-probe
printf '#include <cstdlib>\nint main(int c, char**) { int* a = new int[2]; int v = a[c + 1]; delete[] a; return v == 7 ? 0 : 1; }\n' \
  >"$probe.cc"
c++ $sanitize -O0 "$probe.cc" -o "$probe"
status=0
"$probe" 2>/dev/null || status=$?
if [ "$status" -ne 99 ]; then
  echo "a sanitizer report ended with status $status, not 99" >&2
  exit 1
fi

ctest --test-dir "$build" --output-on-failure -j2
