#!/usr/bin/env bash
# Throughput of the payload integrity check on a 100 MB payload, under Wine (x64). Prints figures;
# asserts nothing. The check runs inside runtime_tool.exe (the launcher's library with a config
# block): "verify" minus "verify -nocheck" is the check itself; the reference is zlib's crc32 over
# the same file read natively in this run.
#
#   benchmarks/integrity.sh [runs]
# Environment: STOWPACK, TEST_DOUBLES (default build/native, build/x64); WINEPREFIX_OVERRIDE.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/wine-env.sh"
export STOWPACK="${STOWPACK:-$root/build/native/tools/stowpack/stowpack}"
export TEST_DOUBLES="${TEST_DOUBLES:-$root/build/x64/tests/doubles}"
export BENCH_RUNS="${1:-5}"
exec /usr/bin/python3 - <<'PY'
import os, pathlib, statistics, subprocess, tempfile, time, zlib

runs = int(os.environ["BENCH_RUNS"])
tool = pathlib.Path(os.environ["TEST_DOUBLES"]) / "runtime_tool" / "runtime_tool.exe"
size = 100 * 1024 * 1024


def timed(*command, cwd):
    # Output to a file: Wine keeps pipes open a while after the program ends.
    with open(cwd / "output.txt", "wb") as output:
        start = time.perf_counter()
        code = subprocess.run(command, stdout=output, stderr=output, cwd=cwd).returncode
        return time.perf_counter() - start, code


with tempfile.TemporaryDirectory() as temp:
    directory = pathlib.Path(temp)
    (directory / "payload.bin").write_bytes(os.urandom(size))
    (directory / "project.toml").write_text(
        f'launcher = "{tool}"\ndownload_site = "x"\n[config]\nlauncher_type = 0\napplication_name = "Bench"\n'
        '[[files]]\nsource = "payload.bin"\nname = "payload.bin"\n')
    installer = directory / "installer.exe"
    subprocess.run([os.environ["STOWPACK"], "build", str(directory / "project.toml"), "-o", str(installer)],
                   check=True, capture_output=True, cwd=directory)
    timed("wine", str(installer), "verify", cwd=directory)  # warm the page cache and Wine
    checked, unchecked, native = [], [], []
    for _ in range(runs):
        seconds, code = timed("wine", str(installer), "verify", cwd=directory)
        assert code == 0, (directory / "output.txt").read_text()
        checked.append(seconds)
        unchecked.append(timed("wine", str(installer), "verify", "-nocheck", cwd=directory)[0])
        start = time.perf_counter()
        crc = 0
        with open(installer, "rb") as stream:
            while block := stream.read(1 << 20):
                crc = zlib.crc32(block, crc)
        native.append(time.perf_counter() - start)
    check = statistics.median(checked) - statistics.median(unchecked)
    reference = statistics.median(native)
    megabytes = installer.stat().st_size / 1e6
    print(f"payload {size // (1024 * 1024)} MiB, {runs} runs, medians")
    print(f"  verify under Wine:            {statistics.median(checked):.3f} s wall")
    print(f"  verify -nocheck under Wine:   {statistics.median(unchecked):.3f} s wall (start-up and config block)")
    print(f"  the check itself:             {check:.3f} s = {megabytes / max(check, 1e-6):.0f} MB/s")
    print(f"  native read + zlib crc32:     {reference:.3f} s = {megabytes / reference:.0f} MB/s")
    print(f"  ratio check / native:         {check / reference:.2f}")
PY
