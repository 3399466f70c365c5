"""What another process can do to a running installer: replace its file, or plant links and
directories in its extraction directory while it extracts. Wine enforces no ACLs, so the planting
succeeds here as it would not on Windows; what is shown is that the launcher never writes through
what it did not create. Wine shows Unix symbolic links as plain files and directories."""
import os
import subprocess
import threading
import time

import pytest

from conftest import read_log
from test_work_flow import runtime_archive

MESSAGES = {"internal_error": "INTERNAL-ERROR {0}"}
PARTS = [f"data\\part{index}.bin" for index in range(5)]
CORRUPTED_RUNTIME = "The bundled JRE is corrupted. If you downloaded the setup file please download it again."


def run_while(installer, wine, args, when, then, env=None):
    """Runs installer; the first time when() is true during the run, calls then() once. Returns the
    run's result and whether then() was called."""
    environment = dict(os.environ, STOWLINE_LOG="yes", **(env or {}))
    process = subprocess.Popen(["wine", str(installer.path), *args], cwd=installer.workdir, env=environment,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    acted = threading.Event()

    def watch():
        while process.poll() is None:
            if when():
                then()
                acted.set()
                return
            time.sleep(0.001)

    watcher = threading.Thread(target=watch, daemon=True)
    watcher.start()
    out, err = process.communicate(timeout=120)
    watcher.join(5)
    return process.returncode, err.decode("cp1252"), acted.is_set()


def test_an_installer_replaced_after_the_start_is_never_read(pack, wine, tmp_path, java_home):
    # The replacement is a valid installer of the same layout: read by path it would pass the check.
    # It takes the installer's place while the check reads (large parts make that take a while).
    originals = [os.urandom(24 << 20) for _ in PARTS]
    installer = pack(files=list(zip(PARTS, originals)))
    replacement = pack(files=[(name, os.urandom(24 << 20)) for name in PARTS], name="replacement.exe")
    moved = tmp_path / "installer.old"

    def checking():
        return any("] starting at " in read_log(log) for log in wine.logs())

    def swap():
        os.rename(installer.path, moved)
        os.rename(replacement.path, installer.path)

    code, err, swapped = run_while(installer, wine, ["__stw_extract_and_exit", "-q"], checking, swap, env=java_home)
    assert swapped and code == 0, err
    directory = tmp_path / "installer.exe.test" / "data"
    assert [(directory / f"part{index}.bin").read_bytes() == data for index, data in enumerate(originals)] \
        == [True] * len(PARTS)


@pytest.mark.parametrize("planted", ["jre link", "file link", "jre from the payload"])
def test_nothing_is_written_through_what_the_run_did_not_create(pack, wine, runtimes, tmp_path, planted):
    files = [(name, os.urandom(8 << 20)) for name in PARTS] + [("jre.tar.gz", runtime_archive(runtimes, tmp_path))]
    if planted == "jre from the payload":
        files.insert(0, ("jre\\readme.txt", b"shipped beside the runtime archive"))
    installer = pack(files=files, messages=MESSAGES)
    before = set(wine.temp.glob("tlw*_dir*"))
    foreign = tmp_path / "foreign"  # a directory of someone else's, and a file
    foreign.mkdir()
    theirs = tmp_path / "theirs.bin"
    theirs.write_bytes(b"theirs")

    def new_directory():
        return [d for d in set(wine.temp.glob("tlw*_dir*")) - before if d.is_dir() and (d / "data").is_dir()]

    def plant():
        directory = new_directory()[0]
        if planted == "jre link":
            os.symlink(foreign, directory / "jre")
        else:
            os.symlink(theirs, directory / "data" / "part4.bin")

    if planted == "jre from the payload":
        code, err, acted = run_while(installer, wine, ["-q"], lambda: False, lambda: None)
    else:
        code, err, acted = run_while(installer, wine, ["-q"], lambda: bool(new_directory()), plant)
        assert acted
    assert code == 1
    assert err.startswith("INTERNAL-ERROR 11" if planted == "file link" else CORRUPTED_RUNTIME), err
    # Nothing reached the linked file or directory. (Removing the extraction directory after the
    # failure may remove the targets themselves under Wine, which shows Unix links as plain files
    # and directories; Windows removes a link as a link.)
    assert not theirs.exists() or theirs.read_bytes() == b"theirs"
    assert not (foreign / "bin").exists()
