#!/usr/bin/env bash
# Builds optimised and runs the benchmarks, printing their figures: the matching library
# against std::regex and PCRE2, and the HTTP session against the fixture web server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >/dev/null
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFL_BENCH=ON \
  -DFL_TESTS=OFF >/dev/null
cmake --build "$root/build/bench" --target regex_bench http_bench
port=18483
"$root/tests/http/server_ctl.sh" start "$root/build/bench/http" $port
trap '"$root/tests/http/server_ctl.sh" stop "$root/build/bench/http"' EXIT
http_proxy=http://127.0.0.1:$port no_proxy= "$root/build/bench/http_bench"
"$root/build/bench/regex_bench" "$@"
