#!/usr/bin/env bash
# Builds both platforms: build/linux (native, with sanitizers) and build/win32 (the 32-bit
# Windows modules, cross-compiled with mingw-w64).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
cmake -S "$root" -B "$root/build/linux" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFL_SANITIZE=ON >/dev/null
cmake --build "$root/build/linux" -j "$jobs"
cmake -S "$root" -B "$root/build/win32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$root/build/win32" -j "$jobs"
