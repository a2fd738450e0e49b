#!/usr/bin/env bash
# Sets up what the tests need, builds both platforms and runs every test: natively with
# sanitizers, then the Windows build (under Wine where this machine can run it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
export FL_WINE_ROOT="$root/build/win32/wine"
status=0
echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
(cd "$root/build/linux" && ctest --output-on-failure -j 2) || status=1
echo "== Windows tests"
# A virtual display for the host program's window and for dialogs.
(cd "$root/build/win32" && xvfb-run -a ctest --output-on-failure) || status=1
exit $status
