"""stowpack.exe under Wine packs the same bytes as the native stowpack, and reads them back alike."""
import os
import pathlib
import shutil
import subprocess

import pytest

from conftest import LAUNCHER, ROOT, STOWPACK
from runtimes import run_wine

STOWPACK_EXE = pathlib.Path(os.environ.get("STOWPACK_EXE", ROOT / "build/x64/tools/stowpack/stowpack.exe"))


def native(*args):
    return subprocess.run([str(STOWPACK), *map(str, args)], capture_output=True)


def windows(wine, *args):
    # Wine turns the UTF-8 command line into UTF-16 under a UTF-8 locale only.
    environment = {**os.environ, "LC_ALL": "C.UTF-8"}
    converted = [wine.windows_path(a) if isinstance(a, pathlib.Path) else a for a in args]
    # The packer writes a line whether it succeeds or fails.
    return run_wine(["wine", str(STOWPACK_EXE), *converted], env=environment, timeout=120)


@pytest.fixture
def demo(tmp_path):
    """make(folder, extra_toml, extra_files): examples/demo copied into tmp_path/folder."""
    def make(folder, extra_toml="", extra_files=()):
        project = tmp_path / folder
        shutil.copytree(ROOT / "examples" / "demo", project)
        for name, content in extra_files:
            (project / name).write_bytes(content)
        toml = project / "demo.toml"
        toml.write_text(toml.read_text("utf-8") + extra_toml, encoding="utf-8")
        return toml

    if not STOWPACK_EXE.exists():
        pytest.skip("build stowpack in the x64 tree (ninja -C build/x64 stowpack)")
    return make


@pytest.mark.parametrize("folder, extra_toml, extra_files", [
    ("demo", "", ()),
    # Arguments, folders, file names and texts outside ASCII: the Windows packer must not go
    # through the ANSI argument vector.
    ("Überprüfung 下载", '\n[[files]]\nsource = "données.txt"\n\n[messages]\nerror_title = "Fehler 下载"\n',
     [("données.txt", "é".encode() * 1000)]),
], ids=["demo", "non-ascii"])
def test_the_windows_packer_writes_the_native_packers_bytes(wine, demo, tmp_path, folder, extra_toml, extra_files):
    project = demo(folder, extra_toml, extra_files)
    by_native = project.parent / "native.exe"
    by_windows = project.parent / "windows.exe"
    result = native("build", project, "--launcher", LAUNCHER, "-o", by_native)
    assert result.returncode == 0, result.stderr
    result = windows(wine, "build", project, "--launcher", LAUNCHER, "-o", by_windows)
    assert result.returncode == 0, result
    assert by_windows.read_bytes() == by_native.read_bytes()

    checked_natively = native("verify", by_native)
    checked_on_windows = windows(wine, "verify", by_windows)
    assert checked_natively.returncode == checked_on_windows.returncode == 0
    assert checked_on_windows.stdout.replace(b"\r\n", b"\n") == checked_natively.stdout


def test_the_windows_packer_needs_no_dll_beside_it():
    if not STOWPACK_EXE.exists():
        pytest.skip("build stowpack in the x64 tree (ninja -C build/x64 stowpack)")
    # Wine has a zlib1.dll of its own: only the import table shows what Windows would lack.
    headers = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(STOWPACK_EXE)], capture_output=True, text=True)
    imported = {line.split()[-1].lower() for line in headers.stdout.splitlines() if "DLL Name:" in line}
    assert imported and imported <= {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "shell32.dll"}, imported


def test_the_windows_packer_names_the_failing_field_of_a_damaged_installer(wine, demo, tmp_path):
    project = demo("damaged")
    installer = project.parent / "cut.exe"
    assert native("build", project, "--launcher", LAUNCHER, "-o", installer, "--truncate-at",
                  str(LAUNCHER.stat().st_size + 30)).returncode == 0
    result = windows(wine, "verify", installer)
    assert result.returncode == 1
    assert b": readString: " in result.stderr
