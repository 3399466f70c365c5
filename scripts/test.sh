#!/usr/bin/env bash
# Installs prerequisites, builds native, sanitizer, x64 and x86 trees and runs every test tier:
# native unit tests (plain and with ASan/UBSan), the fuzz targets, and for x64 and for x86 the core
# and Windows tests under Wine, the Windows tests that need a display, and the end-to-end tests
# that pack installers and run them (the two architectures' end-to-end suites side by side, each in
# its own Wine prefix). Every tier runs and ends with one line "<tier>: N passed, M failed"
# (scripts/tier_counts.py); the lines are repeated at the end, and the script fails when any tier
# failed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/install-deps.sh
bash scripts/build.sh --sanitize

summary=()
failed=0
# tier NAME RESULT-FILES COMMAND...: runs the command (RESULT-FILES is a ":"-separated list of the
# JUnit XML files it writes) and prints the tier's line.
tier() {
  local name="$1" files=() status=0
  IFS=: read -ra files <<< "$2"
  shift 2
  rm -f "${files[@]}"
  "$@" || status=$?
  tier_line "$name" "$status" "${files[@]}"
}
tier_line() {  # name, exit status, result files...
  local line
  line="$(/usr/bin/python3 scripts/tier_counts.py "$@")" || failed=1
  echo "$line"
  summary+=("$line")
}
results() {  # build tree: the result files of its core tier
  local list="$1/tests/core/core_tests_results.xml"
  [[ "$(ctest --test-dir "$1" -N)" == *stowpack_tests* ]] && list+=":$1/tests/tools/stowpack_tests_results.xml"
  echo "$list"
}

echo "== native unit tests"
tier "native" "$(results build/native)" ctest --test-dir build/native --output-on-failure
echo "== native unit tests with AddressSanitizer and UndefinedBehaviorSanitizer"
tier "native asan" "$(results build/asan)" ctest --test-dir build/asan --output-on-failure
echo "== fuzz targets, a short run each (a parser regression fails the build)"
fuzz_status=0
bash scripts/fuzz.sh 10 | tee build/fuzz-summary.txt || fuzz_status=$?
line="fuzz: $(grep -c ' ok$' build/fuzz-summary.txt || true) passed, $(grep -c 'FAULT' build/fuzz-summary.txt || true) failed"
[ "$fuzz_status" = 0 ] || { failed=1; line+=" (status $fuzz_status)"; }
echo "$line"
summary+=("$line")

source scripts/wine-env.sh
trap wine_stop EXIT
# The x86 end-to-end suite runs beside the x64 tiers, in its own prefix (its own server, temp
# directory and registry); its output is shown when it ends.
e2e() {  # arch, pytest arguments...: the end-to-end suite against that tree's launcher and doubles
  local arch="$1"
  shift
  rm -f "build/e2e-$arch.xml"
  LAUNCHER_EXE="$root/build/$arch/windows/launcher.exe" TEST_DOUBLES="$root/build/$arch/tests/doubles" \
    /usr/bin/python3 -m pytest -q -p no:cacheprovider --basetemp="build/e2e-$arch" --junitxml="build/e2e-$arch.xml" \
    tests/e2e "$@"
}
# A machine that cannot execute 32-bit code (scripts/wine-env.sh sets LAUNCHER_NO_32BIT) runs no
# x86 tier: each says so in its line, which does not fail the script.
not_run() {  # tier
  local line="$1: 0 passed, 0 failed (not run: this machine cannot execute 32-bit code)"
  echo "$line"
  summary+=("$line")
}
archs=(x64 x86)
[ -n "${LAUNCHER_NO_32BIT:-}" ] && archs=(x64)
[ -z "${LAUNCHER_NO_32BIT:-}" ] && (
  export WINEPREFIX_OVERRIDE="$root/build/wineprefix-x86"
  source scripts/wine-env.sh
  trap wine_stop EXIT
  status=0
  e2e x86 "$@" > build/e2e-x86.log 2>&1 || status=$?
  echo "$status" > build/e2e-x86.status
) &
x86_e2e=$!  # unused when no x86 tier runs

for arch in "${archs[@]}"; do
  echo "== core and Windows tests under Wine ($arch)"
  tier "$arch core" "$(results build/$arch)" ctest --test-dir "build/$arch" --output-on-failure -E wine_tests
  tier "$arch windows" "build/$arch/tests/wine/wine_tests_results.xml" \
    ctest --test-dir "build/$arch" --output-on-failure -R wine_tests
  echo "== Windows tests that need a display, under Xvfb ($arch)"
  tier "$arch display" "build/$arch/tests/wine/display_results.xml" bash scripts/display-tests.sh "$arch"
done
echo "== end-to-end tests under Wine (x64)"
tier "x64 end-to-end" build/e2e-x64.xml e2e x64 "$@"
if [ -n "${LAUNCHER_NO_32BIT:-}" ]; then
  for name in "x86 core" "x86 windows" "x86 display" "x86 end-to-end"; do not_run "$name"; done
else
  echo "== end-to-end tests under Wine (x86), run beside the tiers above"
  wait "$x86_e2e" || true
  tail -n 40 build/e2e-x86.log
  tier_line "x86 end-to-end" "$(cat build/e2e-x86.status 2>/dev/null || echo 1)" build/e2e-x86.xml
fi

echo "== real JVM (Avian, built from ../shared/realjvm or AVIAN_SOURCE): tests/realjvm"
realjvm() {  # arch: the real-JVM tier against that tree's launcher and doubles
  REALJVM_ARCH="$1" LAUNCHER_EXE="$root/build/$1/windows/launcher.exe" TEST_DOUBLES="$root/build/$1/tests/doubles" \
    /usr/bin/python3 -m pytest -q -m realjvm -p no:cacheprovider --basetemp="build/realjvm-$1" \
    --junitxml="build/realjvm-$1.xml" tests/realjvm
}
bash scripts/realjvm.sh "${archs[@]}" || failed=1
for arch in "${archs[@]}"; do
  if [ -f "build/avian-$arch/jvm.dll" ] && [ -f build/realjvm/classes.jar ]; then
    tier "real JVM $arch" "build/realjvm-$arch.xml" realjvm "$arch"
  else
    line="real JVM $arch: 0 passed, 0 failed (not run: needs Avian's source in ../shared/realjvm or AVIAN_SOURCE)"
    echo "$line"
    summary+=("$line")
  fi
done
[ -n "${LAUNCHER_NO_32BIT:-}" ] && not_run "real JVM x86"

echo "== tiers"
printf '%s\n' "${summary[@]}"
exit $failed
