"""The registry natives and concurrent native calls from Java on a real JVM."""
import subprocess
import uuid

import pytest

from conftest import ARCH
from runtimes import wine_reg

TEXT = "Gr\u00fc\u00dfe \u03a9 \u65e5\u672c \U0001F600"


def import_reg(wine, tmp_path, key, values):
    """Writes values (name -> .reg data text) under HKCU\\key with `wine reg import` of a UTF-16 file."""
    lines = ["Windows Registry Editor Version 5.00", "", f"[HKEY_CURRENT_USER\\{key}]"]
    lines += [f'"{name}"={data}' for name, data in values.items()]
    path = tmp_path / "values.reg"
    path.write_bytes(b"\xff\xfe" + ("\r\n".join(lines) + "\r\n").encode("utf-16-le"))
    result = subprocess.run(["wine", "reg", "import", wine.windows_path(path)], capture_output=True)
    assert result.returncode == 0, result


def utf16_hex(text):
    data = (text + "\0").encode("utf-16-le")
    return ",".join(f"{b:02x}" for b in data)


def export_reg(wine, tmp_path, key):
    path = tmp_path / f"export-{uuid.uuid4().hex[:6]}.reg"
    wine_reg("export", "HKCU\\" + key, wine.windows_path(path), "/y")
    return path.read_bytes().decode("utf-16")


@pytest.fixture
def views_key():
    key = f"Software\\launcher-tests-realjvm-{uuid.uuid4().hex[:8]}"
    yield key
    for view in ("/reg:64", "/reg:32"):
        wine_reg("delete", "HKLM\\" + key, "/f", view)


def test_every_value_type_both_ways_both_views_and_10000_subkeys(program, wine, tmp_path, scratch_key, views_key):
    import_reg(wine, tmp_path, scratch_key + "\\imported", {
        "sz": f"hex(1):{utf16_hex(TEXT)}",
        "expand": f"hex(2):{utf16_hex('%TEMP%' + chr(0x3a9))}",
        "dword": "dword:fffffffb",
        "qword": "hex(b):01,00,00,00,00,00,00,80",
        "multi": "hex(7):" + utf16_hex("eins\0" + TEXT) + ",00,00",
        "binary": "hex:00,01,ff,80",
        "empty": '""',
    })
    run = program("RegistryValues", f"--key={scratch_key}", f"--views={views_key}")
    assert run.code == 0, run
    r = run.results
    assert r["imported"] == [f"string {TEXT}", "expand %TEMP%\u03a9", "integer -5", "long -9223372036854775807",
                             f"multi [eins] [{TEXT}]", "binary 0001ff80", "string "]
    assert r["imported names"] == sorted(["sz", "expand", "dword", "qword", "multi", "binary", "empty"])
    assert r["written"] == [f"true string {TEXT}", f"true expand %SystemRoot%\\{TEXT}", "true integer -5",
                            "true long -9223372036854775807", f"true multi [eins] [{TEXT}] [drei]",
                            "true binary 0001ff80", "true string "]
    assert r["wrong type refused"] is False
    # The other way: what Java wrote, as the registry itself holds it.
    exported = export_reg(wine, tmp_path, r["written key"])
    assert f'"sz {TEXT}"="{TEXT}"' in exported
    assert '"dword"=dword:fffffffb' in exported
    assert r["view 64 set"] is True and r["view 32 set"] is True
    assert (r["view 64"], r["view 32"]) == ("sixty-four", "thirty-two")
    # View 0 is the process's own: a 32-bit launcher sees the 32-bit view.
    assert r["view default"] == ("thirty-two" if ARCH == "x86" else "sixty-four")
    assert r["subkeys"] == "10000 made, 10000 listed, 10000 distinct, 0 missing"
    assert r["kept while not empty"] is True and r["deleted"] is True


def test_natives_from_eight_threads_at_once(program, scratch_key):
    wine_reg("add", "HKCU\\" + scratch_key, "/f")
    run = program("Concurrency", f"--key={scratch_key}")
    assert run.code == 0, run
    assert run.results["failures"] == [] and run.results["failure count"] == 0
    assert run.results["calls"] == 8 * 300 * 7
    assert not run.logged("ERROR"), run.log
