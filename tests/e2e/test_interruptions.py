"""Runs cut short from the outside.

Cancel of the installer's progress dialog at many moments of a long extraction, untar and
download, in the dialog's own mode and in wrapper mode without a wrapper window (config key 155):
the run ends with 0, the flags are cleared, and no extraction directory or partial file stays.
A run killed at random moments of extraction and untar: the next start works, and what the killed
runs left is what a clean-up run's list must name. A temp directory that fills up: the disk-space
message, exit 1, nothing left.

The Cancel press is a WM_COMMAND IDCANCEL posted to the dialog by tests/doubles/dialog_cancel under
an X server (Xvfb is started when no display is given)."""
import io
import os
import pathlib
import random
import signal
import shutil
import subprocess
import tarfile
import threading
import time

import pytest

from conftest import DOUBLES, LAUNCHER
from http_server import http_server  # noqa: F401  (a fixture)
from test_work_flow import Run, flags  # noqa: F401  (flags is a fixture)

CANCELLER = DOUBLES / "dialog_cancel" / "dialog_cancel.exe"
NO_JAVA = ("JAVA_HOME", "JDK_HOME", "TALLOW_JAVA_HOME", "STOWLINE_JAVA_HOME", "TEST_VM_SCRIPT")


@pytest.fixture(scope="module")
def display():
    if not CANCELLER.exists():
        pytest.skip("build the dialog_cancel double")
    if os.environ.get("DISPLAY"):
        yield os.environ["DISPLAY"]
        return
    if shutil.which("Xvfb") is None:
        pytest.skip("needs a display or Xvfb")
    number = next(n for n in range(71, 99) if not pathlib.Path(f"/tmp/.X{n}-lock").exists())
    server = subprocess.Popen(["Xvfb", f":{number}", "-nolisten", "tcp", "-screen", "0", "1024x768x24"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if pathlib.Path(f"/tmp/.X11-unix/X{number}").exists():
            break
        time.sleep(0.05)
    yield f":{number}"
    server.terminate()
    server.wait(10)


def runtime_archive(filler_files):
    """A runtime the test VM can start from, with incompressible filler to make the untar long."""
    entries = [("bin/java.exe", (DOUBLES / "java_stub" / "java.exe").read_bytes()),
               ("bin/java_stub.cfg", b'err=java version "11.0.2"\nexit=0\n'),
               ("bin/server/jvm.dll", (DOUBLES / "test_vm" / "jvm.dll").read_bytes())]
    entries += [(f"lib/filler{index}.bin", os.urandom(1 << 20)) for index in range(filler_files)]
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w:gz", format=tarfile.GNU_FORMAT, compresslevel=1) as archive:
        for directory in ("bin/", "bin/server/", "lib/"):
            info = tarfile.TarInfo(directory)
            info.type = tarfile.DIRTYPE
            archive.addfile(info)
        for name, data in entries:
            info = tarfile.TarInfo(name)
            info.size = len(data)
            archive.addfile(info, io.BytesIO(data))
    return raw.getvalue()


def cancelled_run(installer, wine, tmp_path, display, delay, point=None):
    """Runs installer while dialog_cancel presses Cancel delay ms after the dialog shows or, with a
    point (a path inside the new extraction directory, "" for the directory itself), delay ms after
    that path exists. Returns the run and what is new in the temp directory afterwards (the
    extraction directory, a partial download inside it)."""
    before = set(wine.temp.glob("tlw*_dir*"))
    trigger = tmp_path / "cancel_now"
    trigger.unlink(missing_ok=True)
    command = ["wine", str(CANCELLER), str(delay)]
    done = threading.Event()
    if point is not None:
        command.append(wine.windows_path(trigger))

        def watch():
            while not done.is_set():
                if any((directory / point).exists() for directory in set(wine.temp.glob("tlw*_dir*")) - before):
                    trigger.touch()
                    return
                time.sleep(0.001)

        watcher = threading.Thread(target=watch, daemon=True)
        watcher.start()
    environment = dict(os.environ, DISPLAY=display)
    canceller = subprocess.Popen(command, env=environment, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        run = Run(installer, wine, tmp_path, env={"DISPLAY": display})
    finally:
        done.set()
        posted = canceller.communicate(timeout=90)[0]
    assert b"cancel posted" in posted, posted
    return run, set(wine.temp.glob("tlw*_dir*")) - before


def assert_cancelled(run, left, flags):  # noqa: F811
    assert run.logged("Canceled installer"), run.log
    assert run.code == 0, (run.stderr, run.log)
    assert left == set(), run.log
    assert flags() is None
    assert "vm-created" not in run.report
    assert run.log_values("Could not start JVM") == []


@pytest.fixture(scope="module")
def long_installer(tmp_path_factory):
    """Payload files of 40 MB and an included runtime with 24 MB to untar (built once)."""
    return {"files": [(f"data\\part{index}.bin", os.urandom(8 << 20)) for index in range(5)]
            + [("jre.tar.gz", runtime_archive(24))]}


class TestCancelDuringExtraction:
    # From the integrity check through the copy of the payload files, the untar of the runtime and
    # the probe of its java.exe (jvm.dll is loaded next).
    @pytest.mark.parametrize("point, delay", [
        (None, 0), (None, 40), ("", 0), ("data/part0.bin", 0), ("data/part2.bin", 3), ("data/part4.bin", 0),
        ("jre.tar.gz", 10), ("jre/bin/java.exe", 0), ("jre/lib/filler5.bin", 0), ("jre/lib/filler15.bin", 2),
        ("jre/lib/filler23.bin", 0), ("jre/bin/java_stub.calls", 0)])
    def test_cancel_stops_the_worker_and_leaves_nothing(self, pack, wine, tmp_path, flags, display,  # noqa: F811
                                                        long_installer, point, delay, monkeypatch):
        for name in NO_JAVA:
            monkeypatch.delenv(name, raising=False)
        installer = pack(config={"main_class": "com.example.Setup", "jvm_search_sequence": ""},
                         files=long_installer["files"])
        run, left = cancelled_run(installer, wine, tmp_path, display, delay, point)
        assert_cancelled(run, left, flags)


class TestCancelDuringDownload:
    # Key 155: the work flow runs without a dialog until a runtime must be downloaded.
    @pytest.mark.parametrize("wrapper", [True, False], ids=["key155", "dialog"])
    @pytest.mark.parametrize("point, delay", [(None, 0), ("jre.tar.gz", 0), ("jre.tar.gz", 700)])
    def test_cancel_stops_the_download_and_leaves_nothing(self, pack, http_server, wine, tmp_path, flags,  # noqa: F811
                                                          display, wrapper, point, delay, monkeypatch):
        for name in NO_JAVA:
            monkeypatch.delenv(name, raising=False)
        http_server.serve("jre.tar.gz", os.urandom(4 << 20))
        config = {"main_class": "com.example.Setup", "jvm_search_sequence": "",
                  "download_url": http_server.url("slow", "jre.tar.gz"), "download_without_asking": 1}
        if wrapper:
            config["no_progress_dialog"] = 1
        installer = pack(config=config, files=[("stwparams.conf", b"a=b\n")])
        run, left = cancelled_run(installer, wine, tmp_path, display, delay, point)
        assert_cancelled(run, left, flags)


def kill_installer(installer, wine):
    """SIGKILL to the installer's own process: as abrupt as TerminateProcess, no clean-up runs.
    Wine shows a process's command line in its Unix or its Windows form."""
    wanted = [str(installer.path).lower().encode(), wine.windows_path(installer.path).lower().encode()]
    for entry in pathlib.Path("/proc").iterdir():
        try:
            command = (entry / "cmdline").read_bytes().lower()
        except OSError:
            continue
        if entry.name.isdigit() and any(form in command for form in wanted) and b"dialog_cancel" not in command:
            os.kill(int(entry.name), signal.SIGKILL)


class TestKilledMidRun:
    POINTS = ["", "data/part0.bin", "data/part2.bin", "data/part4.bin", "jre/lib/filler0.bin",
              "jre/lib/filler5.bin", "jre/lib/filler12.bin", "jre/lib/filler18.bin"]

    def test_the_next_start_works_and_a_listed_cleanup_removes_the_leftovers(self, pack, wine, tmp_path, flags,  # noqa: F811
                                                                            long_installer, monkeypatch):
        for name in NO_JAVA:
            monkeypatch.delenv(name, raising=False)
        installer = pack(config={"main_class": "com.example.Setup", "jvm_search_sequence": ""},
                         files=long_installer["files"])
        before = set(wine.temp.glob("tlw*"))
        chooser = random.Random(int(os.environ.get("KILL_SEED", "13")))
        killed = 0
        for _ in range(20):
            point, extra = chooser.choice(self.POINTS), chooser.uniform(0, 0.02)
            known = set(wine.temp.glob("tlw*_dir*"))
            process = subprocess.Popen(["wine", str(installer.path), "-q"], cwd=tmp_path, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 30
            while process.poll() is None and time.monotonic() < deadline:
                if any((directory / point).exists() for directory in set(wine.temp.glob("tlw*_dir*")) - known):
                    time.sleep(extra)
                    kill_installer(installer, wine)
                    break
                time.sleep(0.001)
            killed += process.wait(30) != 0
        assert killed >= 15  # a run that ended before its point is no kill
        # A run killed while it probed its runtime's "java.exe -version" leaves the probe behind
        # (nothing ends a child with its parent; under Wine it then waits for ever) and the probe
        # keeps its java.exe: those are ended here as a user would, before the clean-up.
        for entry in pathlib.Path("/proc").iterdir():
            try:
                command = (entry / "cmdline").read_bytes().lower()
            except OSError:
                continue
            if entry.name.isdigit() and b"\\tlw" in command and b"java.exe" in command:
                os.kill(int(entry.name), signal.SIGKILL)
        left = set(wine.temp.glob("tlw*")) - before
        assert any(path.is_dir() for path in left)

        # Nothing of a killed run is in the way of the next one.
        run = Run(installer, wine, tmp_path, "-q")
        assert run.code == 0, run.stderr
        assert "main-returned" in run.report
        left |= {wine.temp / pathlib.PureWindowsPath(run.log_values("tempFile is ")[0]).name}

        # The clean-up run removes what its list names: files, then directories (deepest first).
        files = [path for root in left for path in ([root] if root.is_file() else root.rglob("*")) if path.is_file()]
        directories = sorted({path for root in left if root.is_dir() for path in [root, *root.rglob("*")]
                              if path.is_dir()}, key=lambda path: -len(path.parts))
        lines = ["", "none", "", "EOSMARKER", "", "EOSMARKER", *map(wine.windows_path, files), "",
                 *map(wine.windows_path, directories)]
        listed = tmp_path / "leftovers.lst"
        listed.write_bytes("\r\n".join(lines).encode("utf-16-le") + "\r\n".encode("utf-16-le"))
        result = subprocess.run(["wine", str(LAUNCHER), "__stw_windel", wine.windows_path(listed)], timeout=120,
                                capture_output=True)
        assert result.returncode == 0
        remaining = [str(path) for root in left if root.exists() for path in [root, *root.rglob("*")]]
        assert remaining == [], remaining


@pytest.fixture
def small_temp(wine):
    """The prefix's temp directory on a 5 MB tmpfs for one test (needs root)."""
    if os.geteuid() != 0 or shutil.which("mount") is None:
        pytest.skip("mounting a small file system needs root")
    saved = wine.temp.with_name("Temp.saved")
    if saved.exists():
        shutil.rmtree(saved)
    wine.temp.rename(saved)
    wine.temp.mkdir()
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=5m", "tmpfs", str(wine.temp)]).returncode == 0
    try:
        if not mounted:
            pytest.skip("tmpfs cannot be mounted here")
        yield wine.temp
    finally:
        if mounted:
            subprocess.run(["umount", str(wine.temp)])
        wine.temp.rmdir()
        saved.rename(wine.temp)


class TestDiskFull:
    # 8 MB of payload files on 5 MB; then a 2.5 MB runtime archive that holds 8 MB.
    @pytest.mark.parametrize("step", ["extraction", "untar"])
    def test_a_full_temp_directory_gives_the_disk_space_message_and_leaves_nothing(self, pack, wine, tmp_path,
                                                                                   flags, small_temp, step):  # noqa: F811
        if step == "extraction":
            files = [("stwparams.conf", b"a=b\n"), ("data\\big.bin", os.urandom(8 << 20))]
        else:
            raw = io.BytesIO()
            with tarfile.open(fileobj=raw, mode="w:gz", format=tarfile.GNU_FORMAT) as archive:
                info = tarfile.TarInfo("lib/")
                info.type = tarfile.DIRTYPE
                archive.addfile(info)
                for index in range(2):
                    data = os.urandom(1 << 20) + bytes(3 << 20)
                    info = tarfile.TarInfo(f"lib/big{index}.bin")
                    info.size = len(data)
                    archive.addfile(info, io.BytesIO(data))
            files = [("stwparams.conf", b"a=b\n"), ("jre.tar.gz", raw.getvalue())]
        installer = pack(config={"main_class": "com.example.Setup", "jvm_search_sequence": ""}, files=files)
        result = installer.run("-q", env={"STOWLINE_LOG": "yes"})
        assert result.returncode == 1
        log = "".join(path.read_text("cp1252", "replace") for path in small_temp.glob("stw_nlog_*.log"))
        assert b"Not Enough Disk Space" in result.stdout + result.stderr, log
        assert list(small_temp.glob("tlw*_dir*")) == []

    def test_a_download_that_fills_the_disk_gives_the_disk_space_message_at_once(self, pack, http_server, wine,
                                                                               tmp_path, flags, small_temp,  # noqa: F811
                                                                               monkeypatch):
        for name in NO_JAVA:
            monkeypatch.delenv(name, raising=False)
        http_server.serve("jre.tar.gz", os.urandom(8 << 20))
        installer = pack(config={"main_class": "com.example.Setup", "jvm_search_sequence": "",
                                 "download_url": http_server.url("file", "jre.tar.gz"), "download_without_asking": 1},
                         files=[("stwparams.conf", b"a=b\n")])
        result = installer.run("-q", env={"STOWLINE_LOG": "yes"})
        log = "".join(path.read_text("cp1252", "replace") for path in small_temp.glob("stw_nlog_*.log"))
        assert result.returncode == 1, log
        assert b"Not Enough Disk Space" in result.stdout + result.stderr, log
        assert http_server.requests("file", "jre.tar.gz") == 1  # no retries into a full disk
        assert list(small_temp.glob("tlw*_dir*")) == []
