#!/usr/bin/env bash
# Untar of a 50 MB jre.tar.gz under Wine (x64) against zlib's own inflate of the same archive
# (benchmarks/inflate_only.c, built here with mingw and the same zlib). Prints figures; asserts
# nothing. Both run as Windows programs in the same Wine; process start-up is included in both.
# In the same run, the same tar stored without compression (gzip level 0) is untarred and inflated
# too: the difference is roughly what creating and writing the files costs. The untar makes those
# calls on a second thread while it inflates, so on two free cores its floor is inflate alone, and
# untar / (inflate + files) below 1 is the share of the files' cost that the overlap hides.
# Both programs also run on an archive of one small file: their start-up differs (the untar runs
# in the launcher's library with its config block), and the growth ratio leaves it out.
#
#   benchmarks/untar.sh [runs]
# Environment: STOWPACK, TEST_DOUBLES (default build/native, build/x64); WINEPREFIX_OVERRIDE.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/wine-env.sh"
export STOWPACK="${STOWPACK:-$root/build/native/tools/stowpack/stowpack}"
export TEST_DOUBLES="${TEST_DOUBLES:-$root/build/x64/tests/doubles}"
export BENCH_RUNS="${1:-5}"
export BENCH_DIR="$(mktemp -d)"
trap 'rm -rf "$BENCH_DIR"' EXIT
x86_64-w64-mingw32-gcc -O2 -static -o "$BENCH_DIR/inflate_only.exe" "$root/benchmarks/inflate_only.c" -lz
x86_64-w64-mingw32-gcc -O2 -static -DWITH_TOOL_IMPORTS -o "$BENCH_DIR/inflate_imports.exe" \
  "$root/benchmarks/inflate_only.c" -lz -ladvapi32 -luser32 -lgdi32
/usr/bin/python3 - <<'PY'
import gzip, io, os, pathlib, random, shutil, statistics, subprocess, tarfile, time

runs = int(os.environ["BENCH_RUNS"])
directory = pathlib.Path(os.environ["BENCH_DIR"])
tool = pathlib.Path(os.environ["TEST_DOUBLES"]) / "runtime_tool" / "runtime_tool.exe"

# A runtime-like archive: many small and some large files, part text-like, part incompressible,
# grown until the compressed archive reaches 50 MB.
rng = random.Random(7)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(3, 12))) for _ in range(4000)]
raw = io.BytesIO()
archive_gz = directory / "jre.tar.gz"
with tarfile.open(fileobj=raw, mode="w", format=tarfile.GNU_FORMAT) as tar:
    index = 0
    while True:
        for folder in ("", "bin", "lib", "lib/security", "legal", "legal/java.base"):
            if index == 0:
                info = tarfile.TarInfo(f"jre/{folder}")
                info.type = tarfile.DIRTYPE
                tar.addfile(info)
        size = rng.choice([2_000, 20_000, 200_000, 2_000_000])
        if index % 3 == 0:
            data = os.urandom(size)
        else:
            data = b" ".join(rng.choice(words) for _ in range(size // 7))[:size]
        info = tarfile.TarInfo(f"jre/lib/file{index:05d}.bin")
        info.size = len(data)
        tar.addfile(info, io.BytesIO(data))
        index += 1
        if index % 5 == 0 and len(gzip.compress(raw.getvalue(), 6)) >= 50 * 1000 * 1000:
            break
archive_gz.write_bytes(gzip.compress(raw.getvalue(), 6))
stored_gz = directory / "stored.tar.gz"
stored_gz.write_bytes(gzip.compress(raw.getvalue(), 0))
small = io.BytesIO()
with tarfile.open(fileobj=small, mode="w", format=tarfile.GNU_FORMAT) as tar:
    info = tarfile.TarInfo("jre")
    info.type = tarfile.DIRTYPE
    tar.addfile(info)
    info = tarfile.TarInfo("jre/release")
    info.size = 5
    tar.addfile(info, io.BytesIO(b"small"))
(directory / "small.tar.gz").write_bytes(gzip.compress(small.getvalue(), 6))
tar_size = len(raw.getvalue())
files = index  # the loop above adds one regular file a round
(directory / "project.toml").write_text(
    f'launcher = "{tool}"\ndownload_site = "x"\n[config]\nlauncher_type = 0\napplication_name = "Bench"\n')
installer = directory / "tool.exe"
subprocess.run([os.environ["STOWPACK"], "build", str(directory / "project.toml"), "-o", str(installer)],
               check=True, capture_output=True)


def timed(*command):
    with open(directory / "output.txt", "wb") as output:
        start = time.perf_counter()
        code = subprocess.run(command, stdout=output, stderr=output, cwd=directory).returncode
        return time.perf_counter() - start, code


def untar_run(archive):
    target = directory / "target"
    shutil.rmtree(target, ignore_errors=True)
    target.mkdir()
    seconds, code = timed("wine", str(installer), "untar", archive, "target")
    assert code == 0, (directory / "output.txt").read_text()
    return seconds


def inflate_run(archive, program="inflate_only.exe"):
    seconds, code = timed("wine", str(directory / program), archive)
    assert code == 0
    return seconds


untar, inflate, stored_untar, stored_inflate, small_untar, small_inflate = [], [], [], [], [], []
inflate_imports = []
inflate_run("jre.tar.gz")
for _ in range(runs):  # interleaved, so a change in the machine's load touches every series alike
    untar.append(untar_run("jre.tar.gz"))
    inflate.append(inflate_run("jre.tar.gz"))
    inflate_imports.append(inflate_run("jre.tar.gz", "inflate_imports.exe"))
    stored_untar.append(untar_run("stored.tar.gz"))
    stored_inflate.append(inflate_run("stored.tar.gz"))
    small_untar.append(untar_run("small.tar.gz"))
    small_inflate.append(inflate_run("small.tar.gz"))
median = statistics.median
file_cost = median(stored_untar) - median(stored_inflate)
print(f"archive {archive_gz.stat().st_size / 1e6:.1f} MB compressed, {tar_size / 1e6:.1f} MB tar, {files} files; "
      f"{runs} runs, medians")
print(f"  untarGzip (runtime_tool untar):  {median(untar):.3f} s wall")
print(f"  zlib inflate only:               {median(inflate):.3f} s wall")
print(f"  files alone (stored archive, untar - inflate): {file_cost:.3f} s "
      f"({file_cost / files * 1000:.2f} ms a file)")
print(f"  zlib inflate only, importing what the untar's program imports: {median(inflate_imports):.3f} s wall")
print(f"  ratio untar / inflate:           {median(untar) / median(inflate):.2f}  (target 1.10)")
print(f"  ratio untar / inflate with the same imports: {median(untar) / median(inflate_imports):.2f}")
print(f"  ratio untar / (inflate + files): {median(untar) / (median(inflate) + file_cost):.2f}  (below 1: overlapped)")
print(f"  one small file: untar {median(small_untar):.3f} s, inflate only {median(small_inflate):.3f} s (start-up)")
print(f"  ratio of growth, (untar - small) / (inflate - small): "
      f"{(median(untar) - median(small_untar)) / (median(inflate) - median(small_inflate)):.2f}")
PY
