#!/usr/bin/env bash
# Installs what a stage needs when it is missing. Runs apt only when
# something is absent.
#
#   scripts/deps.sh [stage]
#
#   build    the program (the default)
#   test     the whole test suite
#   serve    make serve
#   bench    bench/run.sh: the program and the measuring tools
#   fuzz     fuzz/run.sh: clang-14 with libFuzzer and its sanitizers
#   windows  scripts/windows.sh: the mingw-w64 cross compilers
#   wine     scripts/test-windows.sh: the 64-bit Wine loader
set -euo pipefail

stage=${1:-build}
need=()
# want PACKAGE...: each that dpkg does not have installed.
want() {
  local package
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || need+=("$package")
  done
}
# want_command COMMAND PACKAGE: the package, unless the command is already
# there (from it or from another package).
want_command() {
  command -v "$1" >/dev/null 2>&1 || want "$2"
}

case $stage in
  build | test | serve | bench) want cmake ninja-build g++ ;;
esac
case $stage in
  build) ;;
  test)
    want libgtest-dev lighttpd curl chromium nodejs
    # NodeSource's nodejs carries npm and conflicts with Debian's npm package.
    want_command npm npm
    ;;
  serve) want lighttpd ;;
  bench)
    PATH=$PATH:/usr/sbin  # lighttpd
    want_command valgrind valgrind
    want_command lighttpd lighttpd
    want_command wrk wrk
    want_command gnuplot gnuplot-nox
    want_command /usr/bin/time time
    want_command strace strace
    want_command gcc gcc
    ;;
  fuzz) want cmake ninja-build clang-14 libfuzzer-14-dev libclang-rt-14-dev ;;
  windows) want cmake ninja-build g++-mingw-w64-i686 g++-mingw-w64-x86-64 ;;
  wine) want wine64 ;;
  *)
    echo "usage: scripts/deps.sh [build|test|serve|bench|fuzz|windows|wine]" >&2
    exit 2
    ;;
esac

if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}" >/dev/null
fi
