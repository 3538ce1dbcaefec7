#!/usr/bin/env bash
# Runs every fuzz target for a bounded time: at least 60 seconds each in CI
# (FUZZ_SECONDS may raise it). fuzz/run.sh installs clang-14, libFuzzer and
# the sanitizer run-time when they are missing, builds the targets and
# fails when any target breaks a property or crashes.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
if [ "$seconds" -lt 60 ]; then
  seconds=60
fi
exec fuzz/run.sh "$seconds"
