#!/usr/bin/env bash
# Builds optimised and runs the benchmarks, printing their figures: the matching library
# against std::regex and PCRE2, the HTTP session against the fixture web server, and a
# listing of 100 and of 1,000 photos through the real module from a server that answers
# like a distant one, then from one that sets 50 new cookies in every answer (the CPU the
# cookies cost). FL_BENCH_PORT moves the servers' ports (it and the ones 10 and 20 above);
# FL_BENCH_LISTING_ONLY=1 runs the listings alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >/dev/null
cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFL_BENCH=ON \
  -DFL_TESTS=OFF >/dev/null
cmake --build "$root/build/bench" --target regex_bench http_bench listing_bench \
  frameleaf_plugin frameleaf_regex
port=${FL_BENCH_PORT:-18493}
"$root/tests/http/server_ctl.sh" start "$root/build/bench/http" $port
trap '"$root/tests/http/server_ctl.sh" stop "$root/build/bench/http"' EXIT
[ "${FL_BENCH_LISTING_ONLY:-0}" = 1 ] || http_proxy=http://127.0.0.1:$port no_proxy= "$root/build/bench/http_bench"
# The listings: the module installed with its library and the benchmark's site script, the
# site served from its own folder on another port by a server that answers like a distant
# one (FL_BENCH_DELAY_MS before each new connection and before each answer, 50 by default).
# With FL_BENCH_BASELINE=REF (a commit), the module of that commit lists the same albums
# first, for the figures before and after.
listing=$root/build/bench/listing
delay=${FL_BENCH_DELAY_MS:-50}
rm -rf "$listing" && mkdir -p "$listing/install"
cp "$root/build/bench/frameleaf.wfx" "$root/build/bench/frameleaf.dll" "$listing/install/"
python3 "$root/bench/make_listing_site.py" "$listing/site" "$listing/install/scripts"
sync  # the site's 200 MB written out before anything is timed, not while the first album is
"$root/tests/http/server_ctl.sh" start "$listing/http" $((port + 10)) "$listing/site" \
  --connect-delay "$delay" --answer-delay "$delay" --counters "$listing/http/counters.json"
# The same site from a server that sets 50 new cookies in every answer, at once: what the
# cookies cost the module is CPU time, and a delay would only hide it.
"$root/tests/http/server_ctl.sh" start "$listing/cookies" $((port + 20)) "$listing/site" \
  --cookies-per-answer 50 --counters "$listing/cookies/counters.json"
trap '"$root/tests/http/server_ctl.sh" stop "$root/build/bench/http"; "$root/tests/http/server_ctl.sh" stop "$listing/http"; "$root/tests/http/server_ctl.sh" stop "$listing/cookies"' EXIT
list_cookie_albums() {
  echo "== listings, 50 new cookies in every answer, no delay ($1)"
  http_proxy=http://127.0.0.1:$((port + 20)) no_proxy= "$root/build/bench/listing_bench" \
    "$2/frameleaf.wfx" "$listing/cookies/requests.log" "$listing/cookies/counters.json" \
    img.bench.test http://www.bench.test/user/bench/album/hundred/=100 \
    http://www.bench.test/user/bench/album/big/=1000
}
# One request to the fresh server first, so that its own start-up (Python loading what its
# first answer needs) is not counted against the first album listed.
python3 -c 'import sys, urllib.request as u; u.build_opener(u.ProxyHandler({"http": sys.argv[1]})).open("http://www.bench.test/", timeout=30).read()' \
  "http://127.0.0.1:$((port + 10))" >/dev/null 2>&1 || true
list_albums() {
  http_proxy=http://127.0.0.1:$((port + 10)) no_proxy= "$root/build/bench/listing_bench" \
    "$1/frameleaf.wfx" "$listing/http/requests.log" "$listing/http/counters.json" img.bench.test \
    http://www.bench.test/user/bench/album/hundred/=100 http://www.bench.test/user/bench/album/big/=1000
}
if [ -n "${FL_BENCH_BASELINE:-}" ]; then
  base=$root/build/bench-baseline
  rm -rf "$base/src" && mkdir -p "$base/src" "$base/install"
  git -C "$root" archive "$FL_BENCH_BASELINE" | tar -x -C "$base/src"
  cmake -S "$base/src" -B "$base/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFL_TESTS=OFF \
    >/dev/null
  cmake --build "$base/build" --target frameleaf_plugin frameleaf_regex
  cp "$base/build/frameleaf.wfx" "$base/build/frameleaf.dll" "$base/install/"
  rm -rf "$base/install/scripts" && cp -r "$listing/install/scripts" "$base/install/"
  echo "== listings before ($FL_BENCH_BASELINE), ${delay} ms per connection and per answer"
  list_albums "$base/install"
  list_cookie_albums "before, $FL_BENCH_BASELINE" "$base/install"
fi
echo "== listings, ${delay} ms per connection and per answer"
list_albums "$listing/install"
list_cookie_albums "this module" "$listing/install"
[ "${FL_BENCH_LISTING_ONLY:-0}" = 1 ] || "$root/build/bench/regex_bench" "$@"
