#!/usr/bin/env bash
# Shortcut creations per second through ShellLink.createWide0, called by the test VM's script on
# the Java main thread of a quiet installer under Wine (JNI dispatch, COM link object, .lnk file
# written). Times the stretch between two marker lines the script prints around the calls, so the
# process start is not counted. Prints figures; asserts nothing.
# Usage: benchmarks/shortcut_natives.sh [calls per run] [runs]   (after scripts/build.sh;
# LAUNCHER_EXE, STOWPACK and TEST_DOUBLES override the build paths as for the end-to-end tests)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
calls="${1:-500}"
runs="${2:-3}"
launcher="${LAUNCHER_EXE:-$root/build/x64/windows/launcher.exe}"
stowpack="${STOWPACK:-$root/build/native/tools/stowpack/stowpack}"
doubles="${TEST_DOUBLES:-$root/build/x64/tests/doubles}"
source "$root/scripts/wine-env.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/rt/bin/server" "$work/links"
cp "$doubles/java_stub/java.exe" "$work/rt/bin/java.exe"
printf 'err=java version "11.0.2"\nexit=0\n' > "$work/rt/bin/java_stub.cfg"
cp "$doubles/test_vm/jvm.dll" "$work/rt/bin/server/jvm.dll"
windows() { echo "Z:$(realpath "$1" | tr / '\\')"; }
links="$(windows "$work/links")"
class=com/stowline/runtime/installer/platform/win32/ShellLink
signature='(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZLjava/lang/String;I)Z'
{
  echo "main call $class initialize0 ()Z"
  echo "main stdout calls-begin"
  for i in $(seq 1 "$calls"); do
    echo "main call $class createWide0 $signature $links\\link$i.lnk C:\\windows\\notepad.exe $links null -x$i false bench 1"
  done
  echo "main stdout calls-end"
} > "$work/script.txt"
cat > "$work/project.toml" <<TOML
launcher = "$launcher"
download_site = "https://downloads.example.org/java"
[config]
application_name = "Bench"
launcher_type = 0
product_kind = "i"
main_class = "com.example.Main"
TOML
"$stowpack" build "$work/project.toml" -o "$work/bench.exe" >/dev/null
export STOWLINE_JAVA_HOME="$(windows "$work/rt")" TEST_VM_SCRIPT="$(windows "$work/script.txt")"

/usr/bin/python3 - "$work/bench.exe" "$calls" "$runs" "$work/links" <<'PY'
import glob, os, statistics, subprocess, sys, time
exe, calls, runs, links = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
rates = []
for _ in range(runs):
    for old in glob.glob(os.path.join(links, "*.lnk")):
        os.unlink(old)
    process = subprocess.Popen(["wine", exe, "-q"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    begin = end = None
    for line in process.stdout:
        if b"calls-begin" in line:
            begin = time.perf_counter()
        elif b"calls-end" in line:
            end = time.perf_counter()
            break
    process.stdout.read()
    process.wait()
    made = len(glob.glob(os.path.join(links, "*.lnk")))
    if begin is None or end is None or made != calls:
        print(f"run failed: {made} of {calls} shortcuts written")
        continue
    rates.append(calls / (end - begin))
print(f"calls per run: {calls}, runs: {len(rates)} of {runs}")
if rates:
    print(f"shortcuts per second through createWide0: median {statistics.median(rates):.0f}, "
          f"min {min(rates):.0f}, max {max(rates):.0f}")
PY
