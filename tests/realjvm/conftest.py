"""The real-JVM tier: installers packed like the end-to-end tests', whose bundled runtime is Avian
(a third-party JVM built by scripts/realjvm.sh) and whose main is a Java program of tests/java.

REALJVM_ARCH=x64 (default) or x86 picks the launcher, the doubles and Avian of that architecture.
Each program writes what it saw to a results file ("name<TAB>JSON" lines, tests/java/realjvm/Results).
"""
import importlib.util
import json
import os
import pathlib
import shutil
import sys
import uuid

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
ARCH = os.environ.get("REALJVM_ARCH", "x64")
BUILD = {"x64": "x64", "x86": "x86"}[ARCH]
os.environ.setdefault("LAUNCHER_EXE", str(ROOT / f"build/{BUILD}/windows/launcher.exe"))
os.environ.setdefault("TEST_DOUBLES", str(ROOT / f"build/{BUILD}/tests/doubles"))
AVIAN = pathlib.Path(os.environ.get("AVIAN_HOME", ROOT / f"build/avian-{ARCH}"))
JAVA_SIDE = ROOT / "build/realjvm/classes.jar"

# The end-to-end fixtures (pack, wine) and helpers, loaded under a name of their own.
sys.path.insert(0, str(ROOT / "tests/e2e"))
_spec = importlib.util.spec_from_file_location("e2e_conftest", ROOT / "tests/e2e/conftest.py")
e2e = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(e2e)
wine = e2e.wine
pack = e2e.pack
from runtimes import wine_reg  # noqa: E402


def pytest_configure(config):
    config.addinivalue_line("markers", "realjvm: runs Java code on a real JVM (Avian) inside the launcher")


def pytest_collection_modifyitems(items):
    for item in items:
        item.add_marker(pytest.mark.realjvm)


def skip_line():
    return (f"real JVM {ARCH}: needs {AVIAN}/jvm.dll and {JAVA_SIDE} (bash scripts/realjvm.sh; Avian's source "
            f"in ../shared/realjvm or AVIAN_SOURCE)")


class Run:
    """One installer run: exit code, output, native log and the program's results."""

    def __init__(self, result, log, results_file, installer):
        self.code = result.returncode
        self.stdout = result.stdout.decode("utf-8", "replace")
        self.stderr = result.stderr.decode("utf-8", "replace")
        self.log = log
        self.installer = installer
        self.entries = []
        if results_file.exists():
            for line in results_file.read_text("utf-8").splitlines():
                name, _, value = line.partition("\t")
                self.entries.append((name, json.loads(value)))
        self.results = dict(self.entries)

    def logged(self, text):
        return [line for line in self.log.splitlines() if text in line]

    def __repr__(self):
        return f"Run(code={self.code}, stderr={self.stderr[-2000:]!r}, results={self.results!r})"


@pytest.fixture
def avian_home(tmp_path, monkeypatch):
    """A Java home of Avian's jvm.dll and the stub java.exe (Avian has none that answers -version)."""
    if not (AVIAN / "jvm.dll").exists() or not JAVA_SIDE.exists():
        pytest.skip(skip_line())
    for name in ("JAVA_HOME", "JDK_HOME", "TALLOW_JAVA_HOME", "STOWLINE_JAVA_HOME", "_JAVA_OPTIONS",
                 "JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "MANPATH", "TEST_VM_SCRIPT", "STOWLINE_LOG", "TALLOW_LOG"):
        monkeypatch.delenv(name, raising=False)
    home = tmp_path / "avian"
    (home / "bin" / "server").mkdir(parents=True)
    shutil.copyfile(e2e.DOUBLES / "java_stub" / "java.exe", home / "bin" / "java.exe")
    (home / "bin" / "java_stub.cfg").write_text('err=java version "1.8.0_avian"\nexit=0\n')
    shutil.copyfile(AVIAN / "jvm.dll", home / "bin" / "server" / "jvm.dll")
    return home


@pytest.fixture
def scratch_key():
    """A key under HKEY_CURRENT_USER for one test, removed afterwards (relative to the root)."""
    key = f"Software\\launcher-tests\\realjvm-{uuid.uuid4().hex[:8]}"
    yield key
    wine_reg("delete", "HKCU\\" + key, "/f")


@pytest.fixture
def program(pack, wine, avian_home, tmp_path):
    """program(name, *args, config=, env=, log=True) -> Run: packs an installer whose main class is
    realjvm.<name> and whose payload holds the Java side, and runs it quietly on Avian."""

    def run(name, *args, config=None, env=None, log=True, timeout=180, installer=None):
        merged = {"product_kind": "i", "main_class": "realjvm." + name}
        merged.update(config or {})
        installer = installer or pack(config=merged, files=[("realjvm.jar", JAVA_SIDE.read_bytes())],
                                      name=f"{name.lower()}.exe")
        results = tmp_path / f"results-{uuid.uuid4().hex[:6]}.txt"
        environment = {"STOWLINE_JAVA_HOME": wine.windows_path(avian_home)}
        if log:
            environment["STOWLINE_LOG"] = "yes"
        environment.update(env or {})
        wine.clear_logs()
        result = installer.run("-q", f"--results={wine.windows_path(results)}", *args, env=environment,
                               timeout=timeout)
        started = "Started executable " + wine.windows_path(installer.path) + " "
        logs = [text for text in map(e2e.read_log, wine.logs()) if text.startswith(started)]
        return Run(result, logs[-1] if logs else "", results, installer)

    return run
