#!/usr/bin/env bash
# Writes what a case printed as its expected output, for a new case whose output has been
# read and found right: accept_output.sh BUILD_DIR CASE_NAME
set -euo pipefail
build=$1 case=$2
here=$(cd "$(dirname "$0")" && pwd)
(cd "$build" && ctest -R "host/$case\$" --output-on-failure || true) |
  python3 -c '
import sys
text = sys.stdin.read()
start = text.index("--- got\n") + len("--- got\n")
end = text.index("\n\n", start)
sys.stdout.write(text[start:end] + "\n")' > "$here/cases/$case/expected"
cat "$here/cases/$case/expected"
