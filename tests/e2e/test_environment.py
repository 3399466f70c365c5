"""Process environment of packed installers under Wine: native library directories in front of
PATH, PATH reduced to the Windows directory (what a child process sees of the Java option variables
is tested in tests/wine/environment_test.cpp)."""

import pytest

from isolation import PrivateTemp, windows_path


@pytest.fixture
def temp(tmp_path):
    return PrivateTemp(tmp_path / "temp")


def logged(log, prefix):
    lines = [line.split("] ", 1)[1] for line in log.splitlines() if "] " + prefix in line]
    assert lines, f"no line {prefix!r} in the log"
    return lines


def test_native_library_directories_come_first_in_their_order(pack, temp):
    installer = pack(config={"native_library_directories": "lib;bin\\x64"})
    temp.run(installer, "-q", variables={"PATH": "C:\\windows\\system32;C:\\windows"})
    directory = windows_path(installer.path.parent)
    assert logged(temp.log(), "Setting PATH (native libs)") == [
        f"Setting PATH (native libs) {directory}\\lib;{directory}\\bin\\x64;C:\\windows\\system32;C:\\windows"]
    assert logged(temp.log(), "Adding DLL directory") == [
        f"Adding DLL directory {directory}\\lib", f"Adding DLL directory {directory}\\bin\\x64"]


@pytest.mark.parametrize("path, reduced", [
    ("C:\\WINDOWS\\SYSTEM32;D:\\tools\\bin", "C:\\WINDOWS\\SYSTEM32"),
    ("D:\\tools;;c:\\Windows;E:\\x", "c:\\Windows"),
])
def test_reduced_path_keeps_entries_under_the_windows_directory_in_any_case(pack, temp, path, reduced):
    installer = pack(config={"reduce_path": 1})
    temp.run(installer, "-q", variables={"PATH": path})
    log = temp.log()
    assert logged(log, "reduced PATH") == [f"reduced PATH {len(reduced)} to {reduced}"]
    assert logged(log, "Setting PATH (native libs)") == [f"Setting PATH (native libs) {reduced}"]


def test_a_path_without_windows_entries_is_left_alone(pack, temp):
    installer = pack(config={"reduce_path": 1})
    temp.run(installer, "-q", variables={"PATH": "D:\\tools;E:\\bin"})
    log = temp.log()
    assert logged(log, "reduced PATH") == ["reduced PATH 0 to "]
    assert logged(log, "Setting PATH (native libs)") == ["Setting PATH (native libs) D:\\tools;E:\\bin"]
