#!/usr/bin/env bash
# The main job: installs the plug-in into a folder as a user would (module, matching
# library, language files, site scripts) and browses it through the host program under
# Wine: the 32-bit module where this kernel runs 32-bit programs, else the 64-bit one.
# The demo site (demo/: photos.example.test and its photo server img.example.test) is
# served by the fixture web server on loopback, reached as the proxy, over http and https
# (its test CA trusted in the Wine prefix's root store, as a user's machine trusts a CA).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >/dev/null
bash "$root/scripts/build.sh" >/dev/null
source "$root/scripts/wine-arches.sh"
if [ "$win32_runs" = 1 ]; then
  build=win32 module=frameleaf.wfx library=frameleaf.dll emulator=run-wine.sh
else
  echo "(32-bit Windows programs cannot run here: $win32_why; running the 64-bit module)"
  build=win64 module=frameleaf.wfx64 library=frameleaf64.dll emulator=run-wine64.sh
fi
out="$root/build/demo/$build"
rm -rf "$out" && mkdir -p "$out"
cp "$root/build/$build/$module" "$root/build/$build/$library" "$out/"
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
# The demo site on a free loopback port.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# Its TLS folder (test CA and certificates) outlives the run, so the prefix trusts one CA.
http="$root/build/demo/http-$build"
"$root/tests/http/server_ctl.sh" start "$http" "$port" "$root/demo" >/dev/null
trap '"$root/tests/http/server_ctl.sh" stop "$http"' EXIT
export FL_WINE_PROXY="127.0.0.1:$port"
export FL_WINE_ROOT="$root/build/$build/wine"
export TZ=UTC
"$root/tests/wine/$emulator" "$root/build/$build/tests/fl_trust_ca.exe" \
  "Z:${http//\//\\}\\tls\\ca.der" >/dev/null
# The module path the host program gets is absolute, as the file manager passes it.
cd "$out"
xvfb-run -a "$root/tests/wine/$emulator" "$root/build/$build/fl-host.exe" \
  "Z:${out//\//\\}\\$module" -f commands.txt | iconv -f cp1251 -t utf-8
python3 - "$http/requests.log" <<'PY'
import json, sys
urls = [json.loads(line)["url"] for line in open(sys.argv[1], encoding="utf-8")]
secure = sum(u.startswith("https://") for u in urls)
print(f"the server answered {len(urls)} requests, {secure} of them over https")
PY
for photo in boats.jpg boats-https.jpg; do
  echo "$photo: $(stat -c %s $photo) bytes, sha256 $(sha256sum $photo | cut -d' ' -f1)"
done
