#!/usr/bin/env bash
# Builds and makes the releases: dist/frameleaf-2.6.0.zip, which the Windows file manager
# offers to install when the user opens it, and dist/frameleaf-2.6.0-linux-x86_64.tar.gz, the
# Linux module (the optimised build without sanitizers) for Double Commander.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >/dev/null
bash "$root/scripts/build.sh" >/dev/null
python3 "$root/tools/release/make_zip.py" --source "$root" --win32 "$root/build/win32" \
  --win64 "$root/build/win64" --out "$root/dist/frameleaf-2.6.0.zip"
python3 "$root/tools/release/make_linux_package.py" --source "$root" --build "$root/build/linux-release" \
  --out "$root/dist/frameleaf-2.6.0-linux-x86_64.tar.gz"
