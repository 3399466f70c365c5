#!/usr/bin/env bash
# Download speed of the WinInet natives: a 50 MB body from the e2e suite's local HTTP server on
# 127.0.0.1, fetched by http_fetch.exe under Wine (connect0, openRequest0, sendRequest0, read0
# with 64 KiB pieces) and by Python's own urllib from the same server in the same run. Prints
# figures and their ratio, and WinInet called directly (InternetReadFile, 64 KiB) to show what the
# natives add; asserts only that all got the same bytes.
#
#   benchmarks/http_natives.sh [runs]
# Environment: TEST_DOUBLES (default build/x64/tests/doubles); WINEPREFIX_OVERRIDE.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/wine-env.sh"
export TEST_DOUBLES="${TEST_DOUBLES:-$root/build/x64/tests/doubles}"
export BENCH_RUNS="${1:-5}"
export E2E_DIR="$root/tests/e2e"
exec /usr/bin/python3 - <<'PY'
import os, pathlib, re, statistics, subprocess, sys, tempfile, time, urllib.request, zlib

sys.path.insert(0, os.environ["E2E_DIR"])
from http_server import LocalServer

runs = int(os.environ["BENCH_RUNS"])
fetch = pathlib.Path(os.environ["TEST_DOUBLES"]) / "http_fetch" / "http_fetch.exe"
size = 50 * 1024 * 1024
body = os.urandom(size)
expected = f"{zlib.crc32(body):08x}"
server = LocalServer()
server.serve("big", body)
url = server.url("file", "big")
port = server.httpd.server_address[1]


def natives(*mode):
    # Output to a file: Wine keeps pipes open a while after the program ends.
    with tempfile.TemporaryFile() as output:
        start = time.perf_counter()
        code = subprocess.run(["wine", str(fetch), "127.0.0.1", str(port), "/file/big", "65536", *mode],
                              stdout=output, stderr=output).returncode
        wall = time.perf_counter() - start
        output.seek(0)
        text = output.read().decode(errors="replace")
    found = re.search(r"status=(\d+) bytes=(\d+) seconds=([\d.]+) crc=(\w+)", text)
    assert code == 0 and found, text
    assert int(found[2]) == size and found[4] == expected, text
    return float(found[3]), wall


def python_client():
    start = time.perf_counter()
    chunks = []
    with urllib.request.urlopen(url) as response:
        while chunk := response.read(65536):
            chunks.append(chunk)
    seconds = time.perf_counter() - start
    data = b"".join(chunks)
    assert len(data) == size and f"{zlib.crc32(data):08x}" == expected
    return seconds


try:
    natives()
    python_client()  # warm both
    inside, walls, python, direct = [], [], [], []
    for _ in range(runs):
        seconds, wall = natives()
        inside.append(seconds)
        walls.append(wall)
        python.append(python_client())
        direct.append(natives("direct")[0])
finally:
    server.stop()
ours, theirs, bare = statistics.median(inside), statistics.median(python), statistics.median(direct)
megabytes = size / 1e6
print(f"body {size // (1024 * 1024)} MiB from 127.0.0.1, {runs} runs, medians")
print(f"  WinInet natives, read0 64 KiB:  {ours:.3f} s = {megabytes / ours:.0f} MB/s "
      f"(whole process under Wine {statistics.median(walls):.3f} s)")
print(f"  WinInet directly, 64 KiB:       {bare:.3f} s = {megabytes / bare:.0f} MB/s")
print(f"  Python urllib, 64 KiB reads:    {theirs:.3f} s = {megabytes / theirs:.0f} MB/s")
print(f"  ratio natives / urllib:         {ours / theirs:.2f}")
PY
