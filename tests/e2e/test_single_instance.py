"""Instance coordination of packed installers under Wine: numbered semaphores, the hand-over of a
second start in single-instance mode, and the forwarded command lines that reach the running
instance's com/tallow/Controller.startupPerformed in the test VM."""
import json
import os
import re
import subprocess
import time

from conftest import DOUBLES, read_log
from runtimes import windows_path

PIDS_KEY = r"HKCU\SOFTWARE\fenmoor\tallow\pids"


def installer(pack, runtimes, config=None):
    runtime = runtimes.make("jre", "11.0.2")
    merged = {"jvm_search_sequence": "A" + runtime.windows(), "main_class": "com.example.Setup"}
    merged.update(config or {})
    return pack(config=merged, files=[("stwparams.conf", b"a=b\n")])


def start(installer, tmp_path, name, script, *args):
    """Starts an instance in the background with its own test VM script and report."""
    (tmp_path / f"{name}.script").write_text(script)
    env = {"STOWLINE_LOG": "yes", "TEST_VM_SCRIPT": str(tmp_path / f"{name}.script"),
           "TEST_VM_REPORT": str(tmp_path / f"{name}.report")}
    environment = {key: value for key, value in os.environ.items()
                   if key not in ("STOWLINE_LOG", "TALLOW_LOG")}
    environment.update(env)
    return subprocess.Popen(["wine", str(installer.path), "-q", *args], cwd=tmp_path, env=environment,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def report(tmp_path, name):
    path = tmp_path / f"{name}.report"
    return path.read_text(encoding="utf-8").splitlines() if path.exists() else []


def wait_for(condition, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    return False


def semaphore_names(wine):
    names = []
    for log in wine.logs():
        names += re.findall(r"\] semaphore name (\S+), code", read_log(log))
    return names


class TestWithoutSingleInstanceMode:
    def test_two_running_copies_get_names_ending_in_0_and_1(self, pack, wine, runtimes, tmp_path):
        setup = installer(pack, runtimes)
        first = start(setup, tmp_path, "first", "main sleep 6000\n")
        try:
            assert wait_for(lambda: any(line.startswith("main ") for line in report(tmp_path, "first")))
            second = start(setup, tmp_path, "second", "")
            assert second.wait(60) == 0
        finally:
            first.wait(60)
        assert first.returncode == 0
        names = sorted(semaphore_names(wine))
        key = windows_path(setup.path).lower().replace("\\", "_").replace(" ", "_")
        assert names == ["Local\\" + key + "0", "Local\\" + key + "1"]
        # The name reaches Java as a system property.
        options = [json.loads(line.split(" ", 2)[2]) for line in report(tmp_path, "second")
                   if line.startswith("option ")]
        assert "-Dtallow.semaphoreName=" + names[1] in options



class TestSingleInstanceMode:
    def test_later_starts_exit_0_and_the_installer_takes_no_command_lines(self, pack, wine, runtimes, tmp_path):
        """The installer does not listen for forwarded command lines: no mailslot exists that another
        process could write a command line into, and a later start only hands over and exits."""
        setup = installer(pack, runtimes, config={"10005": "1"})
        first = start(setup, tmp_path, "first", "main wait-startup 1 15000\n")
        try:
            assert wait_for(lambda: any(line.startswith("main ") for line in report(tmp_path, "first")))
            with_arguments = start(setup, tmp_path, "second", "", "alpha", "two words")
            assert with_arguments.wait(60) == 0
            pids = [int(pid) for log in wine.logs() for pid in re.findall(r"\] other pid (\d+)", read_log(log))]
            assert len(pids) == 1 and pids[0] != 0
            writer = subprocess.run(["wine", str(DOUBLES / "file_locker" / "file_locker.exe"), "0", "-e",
                                     f"\\\\.\\mailslot\\stowline_notification_{pids[0]}"],
                                    capture_output=True, timeout=60)
            assert writer.returncode == 2, "another process could open the installer's mailslot"
        finally:
            first.wait(60)
        assert first.returncode == 0
        lines = report(tmp_path, "first")
        assert "startup-wait 1 timeout" in lines
        assert not [line for line in lines if line.startswith("startup-performed ")]
        assert not [log for log in wine.logs() if "mailslot" in read_log(log)]
        # The later start never got as far as a VM of its own.
        assert report(tmp_path, "second") == []
