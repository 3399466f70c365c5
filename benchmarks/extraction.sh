#!/usr/bin/env bash
# Prints how fast the launcher extracts a 100 MB payload file under Wine, against the least work
# that extraction can do: a plain read-xor-write copy of the same bytes (the xor_copy double).
#   launcher:  log clock from "extracting files" to "extracting files done" (no process start,
#              no integrity check: -nocheck), median of the runs
#   xor_copy:  the copier's own clock from opening to closing the files, with 1 MiB and with
#              6000-byte blocks (the launcher's former chunk size), median of the runs
# Usage: benchmarks/extraction.sh [runs] [megabytes]   (after scripts/build.sh)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-5}"
megabytes="${2:-100}"
launcher="${LAUNCHER_EXE:-$root/build/x64/windows/launcher.exe}"
stowpack="${STOWPACK:-$root/build/native/tools/stowpack/stowpack}"
doubles="${TEST_DOUBLES:-$root/build/x64/tests/doubles}"
source "$root/scripts/wine-env.sh"
work="$(mktemp -d /tmp/extraction-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/temp"
head -c "$((megabytes * 1024 * 1024))" /dev/urandom > "$work/payload.bin"
cat > "$work/project.toml" <<TOML
launcher = "$launcher"
download_site = "https://downloads.example.org/java"
[config]
application_name = "Bench"
launcher_type = 0
[[files]]
source = "$work/payload.bin"
name = "payload.bin"
TOML
"$stowpack" build "$work/project.toml" -o "$work/bench.exe" >/dev/null
/usr/bin/python3 - "$work" "$runs" "$doubles" <<'PY'
import glob, os, re, statistics, subprocess, sys, time
work, runs, doubles = sys.argv[1], int(sys.argv[2]), sys.argv[3]
def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")
exe, payload = os.path.join(work, "bench.exe"), os.path.join(work, "payload.bin")
size = os.path.getsize(payload)
data_offset = os.path.getsize(exe) - size  # the payload's only file ends the installer
runner = os.path.join(doubles, "env_runner", "env_runner.exe")
copier = os.path.join(doubles, "xor_copy", "xor_copy.exe")
temp = os.path.join(work, "temp")

def launcher_run():
    for old in glob.glob(os.path.join(temp, "*")):
        subprocess.run(["rm", "-rf", old])
    start = time.perf_counter()
    subprocess.run(["wine", runner, f"TMP={win(temp)}", f"TEMP={win(temp)}", "STOWLINE_LOG=yes", "--", win(exe),
                    "-q", "-nocheck"], capture_output=True)
    wall = time.perf_counter() - start
    text = open(glob.glob(os.path.join(temp, "stw_nlog_*.log"))[0], encoding="utf-8-sig").read()
    clock = lambda m: int(m.group(1)) + int(m.group(2)) / 1000
    begin = re.search(r"\[(\d+):(\d+)\] extracting files\n", text)
    end = re.search(r"\[(\d+):(\d+)\] extracting files done", text)
    if not begin or not end:
        sys.exit("the log has no extraction: " + text[-500:])
    return clock(end) - clock(begin), wall

def copier_run(length, block):
    target = os.path.join(work, "copy.bin")
    result = subprocess.run(["wine", copier, win(exe), str(data_offset), str(length), win(target), str(block)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("xor_copy failed")
    elapsed = float(result.stdout.strip()) / 1000
    if length == size and open(target, "rb").read() != open(payload, "rb").read():
        sys.exit("xor_copy wrote different bytes")
    os.unlink(target)
    return elapsed

launcher_run(); copier_run(size, 1 << 20)  # warm-up: page cache, Wine's DLLs
results = [launcher_run() for _ in range(runs)]
extraction = statistics.median(r[0] for r in results)
whole = statistics.median(r[1] for r in results)
big = statistics.median(copier_run(size, 1 << 20) for _ in range(runs))
small = statistics.median(copier_run(size, 6000) for _ in range(runs))
mb = size / 1e6
print(f"payload: {mb:.0f} MB, runs: {runs}")
print(f"launcher extraction (log clock):     {extraction*1000:7.0f} ms  ({mb/extraction:6.0f} MB/s)")
print(f"launcher whole run, wall:            {whole*1000:7.0f} ms  (includes start-up and removing the directory)")
print(f"xor_copy 1 MiB blocks:               {big*1000:7.0f} ms  ({mb/big:6.0f} MB/s)")
print(f"xor_copy 6000-byte blocks:           {small*1000:7.0f} ms  ({mb/small:6.0f} MB/s)")
print(f"ratio launcher extraction / xor_copy 1 MiB: {extraction/big:.2f}")
PY
