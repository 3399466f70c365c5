"""Cancel of the installer's progress dialog at many moments of a long extraction, untar and
download, in the dialog's own mode and in wrapper mode without a wrapper window (config key 155):
the run ends with 0, the flags are cleared, and no extraction directory or partial file stays.

The Cancel press is a WM_COMMAND IDCANCEL posted to the dialog by tests/doubles/dialog_cancel under
an X server (Xvfb is started when no display is given)."""
import io
import os
import pathlib
import shutil
import subprocess
import tarfile
import threading
import time

import pytest

from conftest import DOUBLES
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
