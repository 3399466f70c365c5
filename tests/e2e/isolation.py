"""Runs of packed installers that keep to their own temp directory.

Wine replaces TEMP, TMP, USERPROFILE and PATH that come from the Unix side, so the env_runner
double sets them from inside Windows. A run then writes its log and extraction directory into a
directory of the test's own, and tests running beside it in the shared prefix cannot disturb it.
"""
import pathlib
import re
import struct
import subprocess
import zlib

from conftest import DOUBLES, STOWPACK


def windows_path(path):
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def run_with_environment(program, *args, variables=None, timeout=120, cwd=None, env=None):
    """Runs program (a Unix path) under Wine with variables set inside Windows."""
    runner = DOUBLES / "env_runner" / "env_runner.exe"
    assignments = [f"{name}={value}" for name, value in (variables or {}).items()]
    return subprocess.run(["wine", str(runner), *assignments, "--", windows_path(program), *args],
                          capture_output=True, timeout=timeout, cwd=cwd, env=env)


class PrivateTemp:
    """A temp directory of the test's own, handed to the launcher as TMP and TEMP."""

    def __init__(self, directory):
        self.directory = pathlib.Path(directory)
        self.directory.mkdir(parents=True, exist_ok=True)

    def run(self, installer, *args, variables=None, log=True):
        merged = {"TMP": windows_path(self.directory), "TEMP": windows_path(self.directory)}
        if log:
            merged["STOWLINE_LOG"] = "yes"
        merged.update(variables or {})
        return run_with_environment(installer.path, *args, variables=merged, cwd=installer.workdir)

    def log(self, directory=None):
        logs = sorted(pathlib.Path(directory or self.directory).glob("stw_nlog_*.log"),
                      key=lambda p: p.stat().st_mtime)
        assert logs, "no log was written"
        return logs[-1].read_bytes()[3:].decode("utf-8")

    def extraction_directories(self):
        return [p for p in self.directory.iterdir() if p.is_dir() and re.fullmatch(r"tlw\w+\.tmp_dir\d+", p.name)]

    def temp_files(self):
        return [p for p in self.directory.iterdir() if p.is_file() and re.fullmatch(r"tlw\w+\.tmp", p.name)]


def dump(path):
    result = subprocess.run([str(STOWPACK), "dump", str(path)], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    return result.stdout


def offsets(path):
    """(config block start, payload start) as the packer reports them."""
    text = dump(path)
    block = int(re.search(r"config block at (\d+)", text).group(1))
    return block


def patch_config_string(path, key, old, new):
    """Replaces the text of a narrow config entry by one of the same length and re-seals the CRC,
    for what the packer refuses to write (names it would reject, a count that disagrees)."""
    assert len(old) == len(new)
    data = bytearray(path.read_bytes())
    block = offsets(path)
    entry = struct.pack("<ii", key, len(old)) + old
    at = data.find(entry, block)
    assert at > 0 and data.find(entry, at + 1) < 0, "entry not found exactly once"
    data[at + 8: at + 8 + len(old)] = new
    present, = struct.unpack_from("<I", data, block + 4)
    covered, = struct.unpack_from("<q", data, block + 12)
    if present:
        crc = zlib.crc32(bytes(data[block + 20: block + 20 + covered])) & 0xFFFFFFFF
        struct.pack_into("<I", data, block + 8, crc)
    path.write_bytes(bytes(data))
