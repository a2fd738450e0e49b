#!/usr/bin/env bash
# The demo: installs the plug-in into a folder as a user would (module, matching library,
# language files, site scripts) and browses it through the host program fl-host, natively.
# It builds only what it runs: the optimised Linux module, its matching library and fl-host
# (build/linux-release, no tests). The demo site (demo/: photos.example.test and its photo
# server img.example.test) is served by the fixture web server on loopback, reached as the
# proxy, over http and https (libcurl trusts the server's test CA through CURL_CA_BUNDLE, as
# a user's machine trusts a CA). The whole test suite is scripts/test.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/linux-release"

echo "== 1/4 installing the packages the demo needs (compiler, cmake, ninja, libcurl, openssl)"
bash "$root/scripts/setup.sh" --demo

echo "== 2/4 building the module, its matching library and fl-host into build/linux-release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFL_TESTS=OFF >/dev/null
# Two jobs: the machine may be shared; ninja prints its [done/total] progress.
cmake --build "$build" -j 2 --target frameleaf_plugin frameleaf_regex fl-host

echo "== 3/4 installing the plug-in into build/demo/linux and serving the demo site"
out="$root/build/demo/linux"
rm -rf "$out" && mkdir -p "$out"
cp "$build/frameleaf.wfx" "$build/frameleaf.dll" "$out/"
cp -r "$root/language" "$out/language"
cp "$root/resources/frameleaf.ini" "$out/"  # the shipped settings: the update check off
[ -d "$root/sites" ] && cp -r "$root/sites" "$out/scripts"
cat > "$out/commands.txt" <<'CMDS'
list \
echo -- the demo user's albums (two pages on the site)
answer http://photos.example.test/user/demo/
echo -- (each address typed gets a folder of its own, named after the address)
list \[connection]
list \[connection]\photos.example.test_user_demo
echo -- one album's photos (two pages), with sizes and dates from the photo server
list \[connection]\photos.example.test_user_demo\Harbour at dawn
echo -- the URL prompt's own example address: an album of the demo site
list \
accept
list \[connection]
list \[connection]\photos.example.test_user_demo_album_harbour
echo -- copying one photo out of the drive downloads it from the photo server
get \[connection]\photos.example.test_user_demo_album_harbour\boats.jpg boats.jpg
echo -- the same album over HTTPS: every page, size query and copy over TLS
answer https://photos.example.test/user/demo/album/harbour/
list \[connection]
list \[connection]\photos.example.test_user_demo_album_harbour (2)
get "\\[connection]\\photos.example.test_user_demo_album_harbour (2)\\boats.jpg" boats-https.jpg
CMDS
# The demo site on a free loopback port; its TLS folder (test CA, certificates) is made by
# the server on its first start and kept.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
http="$root/build/demo/http-linux"
"$root/tests/http/server_ctl.sh" start "$http" "$port" "$root/demo" >/dev/null
trap '"$root/tests/http/server_ctl.sh" stop "$http"' EXIT
echo "   the demo site answers on 127.0.0.1:$port (as the proxy for photos.example.test)"

echo "== 4/4 browsing the drive with fl-host (commands: build/demo/linux/commands.txt)"
export http_proxy="http://127.0.0.1:$port" https_proxy="http://127.0.0.1:$port"
export no_proxy= NO_PROXY= CURL_CA_BUNDLE="$http/tls/ca.pem" TZ=UTC
# Names and texts in the locale's character set: UTF-8, readable on any terminal.
export LC_ALL=C.UTF-8
# The module path the host program gets is absolute, as the file manager passes it.
cd "$out"
"$build/fl-host" "$out/frameleaf.wfx" -f commands.txt
python3 - "$http/requests.log" <<'PY'
import json, sys
urls = [json.loads(line)["url"] for line in open(sys.argv[1], encoding="utf-8")]
secure = sum(u.startswith("https://") for u in urls)
print(f"the server answered {len(urls)} requests, {secure} of them over https")
PY
for photo in boats.jpg boats-https.jpg; do
  echo "$photo: $(stat -c %s $photo) bytes, sha256 $(sha256sum $photo | cut -d' ' -f1)"
done
