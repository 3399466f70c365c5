#!/usr/bin/env bash
# Prints the demo installer's quiet run with the real VM (Avian) beside the same with the test VM:
# the log's own clock at "calling main" (start to main, measured from the log's first line), at
# "main returned" (the Java side's main: real Java code with Avian, a recorded call with the test
# VM), and the wall time of the whole quiet install (extraction, untar of the bundled jre.tar.gz,
# version probe, VM creation, main, VM destruction). Runs are interleaved.
# Usage: benchmarks/realjvm.sh [runs]   (after scripts/build.sh and scripts/realjvm.sh x64)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-5}"
doubles="$root/build/x64/tests/doubles"
stowpack="$root/build/native/tools/stowpack/stowpack"
[ -f "$root/build/avian-x64/jvm.dll" ] && [ -f "$root/build/realjvm/classes.jar" ] ||
  { echo "needs build/avian-x64/jvm.dll and build/realjvm/classes.jar: bash scripts/realjvm.sh x64"; exit 1; }
source "$root/scripts/wine-env.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for vm in avian test; do
  mkdir -p "$work/$vm/runtime/bin/server"
  cp "$root"/examples/demo/*.* "$work/$vm/"
  cp "$doubles/java_stub/java.exe" "$work/$vm/runtime/bin/java.exe"
  printf 'err=java version "1.8.0"\nexit=0\n' > "$work/$vm/runtime/bin/java_stub.cfg"
  if [ $vm = avian ]; then dll="$root/build/avian-x64/jvm.dll"; else dll="$doubles/test_vm/jvm.dll"; fi
  cp "$dll" "$work/$vm/runtime/bin/server/jvm.dll"
  cp "$root/build/realjvm/classes.jar" "$work/$vm/demo.jar"
  tar -C "$work/$vm/runtime" --format=ustar --owner=0 --group=0 -czf "$work/$vm/jre.tar.gz" bin
  printf '\n[[files]]\nsource = "demo.jar"\nname = "demo.jar"\n[[files]]\nsource = "jre.tar.gz"\nname = "jre.tar.gz"\n' \
    >> "$work/$vm/demo.toml"
  "$stowpack" build "$work/$vm/demo.toml" -o "$work/$vm/demo.exe" --launcher "$root/build/x64/windows/launcher.exe" >/dev/null
done
temp_dir="$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp | head -1)"
wine "$work/test/demo.exe" -q >/dev/null 2>&1 || true   # warm-up: prefix services

/usr/bin/python3 - "$work" "$runs" "$temp_dir" <<'PY'
import glob, os, re, shutil, statistics, subprocess, sys, time
work, runs, temp = sys.argv[1], int(sys.argv[2]), sys.argv[3]
figures = {vm: {"main": [], "returned": [], "whole": []} for vm in ("avian", "test")}
def clock(text, line):
    match = re.search(r"\[(\d+):(\d+)\] " + line, text)
    return int(match.group(1)) + int(match.group(2)) / 1000 if match else None
for _ in range(runs):
    for vm in ("avian", "test"):
        for old in glob.glob(os.path.join(temp, "stw_nlog_*.log")) + glob.glob(os.path.join(temp, "tlw*")):
            shutil.rmtree(old, ignore_errors=True) if os.path.isdir(old) else os.unlink(old)
        start = time.perf_counter()
        subprocess.run(["wine", os.path.join(work, vm, "demo.exe"), "-q"], env=dict(os.environ, STOWLINE_LOG="yes"),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        figures[vm]["whole"].append(time.perf_counter() - start)
        logs = glob.glob(os.path.join(temp, "stw_nlog_*.log"))
        text = open(logs[0], encoding="utf-8-sig").read() if logs else ""
        for key, line in (("main", "calling main"), ("returned", "main returned")):
            value = clock(text, line)
            if value is not None:
                figures[vm][key].append(value)
def ms(values):
    return f"median {statistics.median(values)*1000:6.0f} ms (min {min(values)*1000:.0f}, max {max(values)*1000:.0f})" \
        if values else "no data"
print(f"runs: {runs} each, interleaved")
for vm, name in (("avian", "real VM (Avian)"), ("test", "test VM        ")):
    print(f"{name}  start to main (log clock): {ms(figures[vm]['main'])}")
    print(f"{name}  main returned (log clock): {ms(figures[vm]['returned'])}")
    print(f"{name}  whole quiet install (wall): {ms(figures[vm]['whole'])}")
PY
