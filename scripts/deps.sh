#!/usr/bin/env bash
# Installs what a stage needs when it is missing: "build" for the program,
# "test" for the whole test suite, "serve" for make serve. Runs apt only
# when something is absent.
set -euo pipefail

need=()
want() { dpkg -s "$1" >/dev/null 2>&1 || need+=("$1"); }

want cmake
want ninja-build
want g++
if [ "${1:-build}" = test ]; then
  want libgtest-dev
  want lighttpd
  want curl
  want chromium
  want nodejs
  # NodeSource's nodejs carries npm and conflicts with Debian's npm package.
  command -v npm >/dev/null 2>&1 || want npm
fi
if [ "${1:-build}" = serve ]; then
  want lighttpd
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}" >/dev/null
fi
