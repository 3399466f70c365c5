#!/usr/bin/env bash
# Prints how long one launcher run takes under Wine from process start to "Init done": the wall
# time of whole runs of a minimal installer (no payload files, no runtime: after start-up its
# quiet work flow finds no runtime and ends with exit code 83), and the log's own elapsed time at
# "Init done".
# Usage: benchmarks/startup.sh [runs]   (after scripts/build.sh)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs="${1:-20}"
source "$root/scripts/wine-env.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat > "$work/project.toml" <<TOML
launcher = "$root/build/x64/windows/launcher.exe"
download_site = "https://downloads.example.org/java"
[config]
application_name = "Bench"
launcher_type = 0
TOML
"$root/build/native/tools/stowpack/stowpack" build "$work/project.toml" -o "$work/bench.exe" >/dev/null
temp_dir="$WINEPREFIX/drive_c/users/$(whoami)/Temp"
wine "$work/bench.exe" -q >/dev/null 2>&1 || true   # warm-up
/usr/bin/python3 - "$work/bench.exe" "$runs" "$temp_dir" <<'PY'
import glob, os, re, statistics, subprocess, sys, time
exe, runs, temp = sys.argv[1], int(sys.argv[2]), sys.argv[3]
walls, logged = [], []
for _ in range(runs):
    for old in glob.glob(os.path.join(temp, "stw_nlog_*.log")):
        os.unlink(old)
    env = dict(os.environ, STOWLINE_LOG="yes")
    start = time.perf_counter()
    subprocess.run(["wine", exe, "-q"], env=env, capture_output=True)
    walls.append(time.perf_counter() - start)
    text = open(glob.glob(os.path.join(temp, "stw_nlog_*.log"))[0], encoding="utf-8-sig").read()
    match = re.search(r"\[(\d+):(\d+)\] Init done", text)
    if match:
        logged.append(int(match.group(1)) + int(match.group(2)) / 1000)
print(f"runs: {runs}")
print(f"whole run under wine, wall: median {statistics.median(walls)*1000:.0f} ms, "
      f"min {min(walls)*1000:.0f} ms, max {max(walls)*1000:.0f} ms")
if logged:
    print(f"first log line to 'Init done' (log clock): median {statistics.median(logged)*1000:.0f} ms")
PY
