"""End-to-end tests: pack installers with stowpack and run them under Wine, for the launcher of
either architecture (LAUNCHER_EXE and TEST_DOUBLES of the x64 or the x86 tree; x64 by default).

The Wine prefix and its persistent server come from scripts/wine-env.sh (scripts/test.sh sources
it). Tests run one after another: they share the prefix's temp directory. What differs by
architecture (the bitness in messages, the registry view a runtime is found in, PE32 or PE32+)
comes from BITS, read from the launcher's own header, never assumed.
"""
import os
import pathlib
import shutil
import struct
import subprocess

import pytest

from runtimes import Registry, Runtimes

ROOT = pathlib.Path(__file__).resolve().parents[2]
LAUNCHER = pathlib.Path(os.environ.get("LAUNCHER_EXE", ROOT / "build/x64/windows/launcher.exe"))
STOWPACK = pathlib.Path(os.environ.get("STOWPACK", ROOT / "build/native/tools/stowpack/stowpack"))
DOUBLES = pathlib.Path(os.environ.get("TEST_DOUBLES", ROOT / "build/x64/tests/doubles"))


def pe_bits(path):
    """32 for a PE32 image, 64 for PE32+ (the optional header's magic), None when unreadable."""
    try:
        data = pathlib.Path(path).read_bytes()[:4096]
        pe, = struct.unpack_from("<I", data, 60)
        magic, = struct.unpack_from("<H", data, pe + 24)
    except (OSError, struct.error):
        return None
    return {0x10B: 32, 0x20B: 64}.get(magic)


# The launcher's bitness: what its messages name, and the registry view its default reads reach
# (a 32-bit program on 64-bit Windows reads HKLM\SOFTWARE through WOW6432Node).
BITS = pe_bits(LAUNCHER) or 64


def toml_value(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, int):
        return str(value)
    text = str(value).replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")
    return f'"{text}"'


class Installer:
    """A packed installer and helpers to run it."""

    def __init__(self, path, workdir):
        self.path = path
        self.workdir = workdir

    def run(self, *args, env=None, timeout=60, cwd=None):
        environment = dict(os.environ)
        environment.pop("STOWLINE_LOG", None)
        environment.pop("TALLOW_LOG", None)
        environment.update(env or {})
        return subprocess.run(["wine", str(self.path), *args], cwd=cwd or self.workdir, env=environment,
                              capture_output=True, timeout=timeout)


class Wine:
    def __init__(self):
        prefix = os.environ.get("WINEPREFIX")
        if not prefix or not pathlib.Path(prefix, "system.reg").exists():
            pytest.skip("no Wine prefix: run through scripts/test.sh")
        self.prefix = pathlib.Path(prefix)
        user = os.environ.get("USER") or subprocess.run(["whoami"], capture_output=True, text=True).stdout.strip()
        self.temp = self.prefix / "drive_c" / "users" / user / "Temp"

    def logs(self):
        return sorted(self.temp.glob("stw_nlog_*.log"), key=lambda p: p.stat().st_mtime)

    def clear_logs(self):
        for log in self.temp.glob("stw_nlog_*.log"):
            log.unlink()

    def windows_path(self, path):
        return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


@pytest.fixture(scope="session")
def wine():
    return Wine()


@pytest.fixture
def pack(tmp_path, wine):
    """pack(config={...}, messages={...}, translations={"de": {...}}, files=[(name, bytes)], options=[...])"""
    wine.clear_logs()

    def make(config=None, messages=None, translations=None, files=(), options=(), name="installer.exe",
             java_data=None):
        lines = [f'launcher = {toml_value(LAUNCHER)}', 'download_site = "https://downloads.example.org/java"']
        if java_data is not None:
            data = tmp_path / "java_data.bin"
            data.write_bytes(java_data)
            lines.append(f"java_data = {toml_value(data)}")
        lines.append("[config]")
        merged = {"application_name": "Test App", "launcher_type": 0}
        merged.update(config or {})
        for key, value in merged.items():
            lines.append(f'"{key}" = {toml_value(value)}')
        if messages:
            lines.append("[messages]")
            lines += [f'"{key}" = {toml_value(value)}' for key, value in messages.items()]
        for language, table in (translations or {}).items():
            lines.append(f"[messages.{language}]")
            lines += [f'"{key}" = {toml_value(value)}' for key, value in table.items()]
        for index, (file_name, content) in enumerate(files):
            source = tmp_path / f"payload_{index}.bin"
            source.write_bytes(content)
            lines += ["[[files]]", f"source = {toml_value(source)}", f"name = {toml_value(file_name)}"]
        project = tmp_path / "project.toml"
        project.write_text("\n".join(lines) + "\n", encoding="utf-8")
        output = tmp_path / name
        result = subprocess.run([str(STOWPACK), "build", str(project), "-o", str(output), *options],
                                capture_output=True, text=True)
        assert result.returncode == 0, result.stderr
        return Installer(output, tmp_path)

    return make


def read_log(path):
    return path.read_bytes()[3:].decode("utf-8")


@pytest.fixture
def runtime(tmp_path, monkeypatch):
    """make(version, jli=False): a Java home with the stub java.exe and the test VM."""
    for name in ("JAVA_HOME", "JDK_HOME", "TALLOW_JAVA_HOME", "STOWLINE_JAVA_HOME", "_JAVA_OPTIONS",
                 "JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "MANPATH", "TEST_VM_SCRIPT"):
        monkeypatch.delenv(name, raising=False)

    def make(version="11.0.2", jli=False, name="rt"):
        home = tmp_path / name
        (home / "bin" / "server").mkdir(parents=True)
        shutil.copyfile(DOUBLES / "java_stub" / "java.exe", home / "bin" / "java.exe")
        (home / "bin" / "java_stub.cfg").write_text(f'err=java version "{version}"\nexit=0\n')
        shutil.copyfile(DOUBLES / "test_vm" / "jvm.dll", home / "bin" / "server" / "jvm.dll")
        if jli:
            shutil.copyfile(DOUBLES / "jli" / "jli.dll", home / "bin" / "jli.dll")
        return home

    if not (DOUBLES / "test_vm" / "jvm.dll").exists():
        pytest.skip("build the jvm, jli and java_stub doubles")
    return make


@pytest.fixture
def java_home(runtime, wine):
    """Environment that lets an installer find a working test runtime (stub java.exe, test VM)."""
    return {"STOWLINE_JAVA_HOME": wine.windows_path(runtime())}


@pytest.fixture
def runtimes(tmp_path, wine, monkeypatch):
    """Runtime layouts and registry entries (tests/e2e/runtimes.py), removed after the test."""
    for name in ("JAVA_HOME", "JDK_HOME", "TALLOW_JAVA_HOME", "STOWLINE_JAVA_HOME", "_JAVA_OPTIONS"):
        monkeypatch.delenv(name, raising=False)
    made = Runtimes(tmp_path / "runtimes", DOUBLES, Registry(), bits=BITS)
    yield made
    made.cleanup()


def block_start(data):
    """File offset of the config block: right after the last section table entry's raw data."""
    pe = struct.unpack_from("<i", data, 60)[0]
    count, = struct.unpack_from("<h", data, pe + 6)
    optional, = struct.unpack_from("<h", data, pe + 20)
    entry = pe + optional + 40 * count - 16
    size, offset = struct.unpack_from("<II", data, entry + 16)
    return offset + size


@pytest.fixture
def tool(pack):
    """tool(config): the config block and payload packed onto runtime_tool.exe, a test program
    that links the launcher's library and calls one module (verify, untar, download) directly."""
    def make(config=None):
        return pack(config=config, options=["--launcher", str(DOUBLES / "runtime_tool" / "runtime_tool.exe")],
                    name="tool.exe")
    return make


def own_log(wine, tmp_path):
    """The newest native log written by a program that lives under tmp_path."""
    marker = str(tmp_path).replace("/", "\\").lower()
    for log in sorted(wine.logs(), key=lambda p: p.stat().st_mtime, reverse=True):
        text = read_log(log)
        if marker in text.split("\n", 1)[0].lower():
            return text
    return ""
