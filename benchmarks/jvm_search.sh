#!/usr/bin/env bash
# How long the runtime search of a quiet installer takes over 20 runtimes registered under
# HKLM\SOFTWARE\JavaSoft\JRE, with a cold version cache (every java.exe is run with -version) and a
# warm one (versions read from the registry). Prints figures; asserts nothing.
#
#   benchmarks/jvm_search.sh [runs]
# Environment: LAUNCHER_EXE, STOWPACK, TEST_DOUBLES as for the end-to-end tests (default: build/x64,
# build/native); WINEPREFIX_OVERRIDE for a private Wine prefix.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/wine-env.sh"
export LAUNCHER_EXE="${LAUNCHER_EXE:-$root/build/x64/windows/launcher.exe}"
export STOWPACK="${STOWPACK:-$root/build/native/tools/stowpack/stowpack}"
export TEST_DOUBLES="${TEST_DOUBLES:-$root/build/x64/tests/doubles}"
export BENCH_RUNS="${1:-5}"
exec /usr/bin/python3 - "$root" <<'PY'
import os, pathlib, statistics, subprocess, sys, tempfile, time

root = pathlib.Path(sys.argv[1])
sys.path.insert(0, str(root / "tests" / "e2e"))
from runtimes import Registry, Runtimes, cache_key_of, windows_path  # noqa: E402

runs = int(os.environ["BENCH_RUNS"])
launcher, stowpack = os.environ["LAUNCHER_EXE"], os.environ["STOWPACK"]


def pack(directory, sequence, minimum=""):
    project = directory / "project.toml"
    project.write_text(f'launcher = "{launcher}"\ndownload_site = "https://downloads.example.org"\n[config]\n'
                       f'launcher_type = 0\napplication_name = "Bench"\njvm_search_sequence = "{sequence}"\nmin_java_version = "{minimum}"\n')
    output = directory / "installer.exe"
    subprocess.run([stowpack, "build", str(project), "-o", str(output)], check=True, capture_output=True)
    return output


def timed(installer):
    environment = {k: v for k, v in os.environ.items() if k not in ("JAVA_HOME", "TALLOW_JAVA_HOME",
                                                                    "STOWLINE_JAVA_HOME", "STOWLINE_LOG")}
    # Output goes to a file: with pipes, Wine holds them about a second after the program ends.
    with open(installer.parent / "output.txt", "wb") as output:
        start = time.perf_counter()
        result = subprocess.run(["wine", str(installer), "-q"], stdout=output, stderr=output, env=environment,
                                cwd=installer.parent)
        return time.perf_counter() - start, result.returncode


def scenario(title, build):
    with tempfile.TemporaryDirectory() as temp:
        directory = pathlib.Path(temp)
        made = Runtimes(directory / "runtimes", os.environ["TEST_DOUBLES"], Registry())
        try:
            installer, sequence_note = build(made, directory)
            cache = [cache_key_of(windows_path(exe)) for r in made.made for exe in r.home.rglob("java*.exe")]
            cold, warm = [], []
            for _ in range(runs):
                made.registry.delete_trees(cache)
                seconds, code = timed(installer)
                cold.append(seconds)
                seconds, code = timed(installer)
                warm.append(seconds)
            probes = sum(r.probes() for r in made.made)
            print(f"{title}: {sequence_note}; exit code {code}")
            print(f"  cold cache: median {statistics.median(cold):.3f} s  (min {min(cold):.3f}, max {max(cold):.3f})")
            print(f"  warm cache: median {statistics.median(warm):.3f} s  (min {min(warm):.3f}, max {max(warm):.3f})")
            print(f"  java.exe starts over all runs: {probes} ({probes / runs:.0f} per cold+warm pair)")
        finally:
            made.cleanup()


def baseline(made, directory):
    return pack(directory, ""), "empty search list, no runtime (process start and start-up only)"


def refused_by_version(made, directory):
    names = [f"11.0.{i}" for i in range(1, 21)]
    order = sorted(names, reverse=True)  # the order the search tries them (byte strings)
    for name in names:
        # Registered as 11.0.x, but all except the one tried last report a version below the minimum.
        version = name if name == order[-1] else "1.7.0_80"
        made.javasoft("JRE", made.make("jre" + name, version), name)
    return pack(directory, "Y;", "1.8"), "20 JRE keys, 19 refused by their real version, the last tried loads"


def failing_dlls(made, directory):
    names = [f"11.0.{i}" for i in range(1, 21)]
    order = sorted(names, reverse=True)
    for name in names:
        dll = "bin/server/jvm.dll" if name == order[-1] else "bin/server/jvm.dll=bad"
        made.javasoft("JRE", made.make("jre" + name, name, ["bin/java.exe", dll]), name)
    return pack(directory, "Y;"), "20 JRE keys, 19 jvm.dll fail to load (marked, search restarted), the last loads"


print(f"runs per figure: {runs}; launcher {launcher}")
for title, build in (("baseline", baseline), ("version refusals", refused_by_version),
                     ("load failures", failing_dlls)):
    scenario(title, build)
PY
