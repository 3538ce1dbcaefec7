#!/usr/bin/env bash
# Cross-compiles the Windows program with mingw-w64: build-win32/dictorn32.exe
# (i686, the first target) and build-win64/dictorn32.exe (x86-64). Both are
# linked statically; each build fails unless its .exe imports nothing beyond
# the system's own DLLs (KERNEL32 and the C runtime, msvcrt or UCRT).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh windows

# check_imports EXE OBJDUMP MAGIC: the PE kind and the imported DLLs.
check_imports() {
  local exe=$1 objdump=$2 magic=$3 headers dlls dll bad=0
  headers=$("$objdump" -p "$exe")
  if ! grep -q "^Magic.*($magic)" <<<"$headers"; then
    echo "$exe: not a $magic image" >&2
    return 1
  fi
  dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
  for dll in $dlls; do
    case "${dll,,}" in
      kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) ;;
      *)
        echo "$exe: imports $dll, which Windows does not provide" >&2
        bad=1
        ;;
    esac
  done
  [ "$bad" = 0 ] || return 1
  echo "$exe: $magic, imports" $dlls
}

# build FOLDER TOOLCHAIN TRIPLET MAGIC
build() {
  local folder=$1 toolchain=$2 triplet=$3 magic=$4
  cmake -S . -B "$folder" -G Ninja --no-warn-unused-cli \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain" -DDICTORN_TESTS=OFF >/dev/null
  cmake --build "$folder" --target dictorn -j2
  # The name the default script address calls: /cgi-bin/dictorn32.exe.
  "$triplet-strip" -o "$folder/dictorn32.exe" "$folder/dictorn.exe"
  check_imports "$folder/dictorn32.exe" "$triplet-objdump" "$magic"
}

build build-win32 toolchain-mingw-i686.cmake i686-w64-mingw32 PE32
build build-win64 toolchain-mingw-x86_64.cmake x86_64-w64-mingw32 PE32+
