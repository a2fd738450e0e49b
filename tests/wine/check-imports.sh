#!/usr/bin/env bash
# Fails when a Windows module imports anything but the system's own libraries (the modules
# are copied beside the file manager alone, with no compiler runtime next to them), or when
# the plug-in module does not export the host's sixteen functions and the fourteen of the
# wide set under their plain names.
# Usage: check-imports.sh PLUGIN LIBRARY [PROGRAM...]
set -eu
allowed='^(kernel32|user32|gdi32|shell32|advapi32|wininet|msvcrt|ws2_32|ole32|comctl32|comdlg32)\.dll$'
exports='FsDeleteFile FsExecuteFile FsExtractCustomIcon FsFindClose FsFindFirst FsFindNext
FsGetDefRootName FsGetFile FsInit FsMkDir FsPutFile FsRemoveDir FsRenMovFile FsSetAttr
FsSetTime FsStatusInfo
FsDeleteFileW FsExecuteFileW FsExtractCustomIconW FsFindFirstW FsFindNextW FsGetFileW FsInitW
FsMkDirW FsPutFileW FsRemoveDirW FsRenMovFileW FsSetAttrW FsSetTimeW FsStatusInfoW'
# The 64-bit objdump reads both PE formats.
objdump=x86_64-w64-mingw32-objdump
status=0
for module in "$@"; do
  dump=$($objdump -p -f "$module")
  imports=$(echo "$dump" | awk '/DLL Name:/ {print tolower($3)}')
  [ -n "$imports" ] || { echo "FAIL: $module: no import table read"; status=1; continue; }
  for dll in $imports; do
    if [[ ! $dll =~ $allowed ]]; then
      echo "FAIL: $(basename "$module") imports $dll"
      status=1
    fi
  done
  echo "$(basename "$module") ($(echo "$dump" | awk '/^architecture:/ {print $2}' | tr -d ,)): $(echo $imports | tr '\n' ' ')"
done
plugin_exports=$($objdump -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  awk '/^\t\[ *[0-9]+\]/ {print $NF}' | sort | tr '\n' ' ')
want=$(echo $exports | tr ' ' '\n' | sort | tr '\n' ' ')
if [ "$plugin_exports" != "$want" ]; then
  echo "FAIL: $(basename "$1") exports: $plugin_exports"
  status=1
else
  echo "$(basename "$1") exports the 16 host functions and the 14 wide ones, undecorated"
fi
exit $status
