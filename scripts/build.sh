#!/usr/bin/env bash
# Builds every platform: build/linux (native, with sanitizers), build/linux-release (the
# optimised Linux module a file manager loads: a sanitizer runtime cannot be loaded into a
# program built without it), build/win32 (the 32-bit Windows modules frameleaf.wfx +
# frameleaf.dll) and build/win64 (frameleaf.wfx64 + frameleaf64.dll for the 64-bit file
# manager), both cross-compiled with mingw-w64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
echo "== building build/linux (native, with sanitizers, with the tests)"
cmake -S "$root" -B "$root/build/linux" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFL_SANITIZE=ON >/dev/null
cmake --build "$root/build/linux" -j "$jobs"
echo "== building build/linux-release (the optimised Linux module and its matching library)"
cmake -S "$root" -B "$root/build/linux-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFL_TESTS=OFF \
  >/dev/null
cmake --build "$root/build/linux-release" -j "$jobs" --target frameleaf_plugin frameleaf_regex
for arch in win32:i686 win64:x86_64; do
  dir=${arch%%:*} toolchain=${arch##*:}
  echo "== building build/$dir ($toolchain mingw-w64: the Windows modules, fl-host.exe and the tests)"
  cmake -S "$root" -B "$root/build/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$toolchain.cmake" >/dev/null
  cmake --build "$root/build/$dir" -j "$jobs"
done
