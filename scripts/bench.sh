#!/usr/bin/env bash
# Builds optimised and runs the benchmarks, printing their figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >/dev/null
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFL_BENCH=ON \
  -DFL_TESTS=OFF >/dev/null
cmake --build "$root/build/bench" --target regex_bench
"$root/build/bench/regex_bench" "$@"
