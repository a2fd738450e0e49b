#!/usr/bin/env bash
# The main job: installs the plug-in into a folder as a user would (module, matching
# library, language files, site scripts) and browses it through the host program. The
# Windows module runs under Wine; where Wine cannot run 32-bit programs, the same module
# built for Linux stands in, and the script says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >/dev/null
bash "$root/scripts/build.sh" >/dev/null
install_to() {
  local from=$1 to=$2
  rm -rf "$to" && mkdir -p "$to"
  cp "$from/frameleaf.wfx" "$to/"
  [ -f "$from/frameleaf.dll" ] && cp "$from/frameleaf.dll" "$to/"
  cp -r "$root/language" "$to/language"
  [ -d "$root/sites" ] && cp -r "$root/sites" "$to/scripts"
  return 0
}
commands=$(mktemp)
cat > "$commands" <<'CMDS'
list \
list \[choose language]
accept
list \[connection]
CMDS
export FL_WINE_ROOT="$root/build/win32/wine"
export TZ=UTC
out="$root/build/demo"
install_to "$root/build/win32" "$out/win32"
cp "$commands" "$out/win32/commands.txt"
if (cd "$out/win32" && xvfb-run -a "$root/tests/wine/run-wine.sh" "$root/build/win32/fl-host.exe" \
      frameleaf.wfx -f commands.txt); then
  exit 0
elif [ $? -ne 77 ]; then
  exit 1
fi
echo "(Wine cannot run 32-bit programs here: running the Linux build of the same module)"
install_to "$root/build/linux" "$out/linux"
"$root/build/linux/fl-host" "$out/linux/frameleaf.wfx" -f "$commands" | iconv -f cp1251 -t utf-8
