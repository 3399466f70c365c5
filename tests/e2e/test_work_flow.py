"""The installer work flow of packed installers under Wine: integrity check, extraction, the choice
of a runtime, packed payload jars, extract-and-exit, restart runs, the registry flags and the call
of main in the test VM (tests/doubles/test_vm)."""
import io
import json
import os
import pathlib
import re
import tarfile

import pytest

from conftest import BITS, DOUBLES, read_log
from runtimes import wine_reg, windows_path

FLAGS_KEY = r"HKCU\SOFTWARE\fenmoor\tallow"
PAYLOAD = [("stwruntime.jar", b"runtime jar"), ("stwparams.conf", b"a=b\n"), ("data\\notes.txt", b"x" * 5000)]


@pytest.fixture
def flags():
    """Deletes the work flow's registry flags before and after a test; reads them."""
    def delete():
        wine_reg("delete", FLAGS_KEY, "/v", "InstallStarted", "/f")

    def read(name="InstallStarted"):
        result = wine_reg("query", FLAGS_KEY, "/v", name)
        match = re.search(r"REG_DWORD\s+0x([0-9a-f]+)", result.stdout)
        return int(match.group(1), 16) if match else None

    delete()
    yield read
    delete()


class Run:
    """One run of an installer with the native log and the test VM's report."""

    def __init__(self, installer, wine, tmp_path, *args, script=None, cwd=None, env=None):
        report = tmp_path / "vm_report.txt"
        report.unlink(missing_ok=True)
        environment = {"STOWLINE_LOG": "yes", "TEST_VM_REPORT": str(report), **(env or {})}
        if script is not None:
            (tmp_path / "vm_script.txt").write_text(script)
            environment["TEST_VM_SCRIPT"] = str(tmp_path / "vm_script.txt")
        wine.clear_logs()
        self.result = installer.run(*args, env=environment, cwd=cwd)
        self.code = self.result.returncode
        self.stdout = self.result.stdout.decode("cp1252")
        self.stderr = self.result.stderr.decode("cp1252")
        started = "Started executable " + windows_path(installer.path) + " "
        logs = [text for text in map(read_log, wine.logs()) if text.startswith(started)]
        self.log = logs[-1] if logs else ""
        self.report = report.read_text(encoding="utf-8").splitlines() if report.exists() else []

    def logged(self, text):
        return re.search(r"^\[\d+:\d+\] (ERROR: )?" + re.escape(text) + r"\r?$", self.log, re.MULTILINE) is not None

    def log_values(self, prefix):
        return re.findall(r"^\[\d+:\d+\] (?:ERROR: )?" + re.escape(prefix) + r"(.*?)\r?$", self.log, re.MULTILINE)

    def main_arguments(self):
        return [json.loads(line.split(" ", 2)[2]) for line in self.report if line.startswith("main-arg ")]


def installer_with_runtime(pack, runtimes, config=None, files=PAYLOAD, **options):
    runtime = runtimes.make("jre", "11.0.2")
    merged = {"jvm_search_sequence": "A" + runtime.windows(), "main_class": "com.example.Setup"}
    merged.update(config or {})
    return pack(config=merged, files=files, **options), runtime


class TestQuietInstall:
    def test_checks_extracts_loads_and_calls_main_with_the_arguments(self, pack, wine, runtimes, tmp_path, flags):
        installer, runtime = installer_with_runtime(pack, runtimes, config={"default_arguments": "-x \"d e\""})
        run = Run(installer, wine, tmp_path, "-q", "alpha", "two words")
        assert run.code == 0, run.stderr
        assert run.logged("Quiet installer.") and run.logged("Starting work")
        computed, expected = run.log_values("checksums: ")[0].split()[:2]
        assert computed == expected
        extracted = run.log_values("extracting ")
        for name, content in PAYLOAD:
            assert any(line.endswith(f"\\{name} (size: {len(content)})") for line in extracted), name
        assert run.logged("No JRE included")
        assert "vm-created" in run.report and "main-returned" in run.report
        assert run.main_arguments() == ["false", "com.example.Setup", "", "", "false", windows_path(installer.path),
                                        "-x", "d e", "-q", "alpha", "two words"]
        # A quiet run has no window: only the global flag is set, and it stays after a normal start.
        assert flags() == 1
        assert run.log_values("Could not start JVM") == []


class TestNoRuntime:
    def test_quiet_without_download_ends_with_83_and_cleans_up(self, pack, wine, tmp_path, flags, monkeypatch):
        for name in ("JAVA_HOME", "JDK_HOME", "TALLOW_JAVA_HOME", "STOWLINE_JAVA_HOME"):
            monkeypatch.delenv(name, raising=False)
        installer = pack(config={"jvm_search_sequence": "A" + windows_path(tmp_path / "nothing")}, files=PAYLOAD)
        run = Run(installer, wine, tmp_path, "-q")
        assert run.code == 83
        assert run.stdout == "No JRE found. Aborting.\n"
        assert run.logged("No JRE found")
        assert flags() is None
        # The extraction directory goes with the process.
        extraction = pathlib.PureWindowsPath(run.log_values("Temp dir3: ")[0])
        assert extraction.name and not (wine.temp / extraction.name).exists()

    def test_without_a_desktop_the_search_result_is_shown_instead_of_the_choice(self, pack, wine, tmp_path,
                                                                                  flags, monkeypatch):
        for name in ("JAVA_HOME", "JDK_HOME", "TALLOW_JAVA_HOME", "STOWLINE_JAVA_HOME", "DISPLAY"):
            monkeypatch.delenv(name, raising=False)
        installer = pack(config={"jvm_search_sequence": "A" + windows_path(tmp_path / "nothing")}, files=PAYLOAD)
        run = Run(installer, wine, tmp_path)  # not quiet: the choice dialog would be the remedy
        assert run.code == 1
        assert run.stderr.startswith("No JVM could be found on your system.")
        assert f"installed {BITS}-bit JDK or JRE" in run.stderr
        assert run.log_values("could not show the runtime choice dialog ")
        assert not run.logged("Could not start JVM")
        assert flags() is None

    def test_manual_switch_skips_an_installed_runtime(self, pack, wine, runtimes, tmp_path, flags):
        installer, _ = installer_with_runtime(pack, runtimes)
        run = Run(installer, wine, tmp_path, "-q", "-manual")
        assert run.code == 83
        assert run.stdout == "No JRE found. Aborting.\n"
        assert run.report == []


def runtime_archive(runtimes, tmp_path):
    """A "jre.tar.gz" holding a runtime with the stub java.exe and the test VM."""
    source = runtimes.make("bundled", "11.0.2", root=tmp_path / "bundle_source")
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w:gz", format=tarfile.USTAR_FORMAT) as archive:
        for path in sorted(source.home.rglob("*")):
            archive.add(path, arcname=path.relative_to(source.home).as_posix(), recursive=False)
    return buffer.getvalue()


class TestIncludedRuntime:
    def test_key_161_prefers_an_installed_runtime(self, pack, wine, runtimes, tmp_path, flags):
        installer, runtime = installer_with_runtime(
            pack, runtimes, config={"prefer_installed_runtime": "1"}, files=[*PAYLOAD, ("jre.tar.gz", runtime_archive(runtimes, tmp_path))])
        run = Run(installer, wine, tmp_path, "-q")
        assert run.code == 0, run.stderr
        assert run.logged("JRE included") and not run.logged("extracting JRE")
        assert "main-returned" in run.report

    def test_manual_switch_ignores_the_included_runtime(self, pack, wine, runtimes, tmp_path, flags):
        installer = pack(files=[*PAYLOAD, ("jre.tar.gz", runtime_archive(runtimes, tmp_path))])
        run = Run(installer, wine, tmp_path, "-q", "-manual")
        assert run.logged("Included JRE not used because of manual switch")
        assert run.code == 83


class TestPackedPayloadJars:
    def test_pack_files_of_the_payload_are_unpacked_with_the_runtimes_tool(self, pack, wine, runtimes, tmp_path,
                                                                            flags):
        tool = DOUBLES / "unpack200" / "unpack200.exe"
        if not tool.exists():
            pytest.skip("build the unpack200 double")
        files = [*PAYLOAD, ("app.jar.pack", b"PACK200-DOUBLE\napp jar bytes"), ("other.jar", b"plain")]
        installer, runtime = installer_with_runtime(pack, runtimes, files=files)
        (runtime.home / "bin" / "unpack200.exe").write_bytes(tool.read_bytes())
        calls = tmp_path / "unpack_calls.txt"
        run = Run(installer, wine, tmp_path, "-q", env={"UNPACK200_DOUBLE_LOG": str(calls)})
        assert run.code == 0, run.stderr
        assert run.logged("unpacking app.jar.pack") and not run.logged("unpacking other.jar")
        lines = calls.read_text(encoding="utf-8").splitlines()
        assert len(lines) == 1 and lines[0].startswith("-r \"") and lines[0].endswith("app.jar\"")


class TestExtractAndExit:
    def test_writes_the_unextracted_position_and_keeps_the_directory(self, pack, wine, runtimes, tmp_path, flags):
        trailing = b"data the Java side reads itself"
        installer, _ = installer_with_runtime(pack, runtimes, java_data=trailing)
        run = Run(installer, wine, tmp_path, "__stw_extract_and_exit", "-q")
        assert run.code == 0, run.stderr
        directory = installer.path.with_name(installer.path.name + ".test")
        position = (directory / "unextracted.txt").read_bytes()
        assert position == str(installer.path.stat().st_size - len(trailing)).encode()
        for name, content in PAYLOAD:
            assert (directory / pathlib.PureWindowsPath(name)).read_bytes() == content
        assert run.report == [] or not any(line.startswith("main ") for line in run.report)



class TestLanguageRestart:
    def test_a_complete_directory_is_used_as_it_is(self, pack, wine, runtimes, tmp_path, flags):
        installer, _ = installer_with_runtime(pack, runtimes)
        directory = tmp_path / "previous_run"
        directory.mkdir()
        for name in ("stwruntime.jar", "stwparams.conf"):
            (directory / name).write_bytes(b"from the first run")
        run = Run(installer, wine, tmp_path, "__stw_lang_restart", cwd=directory)
        assert run.code == 0, run.stderr
        assert run.log_values("checksums: ") == [] and run.log_values("Temp dir3: ") == []
        assert (directory / "stwparams.conf").read_bytes() == b"from the first run"
        assert "main-returned" in run.report
        # A restart leaves the flags alone.
        assert flags() is None



class TestProgressDialog:
    def test_without_a_desktop_the_install_runs_without_the_dialog(self, pack, wine, runtimes, tmp_path, flags,
                                                                   monkeypatch):
        monkeypatch.delenv("DISPLAY", raising=False)
        installer, _ = installer_with_runtime(pack, runtimes)
        run = Run(installer, wine, tmp_path)
        assert run.code == 0, run.stderr
        assert not run.logged("Quiet installer.")
        assert run.log_values("could not show the progress dialog ")
        assert "main-returned" in run.report

    @pytest.mark.skipif("DISPLAY" not in os.environ, reason="needs a display (Xvfb)")
    def test_the_dialog_hides_once_the_java_window_shows(self, pack, wine, runtimes, tmp_path, flags):
        installer, _ = installer_with_runtime(pack, runtimes)
        run = Run(installer, wine, tmp_path, script="main window Setup\nmain sleep 3000\n")
        assert run.code == 0, run.stderr
        assert run.logged("Java window visible")
        assert run.log_values("could not show the progress dialog ") == []
        # The per-process flag existed while the window was awaited and is gone now.
        values = wine_reg("query", FLAGS_KEY).stdout
        assert flags() == 1
        assert "InstallStarted_" not in values
