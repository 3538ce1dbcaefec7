#!/usr/bin/env bash
# Builds and runs every test: the unit and end-to-end suite (with the web
# server and browser tests), then each further stage that is present.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test
cmake -S . -B build -G Ninja
cmake --build build
ctest --test-dir build --output-on-failure -j2

for stage in scripts/test-sanitizers.sh scripts/test-fuzz.sh \
             scripts/test-windows.sh; do
  if [ -x "$stage" ]; then
    echo "== $stage"
    "$stage"
  fi
done
