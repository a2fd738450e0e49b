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
(cd "$root/build/linux" && ctest --output-on-failure -j 2 --output-junit "$root/build/linux/results.xml") || status=1
echo "== fuzzing the matching library (bounded)"
cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DFL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang >/dev/null
cmake --build "$root/build/fuzz"
mkdir -p "$root/build/fuzz/corpus"
"$root/build/fuzz/regex_fuzz" -max_total_time="${FL_FUZZ_SECONDS:-60}" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$root/build/fuzz/" \
  "$root/build/fuzz/corpus" "$root/tests/fuzz/corpus" 2>&1 | tail -3 || status=1
echo "== Windows tests"
# A virtual display for the host program's window and for dialogs.
(cd "$root/build/win32" && xvfb-run -a ctest --output-on-failure --output-junit "$root/build/win32/results.xml") || status=1
# One closing line over both runs.
python3 - "$root/build/linux/results.xml" "$root/build/win32/results.xml" <<'PY'
import sys, xml.etree.ElementTree as ET
passed = failed = skipped = 0
for path in sys.argv[1:]:
    try:
        cases = ET.parse(path).getroot().iter("testcase")
    except (OSError, ET.ParseError):
        continue
    for case in cases:
        status = case.get("status", "")
        if status == "run":
            passed += 1
        elif status in ("notrun", "disabled") or case.find("skipped") is not None:
            skipped += 1
        else:
            failed += 1
print(f"{passed} passed, {failed} failed, {skipped} skipped")
PY
exit $status
