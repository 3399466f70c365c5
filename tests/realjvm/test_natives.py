"""The registry, WinInet and concurrent native calls from Java on a real JVM."""
import subprocess
import time
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


@pytest.fixture
def http_peer(tmp_path, wine):
    """The HTTP peer of tests/doubles (origin and closed ports), ended after the test."""
    from conftest import e2e
    peer = e2e.DOUBLES / "http_peer" / "http_peer.exe"
    if not peer.exists():
        pytest.skip("build the http_peer target")
    ports = tmp_path / "ports.txt"
    process = subprocess.Popen(["wine", str(peer), wine.windows_path(ports)], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    for _ in range(300):
        if ports.exists() and ports.read_text().endswith("\n"):
            break
        time.sleep(0.1)
    origin, _, closed = ports.read_text().split()
    yield int(origin), int(closed)
    process.kill()
    process.wait()


def test_wininet_from_java_against_the_local_peer(program, http_peer):
    origin, closed = http_peer
    size = 50 << 20
    run = program("NetTransfer", f"--origin={origin}", f"--closed={closed}", f"--size={size}",
                  config={"vm_options": "-Xmx768m"})
    assert run.code == 0, run
    r = run.results
    assert r["init"] is True
    assert r["echo status"] == 200
    assert r["echo"] == f"{size} bytes, first difference -1, location 0"
    assert (r["hello status"], r["hello body"]) == (200, "hello from the peer\n")
    assert "X-Peer: origin" in r["hello headers"]
    assert (r["missing status"], r["missing body"]) == (404, "not here")
    assert r["stall status"] == 200
    # Windows says ERROR_INTERNET_TIMEOUT (12002); Wine passes the socket's WSAETIMEDOUT (10060) through.
    assert r["stall"] in ("1000 bytes, location 5, code 12002", "1000 bytes, location 5, code 10060")
    assert r["refused"] == "0 location 4 code 12029"
