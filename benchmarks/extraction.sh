#!/usr/bin/env bash
# Prints how fast the launcher checks and extracts a 100 MB payload file under Wine, against the
# least work that extraction can do: a plain read-xor-write copy of the same bytes (the xor_copy
# double), both measured in the same run.
#   verify + extract:  log clock from "starting at" (the integrity check opens the file) to
#                      "extracting files done", against xor_copy's own clock from opening to
#                      closing its files (1 MiB blocks)
#   process wall:      each program's whole run as a process, minus the same program's run on
#                      an empty payload, so Wine's start-up and the installer's other steps,
#                      which do not grow with the payload, cancel out. The launcher's run also
#                      deletes the extracted file before it ends (Wine takes 20-90 ms for a
#                      fresh 100 MB file here, Linux alone 8 ms), so the like-for-like copy is
#                      xor_copy deleting its output before it ends too
#   extract only:      the same with -nocheck, and xor_copy with 6000-byte blocks for reference
#   floor:             a check that must read every byte before the first is extracted costs at
#                      least a plain read of the bytes (xor_copy without writing), so no
#                      check-then-extract can go below (read + copy) / copy on this machine
# Medians of the runs. Usage: benchmarks/extraction.sh [runs] [megabytes]   (after scripts/build.sh)
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
: > "$work/empty.bin"
sed "s|$work/payload.bin|$work/empty.bin|" "$work/project.toml" > "$work/empty.toml"
"$stowpack" build "$work/empty.toml" -o "$work/empty.exe" >/dev/null
/usr/bin/python3 - "$work" "$runs" "$doubles" <<'PY'
import glob, os, re, statistics, subprocess, sys, time
work, runs, doubles = sys.argv[1], int(sys.argv[2]), sys.argv[3]
def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")
exe, empty, payload = (os.path.join(work, name) for name in ("bench.exe", "empty.exe", "payload.bin"))
size = os.path.getsize(payload)
data_offset = os.path.getsize(exe) - size  # the payload's only file ends the installer
runner = os.path.join(doubles, "env_runner", "env_runner.exe")
copier = os.path.join(doubles, "xor_copy", "xor_copy.exe")
temp = os.path.join(work, "temp")
clock = lambda m: int(m.group(1)) + int(m.group(2)) / 1000

def launcher_run(installer, *switches):
    """(log clock of check + extraction, log clock of extraction alone, process wall)"""
    for old in glob.glob(os.path.join(temp, "*")):
        subprocess.run(["rm", "-rf", old])
    start = time.perf_counter()
    subprocess.run(["wine", runner, f"TMP={win(temp)}", f"TEMP={win(temp)}", "STOWLINE_LOG=yes", "--",
                    win(installer), "-q", *switches], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # (not captured: the clean-up run the launcher leaves behind would hold the pipes open)
    wall = time.perf_counter() - start
    text = open(glob.glob(os.path.join(temp, "stw_nlog_*.log"))[0], encoding="utf-8-sig").read()
    opened = re.search(r"\[(\d+):(\d+)\] starting at", text)
    checked = re.search(r"\[(\d+):(\d+)\] checksums:", text)
    begin = re.search(r"\[(\d+):(\d+)\] extracting files\n", text)
    end = re.search(r"\[(\d+):(\d+)\] extracting files done", text)
    if not begin or not end:
        sys.exit("the log has no extraction: " + text[-500:])
    check = clock(checked) - clock(opened) if checked else 0.0
    return clock(end) - clock(opened or begin), clock(end) - clock(begin), wall, check

def copier_run(length, block, target=os.path.join(work, "copy.bin"), delete=False):
    """(copier's own clock, process wall), and with delete its own clock of the deletion"""
    start = time.perf_counter()
    result = subprocess.run(["wine", copier, win(exe), str(data_offset), str(length), target if target == "-" else win(target),
                             str(block), *(["delete"] if delete else [])], capture_output=True, text=True)
    wall = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit("xor_copy failed")
    figures = [float(figure) / 1000 for figure in result.stdout.split()]
    copied = figures[0]
    if delete:
        return copied, wall, figures[1]
    if target == "-":
        return copied, wall
    if length == size and open(target, "rb").read() != open(payload, "rb").read():
        sys.exit("xor_copy wrote different bytes")
    os.unlink(target)
    return copied, wall

median = lambda values: statistics.median(values)
launcher_run(exe); copier_run(size, 1 << 20)  # warm-up: page cache, Wine's DLLs
checked, plain, launcher_empty, copies, copies_empty, small, reads = [], [], [], [], [], [], []
deleting, deleting_empty = [], []
for _ in range(runs):  # interleaved, so a change in the machine's load touches every series alike
    checked.append(launcher_run(exe))
    launcher_empty.append(launcher_run(empty)[2])
    plain.append(launcher_run(exe, "-nocheck"))
    copies.append(copier_run(size, 1 << 20))
    copies_empty.append(copier_run(0, 1 << 20)[1])
    small.append(copier_run(size, 6000)[0])
    reads.append(copier_run(size, 1 << 20, "-")[0])
    deleting.append(copier_run(size, 1 << 20, delete=True))
    deleting_empty.append(copier_run(0, 1 << 20, delete=True)[1])
verify_extract = median(r[0] for r in checked)
extract_only = median(r[1] for r in plain)
copy_clock = median(r[0] for r in copies)
launcher_growth = median(r[2] for r in checked) - median(launcher_empty)
copy_growth = median(r[1] for r in copies) - median(copies_empty)
delete_growth = median(r[1] for r in deleting) - median(deleting_empty)
mb = size / 1e6
print(f"payload: {mb:.0f} MB, runs: {runs}")
print(f"launcher verify + extract (log clock):   {verify_extract*1000:7.0f} ms  ({mb/verify_extract:6.0f} MB/s)")
print(f"launcher check alone (log clock):        {median(r[3] for r in checked)*1000:7.0f} ms")
print(f"plain read, xor_copy without writing:    {median(reads)*1000:7.0f} ms")
print(f"launcher extract only, -nocheck:         {extract_only*1000:7.0f} ms  ({mb/extract_only:6.0f} MB/s)")
print(f"xor_copy 1 MiB blocks (own clock):       {copy_clock*1000:7.0f} ms  ({mb/copy_clock:6.0f} MB/s)")
print(f"xor_copy 6000-byte blocks (own clock):   {median(small)*1000:7.0f} ms")
print(f"launcher process wall, payload - empty:  {launcher_growth*1000:7.0f} ms  (empty payload: {median(launcher_empty)*1000:.0f} ms)")
print(f"xor_copy process wall, 100% - 0 bytes:   {copy_growth*1000:7.0f} ms  (0 bytes: {median(copies_empty)*1000:.0f} ms)")
print(f"xor_copy + deleting its output, wall:    {delete_growth*1000:7.0f} ms  (100% - 0 bytes; "
      f"the deletion alone {median(r[2] for r in deleting)*1000:.0f} ms)")
print(f"ratio verify + extract / copy, clocks:   {verify_extract/copy_clock:.2f}  (target 1.15)")
print(f"ratio process wall growth, like for like: {launcher_growth/delete_growth:.2f}  (target 1.15; both delete the copy)")
print(f"ratio process wall growth, copy kept:    {launcher_growth/copy_growth:.2f}")
print(f"ratio extract only / copy, clocks:       {extract_only/copy_clock:.2f}")
print(f"floor of check-then-extract, (read + copy) / copy: {(median(reads) + copy_clock)/copy_clock:.2f}")
PY
