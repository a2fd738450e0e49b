#!/usr/bin/env bash
# Builds optimised and runs the benchmarks, printing their figures: the matching library
# against std::regex and PCRE2, the HTTP session against the fixture web server, and a
# listing of 1,000 photos on 10 pages through the real module.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >/dev/null
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFL_BENCH=ON \
  -DFL_TESTS=OFF >/dev/null
cmake --build "$root/build/bench" --target regex_bench http_bench listing_bench \
  frameleaf_plugin frameleaf_regex
port=18493
"$root/tests/http/server_ctl.sh" start "$root/build/bench/http" $port
trap '"$root/tests/http/server_ctl.sh" stop "$root/build/bench/http"' EXIT
http_proxy=http://127.0.0.1:$port no_proxy= "$root/build/bench/http_bench"
# The listing: the module installed with its library and the benchmark's site script, the
# site served from its own folder on another port.
listing=$root/build/bench/listing
rm -rf "$listing" && mkdir -p "$listing/install"
cp "$root/build/bench/frameleaf.wfx" "$root/build/bench/frameleaf.dll" "$listing/install/"
python3 "$root/bench/make_listing_site.py" "$listing/site" "$listing/install/scripts"
"$root/tests/http/server_ctl.sh" start "$listing/http" $((port + 10)) "$listing/site"
trap '"$root/tests/http/server_ctl.sh" stop "$root/build/bench/http"; "$root/tests/http/server_ctl.sh" stop "$listing/http"' EXIT
http_proxy=http://127.0.0.1:$((port + 10)) no_proxy= "$root/build/bench/listing_bench" \
  "$listing/install/frameleaf.wfx" http://www.bench.test/user/bench/album/big/ \
  "$listing/http/requests.log"
"$root/build/bench/regex_bench" "$@"
