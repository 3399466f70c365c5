#!/usr/bin/env bash
# Prints how long a quiet installer takes under Wine from process start to the Java program's main,
# with the test VM as runtime: the wall time from spawning the process to the first line main
# writes on standard output, the wall time of whole runs, and the log's own clock at
# "calling main" (measured from the log's first line). In the same run, interleaved, the start of
# an empty program (xor_copy copying nothing: spawn to its one output line), the floor that no
# launcher can go under; the launcher's time over it is what the launcher itself costs. Beside it the
# fair floor: empty_gui, a GUI program built like the launcher (subsystem, manifest, the imports
# every launcher has) that writes one line and exits.
# Usage: benchmarks/start_to_main.sh [runs]   (after scripts/build.sh; LAUNCHER_EXE, STOWPACK and
# TEST_DOUBLES override the build paths as for the end-to-end tests)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-20}"
launcher="${LAUNCHER_EXE:-$root/build/x64/windows/launcher.exe}"
stowpack="${STOWPACK:-$root/build/native/tools/stowpack/stowpack}"
doubles="${TEST_DOUBLES:-$root/build/x64/tests/doubles}"
source "$root/scripts/wine-env.sh"
work="$(mktemp -d)"
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
printf '#include <windows.h>\nCREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST "%s"\n' "$root/resources/launcher.manifest" \
  > "$work/empty_gui.rc"
x86_64-w64-mingw32-windres "$work/empty_gui.rc" -O coff -o "$work/empty_gui.res"
x86_64-w64-mingw32-gcc -O2 -s -mwindows -municode -o "$work/empty_gui.exe" "$root/benchmarks/empty_gui.c" \
  "$work/empty_gui.res" -ladvapi32 -luser32 -lgdi32

mkdir -p "$work/rt/bin/server"
cp "$doubles/java_stub/java.exe" "$work/rt/bin/java.exe"
printf 'err=java version "11.0.2"\nexit=0\n' > "$work/rt/bin/java_stub.cfg"
cp "$doubles/test_vm/jvm.dll" "$work/rt/bin/server/jvm.dll"
printf 'main stdout main-reached\n' > "$work/script.txt"
head -c 65536 /dev/urandom > "$work/app.jar"
cat > "$work/project.toml" <<TOML
launcher = "$launcher"
download_site = "https://downloads.example.org/java"
[config]
application_name = "Bench"
launcher_type = 0
product_kind = "i"
main_class = "com.example.Main"
vm_options = "-Xmx256m -Dbench=1"
[[files]]
source = "$work/app.jar"
name = "app.jar"
TOML
"$stowpack" build "$work/project.toml" -o "$work/bench.exe" >/dev/null
temp_dir="$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp | head -1)"
windows() { echo "Z:$(realpath "$1" | tr / '\\')"; }
export STOWLINE_JAVA_HOME="$(windows "$work/rt")" TEST_VM_SCRIPT="$(windows "$work/script.txt")"
wine "$work/bench.exe" -q >/dev/null 2>&1 || true   # warm-up: version cache, prefix services

/usr/bin/python3 - "$work/bench.exe" "$runs" "$temp_dir" "$doubles/xor_copy/xor_copy.exe" \
    "$work/empty_gui.exe" <<'PY'
import glob, os, re, statistics, subprocess, sys, time
exe, runs, temp, empty_program, empty_gui = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
to_main, whole, logged, empty_start, gui_start, first_gap = [], [], [], [], [], []
gui_work_start, lines_to_main = [], 0
def first_line(command, into):
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    process.stdout.readline()
    into.append(time.perf_counter() - start)
    process.wait()
for _ in range(runs):
    first_line(["wine", empty_program, exe, "0", "0", "-"], empty_start)
    first_line(["wine", empty_gui], gui_start)
    if lines_to_main:  # from the launcher's previous run
        first_line(["wine", empty_gui, "controls", f"lines:{lines_to_main}"], gui_work_start)
    for old in glob.glob(os.path.join(temp, "stw_nlog_*.log")):
        os.unlink(old)
    env = dict(os.environ, STOWLINE_LOG="yes")
    start = time.perf_counter()
    process = subprocess.Popen(["wine", exe, "-q"], env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    for line in process.stdout:
        if b"main-reached" in line:
            to_main.append(time.perf_counter() - start)
            break
    process.stdout.read()
    process.wait()
    whole.append(time.perf_counter() - start)
    logs = glob.glob(os.path.join(temp, "stw_nlog_*.log"))
    text = open(logs[0], encoding="utf-8-sig").read() if logs else ""
    match = re.search(r"\[(\d+):(\d+)\] calling main", text)
    if match:
        logged.append(int(match.group(1)) + int(match.group(2)) / 1000)
        lines_to_main = text[:match.start()].count("\n")
    clocks = [int(a) + int(b) / 1000 for a, b in re.findall(r"^\[(\d+):(\d+)\]", text, re.M)]
    if len(clocks) >= 3:
        first_gap.append(clocks[2] - clocks[1])
def ms(values):
    return (f"median {statistics.median(values)*1000:.0f} ms, min {min(values)*1000:.0f} ms, "
            f"max {max(values)*1000:.0f} ms") if values else "no data"
print(f"runs: {runs}")
print(f"process start to main (wall, main's first output line): {ms(to_main)}")
print(f"whole run (wall): {ms(whole)}")
print(f"log's first line to 'calling main' (log clock): {ms(logged)}")
print(f"log's second to third clocked line (DLL set-up to the executable's name): {ms(first_gap)}")
print(f"empty program, start to its output line (wall): {ms(empty_start)}")
print(f"empty GUI program built like the launcher, start to its output line (wall): {ms(gui_start)}")
print(f"empty GUI program that also loads the common controls and writes the {lines_to_main} log lines "
      f"up to 'calling main' (each line opening and closing the file), start to its output line (wall): "
      f"{ms(gui_work_start)}")
for name, floor in (("an empty program's start", empty_start), ("the empty GUI program's start", gui_start),
                    ("the empty GUI program with that work", gui_work_start)):
    if to_main and floor:
        over = statistics.median(to_main) - statistics.median(floor)
        print(f"start to main over {name}: {over*1000:.0f} ms "
              f"(ratio {statistics.median(to_main)/statistics.median(floor):.2f})")
PY
