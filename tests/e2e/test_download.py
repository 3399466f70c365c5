"""Runtime download through WinInet from a local HTTP server, driven through runtime_tool.exe."""
import hashlib

import pytest

from conftest import DOUBLES, own_log
from http_server import http_server  # noqa: F401  (fixture)

DOWNLOAD_ERROR = "Error downloading the Java(TM) Runtime Environment."
CORRUPTED_RUNTIME = "The bundled JRE is corrupted."
PLAIN_HTTP_WARNING = "warning: the runtime is downloaded over plain http without a sha256 hash"
BODY = bytes((i * 31 + i // 977) % 256 for i in range(3 * 1024 * 1024 + 12345))
BODY_SHA256 = hashlib.sha256(BODY).hexdigest()
OTHER_SHA256 = hashlib.sha256(BODY[:-1]).hexdigest()


def run_download(tool, url, timeout=120):
    return tool().run("download", url, env={"STOWLINE_LOG": "yes"}, timeout=timeout)


class TestDownload:
    def test_the_whole_body_lands_in_jre_tar_gz(self, tool, http_server, wine, tmp_path):
        http_server.serve("jre.tar.gz", BODY)
        result = run_download(tool, http_server.url("file", "jre.tar.gz"))
        assert result.returncode == 0, result.stderr
        assert (tmp_path / "jre.tar.gz").read_bytes() == BODY
        assert http_server.requests("file", "jre.tar.gz") == 1
        log = own_log(wine, tmp_path)
        assert f"file size: {len(BODY)}," in log
        assert "download successful" in log
        assert PLAIN_HTTP_WARNING in log

    @pytest.mark.parametrize("fragment, outcome", [
        ("#sha256=" + BODY_SHA256, "kept"),
        ("#sha256=" + BODY_SHA256.upper(), "kept"),
        ("#sha256=" + OTHER_SHA256, "corrupted"),
        ("#sha256=" + BODY_SHA256[:63], "malformed"),
        ("#sha256=" + BODY_SHA256 + "0", "malformed"),
    ])
    def test_a_sha256_fragment_is_checked_before_the_archive_is_kept(self, tool, http_server, wine, tmp_path,
                                                                      fragment, outcome):
        http_server.serve("jre.tar.gz", BODY)
        result = run_download(tool, http_server.url("file", "jre.tar.gz") + fragment)
        log = own_log(wine, tmp_path)
        assert PLAIN_HTTP_WARNING not in log
        if outcome == "kept":
            assert result.returncode == 0, result.stderr
            assert (tmp_path / "jre.tar.gz").read_bytes() == BODY
            assert "matches its sha256 hash" in log
        else:
            assert result.returncode == 1
            assert not (tmp_path / "jre.tar.gz").exists()
            expected = CORRUPTED_RUNTIME if outcome == "corrupted" else DOWNLOAD_ERROR
            assert expected in result.stderr.decode("cp1252")
        # The fragment never reaches the server (it would be part of the path it counts), a
        # mismatch is not fetched again, and a malformed hash fetches nothing.
        assert http_server.requests("file", "jre.tar.gz") == (0 if outcome == "malformed" else 1)

    def test_an_empty_body_gives_an_empty_archive(self, tool, http_server, tmp_path):
        http_server.serve("empty", b"")
        result = run_download(tool, http_server.url("file", "empty"))
        assert result.returncode == 0, result.stderr
        assert (tmp_path / "jre.tar.gz").read_bytes() == b""


class TestFailedDownloads:
    def test_a_missing_file_fails_three_attempts_and_saves_no_error_page(self, tool, http_server, wine, tmp_path):
        result = run_download(tool, http_server.url("file", "absent"))
        assert result.returncode == 1
        assert DOWNLOAD_ERROR in result.stderr.decode("cp1252")
        assert http_server.requests("file", "absent") == 3
        assert not (tmp_path / "jre.tar.gz").exists()
        assert own_log(wine, tmp_path).count("Retry JRE download") == 3

    def test_a_broken_connection_leaves_no_partial_file(self, tool, http_server, wine, tmp_path):
        http_server.serve("jre.tar.gz", BODY)
        result = run_download(tool, http_server.url("broken", "jre.tar.gz"))
        assert result.returncode == 1
        assert DOWNLOAD_ERROR in result.stderr.decode("cp1252")
        assert http_server.requests("broken", "jre.tar.gz") == 3
        assert not (tmp_path / "jre.tar.gz").exists()

    def test_no_content_length_gives_up_after_twenty_queries_per_attempt(self, tool, http_server, wine, tmp_path):
        http_server.serve("jre.tar.gz", BODY[:1000])
        result = run_download(tool, http_server.url("nolength", "jre.tar.gz"), timeout=180)
        assert result.returncode == 1
        assert DOWNLOAD_ERROR in result.stderr.decode("cp1252")
        log = own_log(wine, tmp_path)
        assert log.count("Giving up") == 3
        assert log.count("HttpQueryInfo (try 20)") == 3
        assert "HttpQueryInfo (try 21)" not in log
        assert http_server.requests("nolength", "jre.tar.gz") == 60
        assert not (tmp_path / "jre.tar.gz").exists()

    def test_an_unreachable_server_fails_with_message_20003(self, tool, http_server, tmp_path):
        port = http_server.httpd.server_address[1]
        http_server.stop()
        result = run_download(tool, f"http://127.0.0.1:{port}/file/jre.tar.gz")
        assert result.returncode == 1
        assert DOWNLOAD_ERROR in result.stderr.decode("cp1252")
        http_server.stop = lambda: None


class TestAcquisition:
    def test_key_157_downloads_without_asking_into_the_current_directory(self, tool, http_server, tmp_path):
        http_server.serve("jre.tar.gz", BODY[:5000])
        installer = tool(config={"download_url": http_server.url("file", "jre.tar.gz"), "download_without_asking": 1})
        result = installer.run("acquire")
        assert result.returncode == 0, result.stderr
        assert b"acquired 1" in result.stdout
        assert (tmp_path / "jre.tar.gz").read_bytes() == BODY[:5000]


class TestInstallerDownload:
    """The whole road through the launcher: no runtime found, key 157, download, untar, launch."""

    @pytest.mark.parametrize("matching", [True, False], ids=["right hash", "wrong hash"])
    def test_a_missing_runtime_is_downloaded_checked_unpacked_and_launched(self, pack, http_server, wine, tmp_path,
                                                                           monkeypatch, matching):
        import io
        import tarfile
        vm = DOUBLES / "test_vm" / "jvm.dll"
        if not vm.exists():
            pytest.skip("build the test VM double")
        for name in ("JAVA_HOME", "JDK_HOME", "TALLOW_JAVA_HOME", "STOWLINE_JAVA_HOME", "TEST_VM_SCRIPT"):
            monkeypatch.delenv(name, raising=False)
        files = [("bin/java.exe", (DOUBLES / "java_stub" / "java.exe").read_bytes()),
                 ("bin/java_stub.cfg", b'err=java version "11.0.2"\nexit=0\n'),
                 ("bin/server/jvm.dll", vm.read_bytes())]
        raw = io.BytesIO()
        with tarfile.open(fileobj=raw, mode="w:gz", format=tarfile.GNU_FORMAT) as archive:
            for directory in ("bin/", "bin/server/"):
                info = tarfile.TarInfo(directory)
                info.type = tarfile.DIRTYPE
                archive.addfile(info)
            for name, data in files:
                info = tarfile.TarInfo(name)
                info.size = len(data)
                archive.addfile(info, io.BytesIO(data))
        http_server.serve("jre.tar.gz", raw.getvalue())
        digest = hashlib.sha256(raw.getvalue() if matching else b"").hexdigest()
        installer = pack(config={"main_class": "com.example.Main", "jvm_search_sequence": "",
                                 "download_url": http_server.url("file", "jre.tar.gz") + "#sha256=" + digest,
                                 "download_without_asking": 1})
        report = tmp_path / "report.txt"
        result = installer.run("-q", env={"STOWLINE_LOG": "yes", "TEST_VM_REPORT": wine.windows_path(report)})
        if not matching:
            # The corrupted-runtime path: nothing of the archive is unpacked, nothing runs.
            assert result.returncode == 1
            assert CORRUPTED_RUNTIME in (result.stdout + result.stderr).decode("cp1252")
            assert http_server.requests("file", "jre.tar.gz") == 1
            assert not report.exists() or "main-returned" not in report.read_text("utf-8")
            assert "extracting JRE" not in own_log(wine, tmp_path)
            return
        assert result.returncode == 0, result.stderr
        assert b"No JRE found. Trying to download." in result.stdout
        assert http_server.requests("file", "jre.tar.gz") == 1
        assert "main-returned" in report.read_text("utf-8")
        log = own_log(wine, tmp_path)
        assert "download successful" in log and "untaring JRE was successful" in log
