#!/usr/bin/env bash
# Prints how long a quiet install takes under Wine from process start to the Java program's main,
# the whole work flow included: integrity check, extraction, runtime search (or the untar of an
# included runtime), then the VM and main (the test VM). Three installers:
#   small    one 64 KiB jar
#   payload  the jar and a 50 MB data file (random bytes)
#   bundled  the jar and the runtime itself as "jre.tar.gz" in the payload (untar, load)
# For each: the wall time from spawning the process to main's first output line, and the phases
# by the native log's clock (medians of the runs).
# Usage: benchmarks/start_to_main_quiet.sh [runs]   (after scripts/build.sh; LAUNCHER_EXE, STOWPACK
# and TEST_DOUBLES override the build paths as for the end-to-end tests)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-10}"
launcher="${LAUNCHER_EXE:-$root/build/x64/windows/launcher.exe}"
stowpack="${STOWPACK:-$root/build/native/tools/stowpack/stowpack}"
doubles="${TEST_DOUBLES:-$root/build/x64/tests/doubles}"
source "$root/scripts/wine-env.sh"
work="$(mktemp -d /tmp/start-to-main-quiet.XXXXXX)"
trap 'rm -rf "$work"' EXIT

windows() { echo "Z:$(realpath "$1" | tr / '\\')"; }
mkdir -p "$work/rt/bin/server"
cp "$doubles/java_stub/java.exe" "$work/rt/bin/java.exe"
printf 'err=java version "11.0.2"\nexit=0\n' > "$work/rt/bin/java_stub.cfg"
cp "$doubles/test_vm/jvm.dll" "$work/rt/bin/server/jvm.dll"
tar -C "$work/rt" --format=ustar -czf "$work/jre.tar.gz" bin
printf 'main stdout main-reached\n' > "$work/script.txt"
head -c 65536 /dev/urandom > "$work/app.jar"
head -c 50000000 /dev/urandom > "$work/data.bin"

project() {  # name, search sequence, extra [[files]] entries
  cat > "$work/$1.toml" <<TOML
launcher = "$launcher"
download_site = "https://downloads.example.org/java"
[config]
application_name = "Bench"
launcher_type = 0
main_class = "com.example.Main"
jvm_search_sequence = '$2'
[[files]]
source = "$work/app.jar"
name = "app.jar"
$3
TOML
  "$stowpack" build "$work/$1.toml" -o "$work/$1.exe" >/dev/null
}
project small "A$(windows "$work/rt")" ""
project payload "A$(windows "$work/rt")" "[[files]]
source = \"$work/data.bin\"
name = \"data.bin\""
project bundled "A$(windows "$work/none")" "[[files]]
source = \"$work/jre.tar.gz\"
name = \"jre.tar.gz\""

temp_dir="$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp | head -1)"
export TEST_VM_SCRIPT="$(windows "$work/script.txt")"
unset STOWLINE_JAVA_HOME TALLOW_JAVA_HOME JAVA_HOME JDK_HOME
wine "$work/small.exe" -q >/dev/null 2>&1 || true   # warm-up: version cache, prefix services

/usr/bin/python3 - "$work" "$runs" "$temp_dir" <<'PY'
import glob, os, re, statistics, subprocess, sys, time
work, runs, temp = sys.argv[1], int(sys.argv[2]), sys.argv[3]
PHASES = [("integrity check", "Starting work", "checksums: "),
          ("extraction", "extracting files", "extracting files done"),
          ("runtime (search or untar + load)", "Current working dir: ", "Loading of JVM-DLL successful"),
          ("VM creation to main", "Creating JVM", "calling main")]

def clock(text, prefix, last=False):
    found = re.findall(r"^\[(\d+):(\d+)\] " + re.escape(prefix), text, re.MULTILINE)
    if not found:
        return None
    seconds, millis = found[-1] if last else found[0]
    return int(seconds) + int(millis) / 1000

def run(exe):
    for old in glob.glob(os.path.join(temp, "stw_nlog_*.log")):
        os.unlink(old)
    start = time.perf_counter()
    process = subprocess.Popen(["wine", exe, "-q"], env=dict(os.environ, STOWLINE_LOG="yes"),
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    reached = None
    for line in process.stdout:
        if b"main-reached" in line:
            reached = time.perf_counter() - start
            break
    process.stdout.read()
    if process.wait() != 0 or reached is None:
        sys.exit(f"{exe}: exit code {process.returncode}, main reached: {reached is not None}")
    text = open(glob.glob(os.path.join(temp, "stw_nlog_*.log"))[0], encoding="utf-8-sig").read()
    phases = []
    for _, begin, end in PHASES:
        a, b = clock(text, begin), clock(text, end, last=True)
        phases.append(None if a is None or b is None else b - a)
    return reached, clock(text, "calling main"), phases

print(f"runs: {runs} (medians; wall = spawn to main's first output line, log = the log's own clock)")
for name in ("small", "payload", "bundled"):
    exe = os.path.join(work, f"{name}.exe")
    size = os.path.getsize(exe) / 1e6
    results = [run(exe) for _ in range(runs)]
    wall = statistics.median(r[0] for r in results)
    logged = statistics.median(r[1] for r in results)
    print(f"{name:8} {size:6.1f} MB  wall {wall*1000:6.0f} ms   log first line to 'calling main' {logged*1000:6.0f} ms")
    for index, (label, _, _) in enumerate(PHASES):
        values = [r[2][index] for r in results if r[2][index] is not None]
        shown = f"{statistics.median(values)*1000:6.0f} ms" if values else "     -"
        print(f"           {label:34} {shown}")
PY
