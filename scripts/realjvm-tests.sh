#!/usr/bin/env bash
# The real-JVM tier (tests/realjvm) for x64 and x86, one summary line per architecture:
#   real JVM x64: N passed, M failed
# Expects scripts/realjvm.sh to have run and the Wine prefix of scripts/wine-env.sh. Extra
# arguments go to pytest. Exit status 1 when a test of either architecture failed.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
status=0
summary=()
for arch in x64 x86; do
  if [ ! -f "build/avian-$arch/jvm.dll" ] || [ ! -f build/realjvm/classes.jar ]; then
    summary+=("real JVM $arch: skipped: needs build/avian-$arch/jvm.dll and build/realjvm/classes.jar (bash scripts/realjvm.sh; Avian's source in ../shared/realjvm or AVIAN_SOURCE)")
    continue
  fi
  if [ ! -f "build/$arch/windows/launcher.exe" ] || [ ! -f "build/$arch/tests/doubles/java_stub/java.exe" ]; then
    summary+=("real JVM $arch: skipped: needs build/$arch/windows/launcher.exe and its doubles (bash scripts/build.sh)")
    continue
  fi
  # Whether Wine runs programs of this architecture at all: the stub java.exe answers with the
  # exit code its configuration names.
  probe="$(mktemp -d)"
  cp "build/$arch/tests/doubles/java_stub/java.exe" "$probe/java.exe"
  printf 'exit=7\n' > "$probe/java_stub.cfg"
  timeout 120 wine "$probe/java.exe" -version >/dev/null 2>&1 </dev/null
  probed=$?
  rm -rf "$probe"
  if [ $probed != 7 ]; then
    summary+=("real JVM $arch: skipped: Wine here does not run $arch programs (the stub java.exe ended with $probed, not 7)")
    continue
  fi
  echo "== real JVM ($arch): tests/realjvm"
  xml="build/realjvm/results-$arch.xml"
  rm -f "$xml"
  REALJVM_ARCH=$arch LAUNCHER_EXE="$root/build/$arch/windows/launcher.exe" TEST_DOUBLES="$root/build/$arch/tests/doubles" \
    /usr/bin/python3 -m pytest -q -m realjvm -p no:cacheprovider --junitxml="$xml" tests/realjvm "$@" || status=1
  summary+=("$(/usr/bin/python3 - "$xml" "$arch" <<'PY'
import sys
import xml.etree.ElementTree as tree
path, arch = sys.argv[1:]
try:
    suite = tree.parse(path).getroot()
    suite = suite if suite.tag == "testsuite" else suite.find("testsuite")
    count = lambda name: int(suite.get(name, 0))
    failed = count("failures") + count("errors")
    passed = count("tests") - failed - count("skipped")
    skipped = f", {count('skipped')} skipped" if count("skipped") else ""
    print(f"real JVM {arch}: {passed} passed, {failed} failed{skipped}")
except (OSError, tree.ParseError):
    print(f"real JVM {arch}: 0 passed, 1 failed (no results from pytest)")
PY
)")
done
printf '%s\n' "${summary[@]}"
exit $status
