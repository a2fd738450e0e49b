#!/usr/bin/env bash
# The main job: installs the plug-in into a folder as a user would (module, matching
# library, language files, site scripts) and browses it through the host program under
# Wine: the 32-bit module where this kernel runs 32-bit programs, else the 64-bit one.
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
[ -d "$root/sites" ] && cp -r "$root/sites" "$out/scripts"
cat > "$out/commands.txt" <<'CMDS'
list \
list \[choose language]
accept
list \[connection]
CMDS
export FL_WINE_ROOT="$root/build/$build/wine"
export TZ=UTC
# The module path the host program gets is absolute, as the file manager passes it.
cd "$out"
xvfb-run -a "$root/tests/wine/$emulator" "$root/build/$build/fl-host.exe" \
  "Z:${out//\//\\}\\$module" -f commands.txt | iconv -f cp1251 -t utf-8
