"""The launcher's start-up: native log, config block reading and its failures, switches, language."""
import re
import struct

import pytest

from conftest import block_start, read_log

LINE = re.compile(r"^\[\d+:\d+\] ")


class TestNativeLog:
    def test_requested_log_is_utf8_with_bom_and_prefixed_lines(self, pack, wine, java_home):
        installer = pack()
        result = installer.run("-q", env={"STOWLINE_LOG": "yes", **java_home})
        assert result.returncode == 0
        logs = wine.logs()
        assert len(logs) == 1 and logs[0].name == "stw_nlog_1.log"
        raw = logs[0].read_bytes()
        assert raw[:3] == b"\xef\xbb\xbf"
        text = read_log(logs[0])
        lines = text.split("\n")
        assert lines[0].startswith("Started executable ") and installer.path.name in lines[0]
        assert lines[1] == ""
        body = [line for line in lines[2:] if line]
        assert body and all(LINE.match(line) for line in body)
        assert any(line.endswith("] Init done") for line in body)

    @pytest.mark.parametrize("variable", ["STOWLINE_LOG", "TALLOW_LOG"])
    def test_either_variable_requests_the_log(self, pack, wine, variable, java_home):
        assert pack().run("-q", env={variable: "yes", **java_home}).returncode == 0
        assert len(wine.logs()) == 1

    @pytest.mark.parametrize("value", [None, "YES", "1"])
    def test_without_request_a_successful_run_leaves_no_log(self, pack, wine, value, java_home):
        installer = pack()
        env = {"STOWLINE_LOG": value, **java_home} if value else java_home
        assert installer.run("-q", env=env).returncode == 0
        assert wine.logs() == []

    def test_existing_logs_are_kept_and_the_next_number_is_taken(self, pack, wine):
        installer = pack()
        for number in (1, 2):
            (wine.temp / f"stw_nlog_{number}.log").write_text("old")
        installer.run("-q", env={"STOWLINE_LOG": "yes"})
        assert (wine.temp / "stw_nlog_3.log").exists()
        assert (wine.temp / "stw_nlog_1.log").read_text() == "old"

    def test_a_run_writes_only_into_a_log_file_it_created(self, pack, wine, tmp_path, java_home):
        # All 1,000 names taken, the last by a link to someone else's file, and the fallback name
        # too: the run goes on and logs nowhere.
        installer = pack()
        for number in range(1, 1000):
            (wine.temp / f"stw_nlog_{number}.log").write_text("old")
        foreign = tmp_path / "foreign.txt"
        foreign.write_text("theirs")
        (wine.temp / "stw_nlog_1000.log").symlink_to(foreign)
        fallback = wine.prefix / "drive_c" / "stw_nlog"
        fallback.write_text("theirs")
        try:
            result = installer.run("-q", env={"STOWLINE_LOG": "yes", **java_home})
            assert result.returncode == 0
            assert foreign.read_text() == "theirs" and fallback.read_text() == "theirs"
            assert len(wine.logs()) == 1000
        finally:
            fallback.unlink()
            wine.clear_logs()

    def test_a_failed_run_keeps_its_log_and_names_it(self, pack, wine):
        installer = pack()
        data = bytearray(installer.path.read_bytes())
        data[block_start(installer.path.read_bytes())] ^= 0xFF
        installer.path.write_bytes(bytes(data))
        result = installer.run("-q")
        assert result.returncode == 1
        logs = wine.logs()
        assert len(logs) == 1
        assert "Log: " in result.stderr.decode("cp1252")
        assert logs[0].name in result.stderr.decode("cp1252")


class TestConfigBlockFailures:
    def test_damaged_magic(self, pack):
        installer = pack()
        data = bytearray(installer.path.read_bytes())
        data[block_start(installer.path.read_bytes()) + 1] ^= 0x01
        installer.path.write_bytes(bytes(data))
        result = installer.run("-q")
        assert result.returncode == 1
        assert result.stderr.decode("cp1252").startswith("Internal Error: magic\n\nLog: ")

    @pytest.mark.parametrize("cut, text", [
        (2, "Internal Error: readInt"),        # inside the magic
        (14, "Internal Error: readLong"),      # inside coveredLength
        (30, "Internal Error: readString"),    # inside the first narrow entry's text
    ])
    def test_a_block_cut_inside_a_field_names_the_field(self, pack, cut, text):
        installer = pack(config={"main_class": "com.example.Main"})
        start = block_start(installer.path.read_bytes())
        data = installer.path.read_bytes()[: start + cut]
        installer.path.write_bytes(data)
        result = installer.run("-q")
        assert result.returncode == 1
        assert result.stderr.decode("cp1252").startswith(text + "\n")

    def test_a_cut_inside_the_message_table_names_readWString(self, pack, tmp_path):
        installer = pack(config={}, messages={})
        dump = installer.path.read_bytes()
        start = block_start(installer.path.read_bytes())
        # The message table follows the narrow entries: cut in the middle of its first text.
        count, = struct.unpack_from("<i", dump, start + 20)
        position = start + 24
        for _ in range(count):
            length, = struct.unpack_from("<i", dump, position + 4)
            position += 8 + length
        position += 4  # message count
        installer.path.write_bytes(dump[: position + 8 + 3])
        result = installer.run("-q")
        assert result.returncode == 1
        assert result.stderr.decode("cp1252").startswith("Internal Error: readWString\n")

    def test_trailing_bytes_after_the_covered_region_are_ignored(self, pack, java_home):
        installer = pack(options=["--trailing-bytes", "4096"])
        assert installer.run("-q", env=java_home).returncode == 0

    def test_config_string_truncation_is_logged(self, pack, wine):
        installer = pack(config={"launcher_type": "0" + "7" * 6999})
        installer.run("-q", env={"STOWLINE_LOG": "yes"})
        text = read_log(wine.logs()[-1])
        assert "ERROR: config string 107 truncated (6000 7000)" in text


class TestSwitchesAndLanguage:
    def test_manual_language_is_taken_without_lookup(self, pack, wine):
        installer = pack(translations={"pt": {"error_title": "Erro"}, "pt_BR": {"error_title": "Erro BR"}})
        installer.run("-q", "-Dstowline.language=pt_BR", env={"STOWLINE_LOG": "yes"})
        text = read_log(wine.logs()[-1])
        assert "manual language/country is pt_BR" in text
        assert "language/country is" not in text.replace("manual language/country is", "")

    @pytest.mark.parametrize("language, expected", [
        ("pt_BR", "corrompido BR"),  # "pt" applies, then "pt_BR" wins
        ("pt_PT", "corrompido"),     # "pt" applies, "pt_BR" is read past
        ("de_AT", "Die Installationsdatei ist besch\u00e4digt."),
        ("fr", "The installation file is corrupted."),
    ])
    def test_language_sets_apply_by_prefix_in_file_order(self, pack, language, expected):
        installer = pack(options=["--wrong-crc"], translations={
            "de": {"installation_corrupted": "Die Installationsdatei ist besch\u00e4digt."},
            "pt": {"installation_corrupted": "corrompido", "error_title": "Erro"},
            "pt_BR": {"installation_corrupted": "corrompido BR"},
        })
        result = installer.run("-q", "-Dstowline.language=" + language)
        assert result.returncode == 1
        assert result.stderr.decode("cp1252").startswith(expected)

    def test_quiet_errors_go_to_standard_error_with_a_line_feed(self, pack):
        installer = pack(config={"launcher_type": 1})  # message boxes, unless quiet
        data = bytearray(installer.path.read_bytes())
        data[block_start(installer.path.read_bytes())] ^= 0xFF
        installer.path.write_bytes(bytes(data))
        # The magic is read before the switches: the box cannot show without a display and
        # falls back to standard error.
        result = installer.run("-q")
        assert result.returncode == 1
        assert result.stderr.decode("cp1252").endswith("\n")

    def test_temp_switch_as_last_argument_is_dropped(self, pack, wine):
        installer = pack()
        installer.run("-q", "-temp", env={"STOWLINE_LOG": "yes"})
        text = read_log(wine.logs()[-1])
        assert "Using manual temp dir" not in text and "Manual temp dir not usable" not in text

    def test_usable_manual_temp_directory_is_taken(self, pack, wine, tmp_path):
        installer = pack()
        manual = tmp_path / "manual"
        manual.mkdir()
        installer.run("-q", "-temp", wine.windows_path(manual), env={"STOWLINE_LOG": "yes"})
        # The log was opened by the first line of the run, before the switch was read.
        text = read_log(wine.logs()[-1])
        assert "Using manual temp dir " + wine.windows_path(manual) in text
        # The probe directories were removed again.
        assert not [entry for entry in manual.iterdir() if entry.name.startswith("tlwtw")]

    def test_unusable_manual_temp_directory_is_refused(self, pack, wine, tmp_path):
        installer = pack()
        installer.run("-q", "-temp", wine.windows_path(tmp_path / "missing"), env={"STOWLINE_LOG": "yes"})
        text = read_log(wine.logs()[-1])
        assert "Manual temp dir not usable" in text

    def test_create_log_switch_only_as_first_argument(self, pack, wine, java_home):
        installer = pack()
        assert installer.run("-q", "-create-stw-log", env=java_home).returncode == 0
        assert wine.logs() == []
