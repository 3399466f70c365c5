#!/usr/bin/env bash
# Runs again, on a private Xvfb display, the Windows tests that the headless run skipped because
# they need one (windows, dialogs, window messages), for the tree of the architecture given (x64
# when none). The headless run (ctest in build/<arch>) leaves its results in
# build/<arch>/tests/wine/wine_tests_results.xml; every test skipped there with a message about a
# display is run here, and must pass. The results go to display_results.xml beside them.
#
#   bash scripts/display-tests.sh [x64|x86]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
arch="${1:-x64}"
tests="$root/build/$arch/tests/wine"
# Prints the tests of a result file: "skipped-for-display" names joined by ":", or with --count the
# line "N passed, N failed, N skipped".
read_results() {
  /usr/bin/python3 - "$@" <<'PY'
import sys
import xml.etree.ElementTree as tree
cases = tree.parse(sys.argv[1]).getroot().iter("testcase")
if len(sys.argv) > 2:
    counts = {"passed": 0, "failed": 0, "skipped": 0}
    for case in cases:
        if case.find("failure") is not None:
            counts["failed"] += 1
        elif case.get("result") == "skipped":
            counts["skipped"] += 1
        else:
            counts["passed"] += 1
    print("{passed} passed, {failed} failed, {skipped} skipped".format(**counts))
    sys.exit(1 if counts["failed"] or counts["skipped"] else 0)
names = [f'{case.get("classname")}.{case.get("name")}' for case in cases
         if case.get("result") == "skipped" and "display" in (case.find("skipped").get("message", "")
                                                               if case.find("skipped") is not None else "")]
print(":".join(names))
PY
}
filter="$(read_results "$tests/wine_tests_results.xml")"
if [ -z "$filter" ]; then
  echo "no test waits for a display"
  echo '<testsuites tests="0"/>' > "$tests/display_results.xml"
  exit 0
fi
source "$root/scripts/xvfb-wine.sh"
trap xvfb_wine_stop EXIT
cd "$tests"
echo "tests that need a display: ${filter//:/ }"
wine ./wine_tests.exe --gtest_filter="$filter" --gtest_output=xml:display_results.xml > display_output.txt 2>&1 || true
tail -n 30 display_output.txt
echo -n "display: "
read_results display_results.xml --count
