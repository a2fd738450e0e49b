#!/usr/bin/env bash
# Runs a Windows program under Wine for the tests: a private prefix in the build tree, no
# runtime installers, UTC, no debug chatter. Exits 77 (a skipped test) when Wine cannot run
# 32-bit programs on this machine.
set -u
prefix_root=${FL_WINE_ROOT:-${TMPDIR:-/tmp}/frameleaf-wine}
export WINEPREFIX="$prefix_root/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export TZ=UTC
# The Windows-1251 ANSI code page, which the plug-in's texts and tests assume.
export LC_ALL=ru_RU.UTF-8
export WINEARCH=win32
mkdir -p "$prefix_root"

if [ ! -f "$prefix_root/probe.ok" ] && [ ! -f "$prefix_root/probe.failed" ]; then
  if command -v wine >/dev/null && timeout 300 wine cmd /c exit 0 >/dev/null 2>&1; then
    touch "$prefix_root/probe.ok"
  else
    touch "$prefix_root/probe.failed"
  fi
fi
if [ -f "$prefix_root/probe.failed" ]; then
  echo "SKIPPED: Wine cannot run 32-bit Windows programs on this machine" >&2
  exit 77
fi
exec wine "$@"
