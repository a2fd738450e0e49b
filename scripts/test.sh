#!/usr/bin/env bash
# Sets up what the tests need, builds every platform and runs every test: natively with
# sanitizers, the bounded fuzz run, then the Windows suite on each Windows build this
# machine can run: the 64-bit build under wine64 always, the 32-bit build under Wine
# wherever the kernel runs 32-bit programs. What did not run, and why, is said at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
echo "== installing packages (scripts/setup.sh)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"  # names each of its four builds as it starts
source "$root/scripts/wine-arches.sh"
status=0
results=("$root/build/linux/results.xml")
not_run=()
echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
(cd "$root/build/linux" && ctest --output-on-failure -j 2 --output-junit "$root/build/linux/results.xml") || status=1
echo "== building build/fuzz (clang, libFuzzer)"
cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DFL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang >/dev/null
cmake --build "$root/build/fuzz"
echo "== fuzzing the matching library (bounded)"
mkdir -p "$root/build/fuzz/corpus"
"$root/build/fuzz/regex_fuzz" -max_total_time="${FL_FUZZ_SECONDS:-60}" -max_len=4096 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$root/build/fuzz/" \
  "$root/build/fuzz/corpus" "$root/tests/fuzz/corpus" 2>&1 | tail -3 || status=1
echo "== fuzzing template expansion and the browsing engine (bounded)"
mkdir -p "$root/build/fuzz/corpus-template" "$root/build/fuzz/corpus-browse"
"$root/build/fuzz/template_fuzz" -max_total_time="${FL_FUZZ_SECONDS:-60}" -max_len=2048 \
  -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$root/build/fuzz/template-" \
  "$root/build/fuzz/corpus-template" "$root/tests/fuzz/corpus-template" 2>&1 | tail -3 || status=1
"$root/build/fuzz/browse_fuzz" -max_total_time="${FL_FUZZ_SECONDS:-60}" -max_len=4096 \
  -timeout=120 -rss_limit_mb=3072 -print_final_stats=1 -artifact_prefix="$root/build/fuzz/browse-" \
  "$root/build/fuzz/corpus-browse" "$root/tests/fuzz/corpus-browse" 2>&1 | tail -3 || status=1

# One Windows suite: the tests of one build, under Wine with that build's own prefix, on a
# virtual display for the host program's window and for dialogs.
windows_suite() {
  local dir=$1
  echo "== Windows tests: $dir"
  rm -f "$root/build/$dir/results.xml"
  (cd "$root/build/$dir" && FL_WINE_ROOT="$root/build/$dir/wine" xvfb-run -a \
     ctest --output-on-failure --output-junit "$root/build/$dir/results.xml") || status=1
  results+=("$root/build/$dir/results.xml")
  # A suite that left no results did not run at all: that is a failure, not a skip.
  [ -s "$root/build/$dir/results.xml" ] || { echo "FAIL: the $dir suite produced no results"; status=1; }
}
windows_suite win64
if [ "$win32_runs" = 1 ]; then
  windows_suite win32
else
  count=$(cd "$root/build/win32" && ctest -N | awk '/^Total Tests:/ {print $3}')
  not_run+=("32-bit Windows tests not run ($count tests): $win32_why")
fi

# The closing lines: what did not run and why, then one count over every suite. A test
# that reported itself skipped, or a whole suite not run, counts as skipped.
python3 - "${#not_run[@]}" "${not_run[@]}" "${results[@]}" <<'PY' || status=1
import sys, xml.etree.ElementTree as ET
n = int(sys.argv[1])
notes, paths = sys.argv[2:2 + n], sys.argv[2 + n:]
passed = failed = skipped = 0
for note in notes:
    skipped += int(note.split("(")[1].split(" ")[0])
for path in paths:
    try:
        cases = list(ET.parse(path).getroot().iter("testcase"))
    except (OSError, ET.ParseError):
        failed += 1
        print(f"FAIL: no test results in {path}")
        continue
    for case in cases:
        status = case.get("status", "")
        if status == "run":
            passed += 1
        elif status in ("notrun", "disabled") or case.find("skipped") is not None:
            skipped += 1
            out = case.find("system-out")
            why = (out.text or "").strip().splitlines()[-1:] if out is not None else []
            print(f"skipped: {case.get('name')} ({path.split('/')[-2]})" +
                  (f": {why[0]}" if why else ""))
        else:
            failed += 1
for note in notes:
    print(note)
print(f"{passed} passed, {failed} failed, {skipped} skipped")
sys.exit(1 if failed else 0)
PY
exit $status
