#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests: a private prefix, no runtime installers,
# UTC, no debug chatter, the Windows-1251 code page. FL_WINE_ARCH picks the width: win32
# (the default; needs a kernel that runs 32-bit programs) or win64 (wine64 alone). Exits 77
# (a skipped test) when 32-bit Wine cannot start on this machine; a 64-bit Wine that cannot
# start is a failure, never a skip.
set -u
arch=${FL_WINE_ARCH:-win32}
prefix_root=${FL_WINE_ROOT:-${TMPDIR:-/tmp}/frameleaf-wine-$arch}
export WINEPREFIX="$prefix_root/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export TZ=UTC
export LC_ALL=ru_RU.UTF-8
export WINEARCH=$arch
if [ "$arch" = win64 ]; then
  wine=/usr/lib/wine/wine64
  export WINELOADER=$wine
else
  wine=/usr/lib/wine/wine
fi
mkdir -p "$prefix_root"

# The first run makes the prefix; the proxy settings point WinINet at the fixture web
# server, as a Windows user's Internet settings would.
if [ ! -f "$prefix_root/probe.ok" ] && [ ! -f "$prefix_root/probe.failed" ]; then
  if [ -x "$wine" ] && timeout 300 "$wine" cmd /c exit 0 >/dev/null 2>&1; then
    touch "$prefix_root/probe.ok"
  else
    touch "$prefix_root/probe.failed"
  fi
fi
if [ -f "$prefix_root/probe.failed" ]; then
  if [ "$arch" = win64 ]; then
    echo "FAILED: wine64 cannot run 64-bit Windows programs on this machine" >&2
    exit 1
  fi
  echo "SKIPPED: this kernel refuses 32-bit programs, so 32-bit Wine cannot start" >&2
  exit 77
fi
if [ -n "${FL_WINE_PROXY:-}" ] && [ "$(cat "$prefix_root/proxy" 2>/dev/null)" != "$FL_WINE_PROXY" ]; then
  key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
  "$wine" reg add "$key" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null 2>&1
  "$wine" reg add "$key" /v ProxyServer /t REG_SZ /d "$FL_WINE_PROXY" /f >/dev/null 2>&1
  "$wine" reg add "$key" /v ProxyOverride /t REG_SZ /d "" /f >/dev/null 2>&1
  echo "$FL_WINE_PROXY" > "$prefix_root/proxy"
fi
exec "$wine" "$@"
