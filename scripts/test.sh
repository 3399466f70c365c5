#!/usr/bin/env bash
# Installs prerequisites, builds native, sanitizer, x64 and x86 trees and runs every test:
# native unit tests (plain and with ASan/UBSan), the x64 Windows tests under Wine, and the
# end-to-end tests that pack installers and run them. x86 tests are compiled, not run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh
bash scripts/build.sh --sanitize
echo "== native unit tests"
ctest --test-dir build/native --output-on-failure
echo "== native unit tests with AddressSanitizer and UndefinedBehaviorSanitizer"
ctest --test-dir build/asan --output-on-failure
echo "== fuzz targets, a short run each (a parser regression fails the build)"
bash scripts/fuzz.sh 10
source scripts/wine-env.sh
trap wine_stop EXIT
echo "== Windows tests under Wine (x64)"
ctest --test-dir build/x64 --output-on-failure
echo "== Windows tests that need a display, under Xvfb (x64)"
bash scripts/display-tests.sh
echo "== end-to-end tests under Wine (x64)"
/usr/bin/python3 -m pytest -q tests/e2e "$@"
echo "== real JVM (Avian, built from ../shared/realjvm): tests/realjvm for x64 and x86"
bash scripts/realjvm.sh
bash scripts/realjvm-tests.sh
