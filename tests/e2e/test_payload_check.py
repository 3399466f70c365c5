"""The integrity check of the appended data, run by packed installers."""
import re
import struct

import pytest

from conftest import block_start, read_log

CORRUPTED = "The installation file is corrupted. If it is a download please try it again."
CHECKSUMS = re.compile(r"checksums: (\d+) (\d+) ")


def covered_region(data):
    start = block_start(data)
    length, = struct.unpack_from("<q", data, start + 12)
    return start + 20, start + 20 + length


def damage(installer, offset):
    data = bytearray(installer.path.read_bytes())
    data[offset] ^= 0x10
    installer.path.write_bytes(bytes(data))


def run_logged(installer, wine, *args, tmp_path):
    """Runs quietly with its own temp directory; returns the result, the log text and that directory."""
    temp = tmp_path / "temp"
    temp.mkdir(exist_ok=True)
    result = installer.run("-q", "-temp", wine.windows_path(temp), *args, env={"STOWLINE_LOG": "yes"})
    return result, own_log(installer, wine, temp), temp


def own_log(installer, wine, *directories):
    """The text of the log whose first line names this installer (other runs share the temp directory)."""
    name = wine.windows_path(installer.path).lower()
    for directory in (*directories, wine.temp):
        for log in sorted(directory.glob("stw_nlog_*.log"), key=lambda p: p.stat().st_mtime, reverse=True):
            text = read_log(log)
            if name in text.split("\n", 1)[0].lower():
                return text
    return ""


@pytest.fixture
def installer(pack):
    payload = bytes((i * 131 + 7) % 256 for i in range(300_000))
    return pack(files=[("data.bin", payload), ("more.bin", b"second file")], java_data=b"J" * 1000)


class TestDamage:
    # The config block is read before the check: damage goes where the reader still succeeds (inside
    # a text, inside payload files, the Java side's data).
    @pytest.mark.parametrize("where", ["entry text", "last"])
    def test_a_flipped_byte_in_the_covered_region_stops_the_installer(self, installer, wine, tmp_path, where):
        data = installer.path.read_bytes()
        begin, end = covered_region(data)
        text = data.index(b"Test App", begin) + 5
        offset = {"entry text": text, "last": end - 1}[where]
        assert begin <= offset < end
        damage(installer, offset)
        result, log, temp = run_logged(installer, wine, tmp_path=tmp_path)
        assert result.returncode == 1
        assert CORRUPTED in result.stderr.decode("cp1252")
        computed, expected = map(int, CHECKSUMS.search(log).groups())
        assert computed != expected
        assert [p for p in temp.iterdir() if p.is_dir()] == [], "no extraction directory may stay"

    def test_a_cut_file_is_reported_as_corrupted(self, pack, wine, tmp_path):
        installer = pack(files=[("data.bin", b"x" * 100_000)])
        size = installer.path.stat().st_size
        installer.path.write_bytes(installer.path.read_bytes()[: size - 5000])
        result, log, _ = run_logged(installer, wine, tmp_path=tmp_path)
        assert result.returncode == 1
        assert CORRUPTED in result.stderr.decode("cp1252")


class TestWhatIsNotChecked:
    def test_bytes_after_the_covered_region_are_not_checked(self, pack, wine, tmp_path):
        installer = pack(files=[("data.bin", b"y" * 50_000)], options=["--trailing-bytes", "4096"])
        data = bytearray(installer.path.read_bytes())
        _, end = covered_region(bytes(data))
        assert len(data) == end + 4096
        for offset in (end, end + 2000, len(data) - 1):
            data[offset] ^= 0xFF
        installer.path.write_bytes(bytes(data))
        result, log, _ = run_logged(installer, wine, tmp_path=tmp_path)
        assert CORRUPTED not in result.stderr.decode("cp1252")
        computed, expected = map(int, CHECKSUMS.search(log).groups())
        assert computed == expected

    def test_check_flag_zero_skips_a_damaged_payload(self, pack, wine, tmp_path):
        installer = pack(files=[("data.bin", b"z" * 50_000)], options=["--no-checksum"])
        begin, end = covered_region(installer.path.read_bytes())
        damage(installer, end - 10)
        result, log, _ = run_logged(installer, wine, tmp_path=tmp_path)
        assert CORRUPTED not in result.stderr.decode("cp1252")
        assert "verifying integrity length" not in log

    def test_nocheck_switch_skips_the_check(self, installer, wine, tmp_path):
        begin, end = covered_region(installer.path.read_bytes())
        damage(installer, end - 10)
        result, log, _ = run_logged(installer, wine, "-nocheck", tmp_path=tmp_path)
        assert CORRUPTED not in result.stderr.decode("cp1252")
        assert "verifying integrity length" not in log
        assert "checksums:" not in log

    def test_an_intact_installer_logs_equal_checksums_over_the_whole_region(self, installer, wine, tmp_path):
        begin, end = covered_region(installer.path.read_bytes())
        result, log, _ = run_logged(installer, wine, tmp_path=tmp_path)
        assert f"verifying integrity length {end - begin}" in log
        computed, expected = map(int, CHECKSUMS.search(log).groups())
        assert computed == expected
        assert CORRUPTED not in result.stderr.decode("cp1252")
