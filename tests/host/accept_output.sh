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
# Expected outputs are kept in the Windows form: where the POSIX module lists its own file
# time, Windows lists "no time" (folders and the settings entry) or a zero time (files).
lines = []
for line in text[start:end].split("\n"):
    if "time=module-time" in line:
        plain = line.startswith("entry dir") or "attr=00000080" in line
        line = line.replace("time=module-time",
                            "time=no-time" if plain else "time=1601-01-01T00:00:00Z")
    lines.append(line)
sys.stdout.write("\n".join(lines) + "\n")' > "$here/cases/$case/expected"
cat "$here/cases/$case/expected"
