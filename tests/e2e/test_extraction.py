"""Payload extraction of packed installers under Wine: names, empty files, the file count, the
unextracted position, failures, the refusal of names that leave the extraction directory, and
the choice of the temp directory."""
import os
import re
import shutil

import pytest

from isolation import PrivateTemp, patch_config_string, windows_path

KEY_FILE_COUNT = 2002
KEY_FILE_NAMES = 2003
MESSAGES = {"installation_corrupted": "CORRUPTED-TEXT", "not_enough_disk_space": "NO-SPACE-TEXT",
            "internal_error": "INTERNAL-ERROR {0}"}


@pytest.fixture
def temp(tmp_path):
    return PrivateTemp(tmp_path / "private temp")


def extraction_lines(log):
    return [line.split("] ", 1)[1] for line in log.splitlines()
            if re.search(r"\] (ERROR: )?(creating directory|extracting|Included files|unextracted|Failed|"
                         r"failed|could not|refusing|ReadFile)", line)]


class TestNamesAndEmptyFiles:
    def test_subfolder_file_empty_entry_and_the_file_after_it(self, pack, temp):
        data = os.urandom(70000)
        installer = pack(files=[("sub\\a.txt", b"hello"), ("empty.txt", b""), ("b.bin", data)], messages=MESSAGES)
        temp.run(installer, "-q")
        log = temp.log()
        directory = re.search(r"Temp dir3: (.+)", log).group(1)
        assert directory.startswith(windows_path(temp.directory) + "\\tlw")
        assert extraction_lines(log) == [
            "extracting files",
            "Included files: 3",
            f"creating directory {directory}\\sub",
            f"extracting {directory}\\sub\\a.txt (size: 5)",
            f"extracting {directory}\\empty.txt (size: 0)",
            # The length after an empty entry is read right after its 8 bytes: a wrong offset
            # would give a different size here.
            f"extracting {directory}\\b.bin (size: 70000)",
            extraction_lines(log)[6],
            "extracting files done",
        ]
        assert extraction_lines(log)[6].startswith("unextracted position ")

    def test_a_name_with_two_levels_cannot_be_created_and_ends_the_run(self, pack, temp):
        installer = pack(files=[("a\\bXc.txt", b"payload")], messages=MESSAGES)
        patch_config_string(installer.path, KEY_FILE_NAMES, b"a\\bXc.txt", b"a\\b\\c.txt")
        result = temp.run(installer, "-q")
        assert result.returncode == 1
        assert "INTERNAL-ERROR 11" in result.stderr.decode("cp1252")
        log = temp.log()
        directory = re.search(r"Temp dir3: (.+)", log).group(1)
        assert f"creating directory {directory}\\a" in log  # only the first level
        assert f"ERROR: could not create {directory}\\a\\b\\c.txt" in log
        assert temp.extraction_directories() == []  # removed on the fatal exit


class TestCountAndPosition:
    def test_two_of_three_names_are_extracted_and_the_position_follows_the_second(self, pack, temp):
        sizes = [10, 2000, 300]
        installer = pack(files=[(f"f{i}.bin", os.urandom(size)) for i, size in enumerate(sizes)])
        patch_config_string(installer.path, KEY_FILE_COUNT, b"3", b"2")
        temp.run(installer, "-q")
        log = temp.log()
        lines = extraction_lines(log)
        assert "Included files: 2" in lines
        assert [line for line in lines if line.startswith("extracting ") and "(size:" in line] == [
            line for line in lines if re.search(r"f[01]\.bin \(size: (10|2000)\)$", line)]
        assert not any("f2.bin" in line for line in lines)
        payload_start = installer.path.stat().st_size - sum(8 + size for size in sizes)
        expected = payload_start + (8 + sizes[0]) + (8 + sizes[1])
        assert f"unextracted position {expected}" in lines


class TestFailures:
    def test_a_truncated_installer_fails_as_corrupted_and_leaves_no_directory(self, pack, temp):
        installer = pack(files=[("big.bin", os.urandom(200000))], messages=MESSAGES)
        data = installer.path.read_bytes()
        installer.path.write_bytes(data[:-50000])
        result = temp.run(installer, "-q", "-nocheck")
        assert result.returncode == 1
        assert result.stderr.decode("cp1252").startswith("CORRUPTED-TEXT")
        log = temp.log()
        assert re.search(r"\] ReadFile failed 0 0 150000\n", log)
        assert "ERROR: Failed to extract big.bin" in log
        assert temp.extraction_directories() == []
        assert len(temp.temp_files()) == 1  # the empty tlw file stays for the clean-up run

    @pytest.mark.parametrize("name", [b"..\\evil.txt", b"C:\\evil.txt", b"\\\\evil.txt", b"NUL"])
    def test_names_that_leave_the_directory_are_refused(self, pack, temp, name):
        placeholder = b"x" * (len(name) - 4) + b".txt" if len(name) > 4 else b"abc"
        installer = pack(files=[(placeholder.decode(), b"escaped")], messages=MESSAGES)
        patch_config_string(installer.path, KEY_FILE_NAMES, placeholder, name)
        result = temp.run(installer, "-q")
        assert result.returncode == 1
        assert result.stderr.decode("cp1252").startswith("CORRUPTED-TEXT")
        assert "ERROR: refusing included file name" in temp.log()
        assert not (temp.directory / "evil.txt").exists()
        assert not (temp.directory.parent / "evil.txt").exists()


class TestTempDirectoryChoice:
    def test_profile_paths_outside_the_code_page_fall_through_to_later_candidates(self, pack, temp, wine):
        foreign = temp.directory / "\u0416\u0443\u043a"
        (foreign / "temp").mkdir(parents=True)
        (foreign / "profile" / "AppData" / "Local" / "Temp").mkdir(parents=True)
        (foreign / "home").mkdir(parents=True)
        common = wine.prefix / "drive_c" / "ProgramData" / "stowline" / "temp"
        before = set(common.glob("stw_nlog_*.log")) if common.exists() else set()
        installer = pack(files=[("a.txt", b"a")])
        drive_path = windows_path(foreign)
        temp.run(installer, "-q", variables={
            "TMP": drive_path + "\\temp", "TEMP": drive_path + "\\temp",
            "USERPROFILE": drive_path + "\\profile",
            "HOMEDRIVE": "Z:", "HOMEPATH": drive_path[2:] + "\\home"})
        try:
            logs = set(common.glob("stw_nlog_*.log")) - before
            assert len(logs) == 1
            log = logs.pop().read_bytes()[3:].decode("utf-8")
            assert re.search(r"user temp dir C:\\ProgramData\\stowline\\temp \(.*\), candidate 4", log)
            assert "Temp dir3: C:\\ProgramData\\stowline\\temp\\tlw" in log
        finally:
            for leftover in (set(common.glob("stw_nlog_*.log")) - before) | set(common.glob("tlw*")):
                shutil.rmtree(leftover) if leftover.is_dir() else leftover.unlink()
        # Nothing was written under the foreign-named candidates.
        assert not any(p.name.startswith(("tlw", "stw_nlog")) for p in foreign.rglob("*"))
