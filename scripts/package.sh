#!/usr/bin/env bash
# Builds and makes the release: dist/frameleaf-2.6.0.zip, which the file manager offers to
# install when the user opens it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" >/dev/null
bash "$root/scripts/build.sh" >/dev/null
python3 "$root/tools/release/make_zip.py" --source "$root" --win32 "$root/build/win32" \
  --win64 "$root/build/win64" --out "$root/dist/frameleaf-2.6.0.zip"
