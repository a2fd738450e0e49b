#!/usr/bin/env bash
# The 64-bit build's emulator: run-wine.sh with wine64.
FL_WINE_ARCH=win64 exec "$(dirname "$0")/run-wine.sh" "$@"
