#!/usr/bin/env bash
# Fails when a Windows module imports anything but the system's own libraries: the modules
# are copied beside the file manager alone, with no compiler runtime next to them.
set -eu
allowed='^(kernel32|user32|gdi32|shell32|advapi32|wininet|msvcrt|ws2_32|ole32|comctl32|comdlg32)\.dll$'
status=0
for module in "$@"; do
  imports=$(i686-w64-mingw32-objdump -p "$module" | awk '/DLL Name:/ {print tolower($3)}')
  [ -n "$imports" ] || { echo "FAIL: $module: no import table read"; status=1; continue; }
  for dll in $imports; do
    if [[ ! $dll =~ $allowed ]]; then
      echo "FAIL: $(basename "$module") imports $dll"
      status=1
    fi
  done
  echo "$(basename "$module"): $(echo $imports | tr '\n' ' ')"
done
exit $status
