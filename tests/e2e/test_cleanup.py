"""The "__stw_windel" clean-up run under Wine, in a throw-away Wine prefix of its own: it writes
deletions for the next reboot into the prefix's registry, which the shared prefix must not get.
The reboot itself (ExitWindowsEx) is not reached: no test answers the reboot question with Yes
or asks for "force_reboot"."""
import os
import pathlib
import shutil
import subprocess
import tempfile

import pytest

from conftest import DOUBLES, LAUNCHER
from isolation import windows_path

SESSION_MANAGER = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"
PRODUCT_KEYS = ["HKCU\\SOFTWARE\\fenmoor\\stowline", "HKLM\\SOFTWARE\\fenmoor\\stowline"]


class Prefix:
    def __init__(self, path):
        self.path = pathlib.Path(path)
        self.env = dict(os.environ, WINEPREFIX=str(self.path), WINEARCH="win64", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("DISPLAY", None)
        self.env.pop("STOWLINE_LOG", None)
        self.env.pop("TALLOW_LOG", None)

    def start(self):
        # Output to /dev/null: the server daemon would keep a reader's pipe open for ever.
        subprocess.run(["wineserver", "-p"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineboot", "-i"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wine(self, *args, timeout=180):
        return subprocess.run(["wine", *map(str, args)], env=self.env, capture_output=True, timeout=timeout)

    def query(self, key, value):
        """The value's data as `reg query` prints it, or None when missing."""
        result = self.wine("reg", "query", key, "/v", value)
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0] == value:
                return parts[2] if len(parts) == 3 else ""
        return None

    def delete(self, key, value):
        self.wine("reg", "delete", key, "/v", value, "/f")

    def pending(self):
        return self.query(SESSION_MANAGER, "PendingFileRenameOperations") or ""

    def locker(self, milliseconds, *args):
        process = subprocess.Popen(["wine", str(DOUBLES / "file_locker" / "file_locker.exe"), str(milliseconds),
                                    *map(str, args)], env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        assert process.stdout.readline().strip() == b"locked", process.stderr.read()
        return process

    def delete_listed(self, list_file):
        return self.wine(LAUNCHER, "__stw_windel", windows_path(list_file))


@pytest.fixture(scope="module")
def prefix():
    if shutil.which("wineserver") is None:
        pytest.skip("Wine is not installed")
    directory = tempfile.mkdtemp(prefix="cleanup-prefix-")
    wine = Prefix(directory)
    wine.start()
    yield wine
    wine.stop()
    shutil.rmtree(directory, ignore_errors=True)


@pytest.fixture
def clean(prefix):
    prefix.delete(SESSION_MANAGER, "PendingFileRenameOperations")
    for key in PRODUCT_KEYS:
        prefix.delete(key, "RebootCheckFile")
    started = []
    yield started
    for process in started:
        process.kill()
        process.wait()


def write_list(path, semaphore="", options="none", question=("",), failure=("",), files=(), directories=()):
    lines = [semaphore, options, *question, "EOSMARKER", *failure, "EOSMARKER",
             *map(windows_path, files), "", *map(windows_path, directories)]
    path.write_bytes("\r\n".join(lines).encode("utf-16-le") + "\r\n".encode("utf-16-le"))
    return path


def make_tree(root, *names):
    for name in names:
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_bytes(b"leftover")


def test_files_before_directories_and_the_list_itself(prefix, clean, tmp_path):
    work = tmp_path / "app"
    make_tree(work, "a.txt", "sub/b.txt")
    listed = write_list(tmp_path / "list.lst", semaphore="Local\\nobody_holds_this_one",
                        files=[work / "a.txt", work / "sub" / "b.txt", work / "gone.txt"],
                        directories=[work / "sub", work])
    assert prefix.delete_listed(listed).returncode == 0
    assert not work.exists()
    assert not listed.exists()


def test_an_unreadable_list_is_an_empty_list(prefix, clean, tmp_path):
    result = prefix.delete_listed(tmp_path / "missing.lst")
    assert result.returncode == 0


def test_the_run_waits_until_the_writer_releases_its_semaphore(prefix, clean, tmp_path):
    work = tmp_path / "app"
    make_tree(work, "a.txt")
    report = tmp_path / "report.txt"
    locker = prefix.locker(1500, "-s", "Local\\cleanup_writer", "-r", windows_path(report), "-w",
                           windows_path(work / "a.txt"))
    clean.append(locker)
    listed = write_list(tmp_path / "list.lst", semaphore="Local\\cleanup_writer", files=[work / "a.txt"],
                        directories=[work])
    assert prefix.delete_listed(listed).returncode == 0
    assert report.read_text().split() == ["present"]  # untouched while the writer ran
    assert not work.exists()


def test_a_file_released_after_a_few_seconds_is_deleted_without_a_reboot(prefix, clean, tmp_path):
    work = tmp_path / "app"
    make_tree(work, "held.dll", "free.txt")
    clean.append(prefix.locker(2500, windows_path(work / "held.dll")))
    listed = write_list(tmp_path / "list.lst", options="reboot_deletion", question=("Restart now?",),
                        files=[work / "held.dll", work / "free.txt"], directories=[work])
    assert prefix.delete_listed(listed).returncode == 0
    assert not work.exists()
    assert "held.dll" not in prefix.pending()
    for key in PRODUCT_KEYS:
        assert prefix.query(key, "RebootCheckFile") is None


def test_a_locked_file_of_an_extraction_directory_is_scheduled_at_once(prefix, clean, tmp_path):
    extraction = tmp_path / "tlw1A2B.tmp_dir1700000000"
    make_tree(extraction, "stwruntime.jar", "other.txt")
    locker = prefix.locker(60000, windows_path(extraction / "stwruntime.jar"))
    clean.append(locker)
    listed = write_list(tmp_path / "list.lst", files=[extraction / "stwruntime.jar", extraction / "other.txt"],
                        directories=[extraction])
    assert prefix.delete_listed(listed).returncode == 0
    assert locker.poll() is None  # done long before the file was released: no retries
    pending = prefix.pending()
    assert windows_path(extraction / "stwruntime.jar") in pending
    assert windows_path(extraction) in pending
    assert not (extraction / "other.txt").exists()
    for key in PRODUCT_KEYS:  # no reboot question, so no marker either
        assert prefix.query(key, "RebootCheckFile") is None


def test_a_short_reboot_question_is_never_asked_and_the_marker_is_recorded(prefix, clean, tmp_path):
    """Takes the full 60 passes (about 30 seconds)."""
    work = tmp_path / "app"
    make_tree(work, "held.dll")
    clean.append(prefix.locker(60000, windows_path(work / "held.dll")))
    listed = write_list(tmp_path / "list.lst", options="reboot_deletion", question=("Boot?",),
                        files=[work / "held.dll"], directories=[work])
    assert prefix.delete_listed(listed).returncode == 0
    pending = prefix.pending()
    assert windows_path(work / "held.dll") in pending
    markers = [prefix.query(key, "RebootCheckFile") for key in PRODUCT_KEYS]
    assert markers[0] and markers[0] == markers[1]
    name = markers[0].rsplit("\\", 1)[1]
    assert name.lower().startswith("ide") and name.lower().endswith(".tmp")
    assert markers[0] in pending
