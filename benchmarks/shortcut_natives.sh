#!/usr/bin/env bash
# Shortcut creations per second through ShellLink.createWide0 under Wine, called by the test VM's
# script through RegisterNatives binding (native_host.exe: the test VM and the ShellLink natives,
# without the launcher's start-up). Each call converts the Java strings, makes the COM link object
# and writes a .lnk file. Times the stretch between two marker lines the script prints around the
# calls, so the process start is not counted. In the same run, the same shortcuts are written
# straight through the shell's link object in C++ (native_host --link-baseline), and the ratio
# shows what the natives add. Prints figures; asserts nothing.
# Usage: benchmarks/shortcut_natives.sh [calls per run] [runs]   (after scripts/build.sh;
# TEST_DOUBLES overrides the doubles' build path as for the end-to-end tests)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
calls="${1:-500}"
runs="${2:-3}"
doubles="${TEST_DOUBLES:-$root/build/x64/tests/doubles}"
source "$root/scripts/wine-env.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/links"
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
export TEST_VM_SCRIPT="$(windows "$work/script.txt")"
host=("$doubles/native_host/native_host.exe" "$(windows "$doubles/test_vm/jvm.dll")" "$class")

/usr/bin/python3 - "$calls" "$runs" "$work/links" "${host[@]}" <<'PY'
import glob, os, statistics, subprocess, sys, time
calls, runs, links, host = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4:]
rates, baselines = [], []
for _ in range(runs):
    for old in glob.glob(os.path.join(links, "*.lnk")):
        os.unlink(old)
    process = subprocess.Popen(["wine", *host], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
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
    for old in glob.glob(os.path.join(links, "*.lnk")):
        os.unlink(old)
    directory = "Z:" + os.path.realpath(links).replace("/", "\\")
    baseline = subprocess.run(["wine", host[0], "--link-baseline", str(calls), directory], capture_output=True,
                              text=True).stdout.split()
    if len(baseline) == 2 and baseline[0] == "baseline":
        baselines.append(calls / float(baseline[1]))
def figures(values):
    return f"median {statistics.median(values):.1f}, min {min(values):.1f}, max {max(values):.1f}"
print(f"calls per run: {calls}, runs: {len(rates)} of {runs}")
if rates:
    print(f"shortcuts per second through createWide0 (JNI, natives, COM): {figures(rates)}")
if baselines:
    print(f"shortcuts per second straight through COM in C++ (same steps): {figures(baselines)}")
if rates and baselines:
    print(f"ratio natives / plain COM (medians): {statistics.median(rates) / statistics.median(baselines):.2f}")
PY
