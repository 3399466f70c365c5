"""The runtime archive: untar of "jre.tar.gz", packed jars and the included-runtime step, driven
through runtime_tool.exe (the launcher's library with its own config block)."""
import gzip
import io
import os
import shutil
import tarfile

import pytest

from conftest import DOUBLES, own_log

UNPACK200 = DOUBLES / "unpack200" / "unpack200.exe"
CORRUPTED = "The bundled JRE is corrupted. If you downloaded the setup file please download it again."
PACK_MARKER = b"PACK200-DOUBLE\n"
LONG_NAME = "jre/lib/" + "deep/" * 30 + "Module.class"


def tar_bytes(entries, compress=True):
    """entries: (name, bytes) for files, (name, None) for directories; GNU format ("L" long names)."""
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.GNU_FORMAT) as archive:
        for name, data in entries:
            info = tarfile.TarInfo(name)
            if data is None:
                info.type = tarfile.DIRTYPE
                archive.addfile(info)
            else:
                info.size = len(data)
                archive.addfile(info, io.BytesIO(data))
    raw = buffer.getvalue()
    return gzip.compress(raw, compresslevel=6) if compress else raw


def runtime_entries():
    content = bytes((i * 7 + i // 251) % 256 for i in range(200_000))
    return [
        ("jre/", None), ("jre/bin/", None), ("jre/lib/", None),
        *[(f"jre/lib/{'deep/' * n}", None) for n in range(1, 31)],
        ("jre/bin/java.dll", content),
        ("jre/lib/modules", content[:100_003]),
        ("jre/release", b'JAVA_VERSION="17.0.2"\n'),
        ("jre/lib/empty.txt", b""),
        (LONG_NAME, b"long name content"),
    ]


class TestUntar:
    @pytest.mark.parametrize("compress", [True, False], ids=["gzip", "plain tar"])
    def test_a_runtime_tree_is_extracted_exactly(self, tool, tmp_path, compress):
        entries = runtime_entries()
        (tmp_path / "jre.tar.gz").write_bytes(tar_bytes(entries, compress))
        (tmp_path / "target").mkdir()
        result = tool().run("untar", "jre.tar.gz", "target", "500000")
        assert result.returncode == 0, result.stderr
        assert b"untar succeeded" in result.stdout
        for name, data in entries:
            path = tmp_path / "target" / name
            if data is None:
                assert path.is_dir(), name
            else:
                assert path.read_bytes() == data, name

    def test_a_truncated_archive_ends_with_the_corruption_text(self, tool, wine, tmp_path):
        whole = tar_bytes(runtime_entries())
        (tmp_path / "jre.tar.gz").write_bytes(whole[: len(whole) // 2])
        result = tool().run("unpack-included", env={"STOWLINE_LOG": "yes"})
        assert result.returncode == 1
        assert CORRUPTED in result.stderr.decode("cp1252")
        log = own_log(wine, tmp_path)
        assert "sizes don't match: " in log
        assert "Could not untar JRE" in log

    @pytest.mark.parametrize("name", ["jre/../../escape.txt", "c:/escape.txt"])
    def test_names_that_leave_the_target_are_refused(self, tool, wine, tmp_path, name):
        (tmp_path / "jre.tar.gz").write_bytes(tar_bytes([("ok.txt", b"fine"), (name, b"evil")]))
        (tmp_path / "sub" / "target").mkdir(parents=True)
        result = tool().run("untar", "jre.tar.gz", "sub\\target", env={"STOWLINE_LOG": "yes"})
        assert result.returncode == 1
        assert b"untar failed" in result.stdout
        assert not list(tmp_path.rglob("escape.txt"))
        assert "refused entry name" in own_log(wine, tmp_path)

    def test_a_file_whose_directory_was_not_listed_ends_the_process(self, tool, tmp_path):
        (tmp_path / "jre.tar.gz").write_bytes(tar_bytes([("missing/file.txt", b"x")]))
        (tmp_path / "target").mkdir()
        result = tool().run("untar", "jre.tar.gz", "target")
        assert result.returncode == 1
        assert "Could not open file missing\\file.txt" in result.stderr.decode("cp1252")
        assert b"untar" not in result.stdout


def packed(data):
    return PACK_MARKER + data


class TestPackedJars:
    def make_runtime(self, root):
        (root / "bin").mkdir(parents=True)
        (root / "lib" / "ext").mkdir(parents=True)
        shutil.copy(UNPACK200, root / "bin" / "unpack200.exe")
        (root / "lib" / "a.jar.pack").write_bytes(packed(b"jar a"))
        (root / "lib" / "ext" / "b.jar.pack").write_bytes(packed(b"jar b" * 1000))
        (root / "lib" / "c.jar").write_bytes(b"already unpacked")
        (root / "lib" / "c.jar.pack").write_bytes(packed(b"must not replace c"))

    def test_packed_jars_are_restored_once(self, tool, wine, tmp_path):
        runtime = tmp_path / "rt"
        self.make_runtime(runtime)
        calls = tmp_path / "unpack200.calls"
        installer = tool()
        home = wine.windows_path(runtime)
        result = installer.run("unpack-jars", home, env={"UNPACK200_DOUBLE_LOG": wine.windows_path(calls)})
        assert result.returncode == 0, result.stderr
        assert result.stdout.decode().count("Preparing JRE ...") == 1
        assert (runtime / "lib" / "a.jar").read_bytes() == b"jar a"
        assert (runtime / "lib" / "ext" / "b.jar").read_bytes() == b"jar b" * 1000
        assert (runtime / "lib" / "c.jar").read_bytes() == b"already unpacked"
        assert not (runtime / "lib" / "a.jar.pack").exists()
        assert (runtime / "lib" / "c.jar.pack").exists()
        lines = calls.read_text(encoding="utf-8").splitlines()
        assert sorted(lines) == sorted([
            f'-r "{home}\\lib\\a.jar.pack" "{home}\\lib\\a.jar"',
            f'-r "{home}\\lib\\ext\\b.jar.pack" "{home}\\lib\\ext\\b.jar"',
        ])

        again = installer.run("unpack-jars", home, env={"UNPACK200_DOUBLE_LOG": wine.windows_path(calls)})
        assert again.returncode == 0
        assert b"Preparing JRE" not in again.stdout
        assert len(calls.read_text(encoding="utf-8").splitlines()) == 2

    def test_a_missing_unpack200_ends_with_message_1021(self, tool, tmp_path, wine):
        runtime = tmp_path / "rt"
        self.make_runtime(runtime)
        os.remove(runtime / "bin" / "unpack200.exe")
        result = tool().run("unpack-jar", wine.windows_path(runtime), wine.windows_path(runtime / "lib" / "a.jar.pack"))
        assert result.returncode == 1
        assert "Could not unpack the JVM" in result.stderr.decode("cp1252")
        assert (runtime / "lib" / "a.jar.pack").exists()

    def test_included_packed_runtime_is_untarred_and_unpacked(self, tool, wine, tmp_path):
        unpack200 = UNPACK200.read_bytes()
        entries = [("bin/", None), ("lib/", None), ("bin/unpack200.exe", unpack200),
                   ("lib/rt.jar.pack", packed(b"runtime classes")), ("release", b"x")]
        (tmp_path / "jre.tar.gz").write_bytes(tar_bytes(entries))
        result = tool(config={"unpack_runtime_jars": 1}).run("unpack-included", env={"STOWLINE_LOG": "yes"})
        assert (tmp_path / "jre" / "lib" / "rt.jar").read_bytes() == b"runtime classes"
        assert not (tmp_path / "jre" / "lib" / "rt.jar.pack").exists()
        assert not (tmp_path / "jre.tar.gz").exists()
        log = own_log(wine, tmp_path)
        assert "JRE is packed" in log
        # No jvm.dll in this runtime: it loads only if the machine has another one.
        assert result.returncode == 0 or "Could not use bundled JRE" in result.stderr.decode("cp1252")
