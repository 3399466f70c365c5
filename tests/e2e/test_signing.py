"""Installers signed after packing (Authenticode, osslsigncode, a throw-away certificate): the
certificate table lands after the covered region, so the installer still runs, and a payload byte
changed after signing fails both the signature and the launcher's own check."""
import shutil
import struct
import subprocess

import pytest

from conftest import BITS, STOWPACK, block_start, own_log

CORRUPTED = "The installation file is corrupted. If it is a download please try it again."
OSSLSIGNCODE = shutil.which("osslsigncode")
OPENSSL = shutil.which("openssl")


@pytest.fixture(scope="session")
def certificate(tmp_path_factory):
    if not OSSLSIGNCODE or not OPENSSL:
        pytest.skip("osslsigncode and openssl are needed (scripts/install-deps.sh)")
    directory = tmp_path_factory.mktemp("certificate")
    cert, key = directory / "cert.pem", directory / "key.pem"
    subprocess.run([OPENSSL, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Throw-away test signer", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", str(key), "-out", str(cert)], check=True, capture_output=True)
    return cert, key


def sign(certificate, unsigned, signed):
    cert, key = certificate
    subprocess.run([OSSLSIGNCODE, "sign", "-certs", str(cert), "-key", str(key), "-n", "Test App", "-h", "sha256",
                    "-in", str(unsigned), "-out", str(signed)], check=True, capture_output=True)


def signature_accepted(certificate, path):
    return subprocess.run([OSSLSIGNCODE, "verify", "-CAfile", str(certificate[0]), "-in", str(path)],
                          capture_output=True).returncode == 0


def stowpack(*args):
    return subprocess.run([str(STOWPACK), *map(str, args)], capture_output=True, text=True)


def security_directory(data):
    """(offset, size) of the certificate table, read from the optional header: PE32+ for the x64
    launcher, PE32 (data directories 16 bytes earlier) for the x86 one."""
    pe, = struct.unpack_from("<I", data, 60)
    magic, directories = {64: (0x20B, 112), 32: (0x10B, 96)}[BITS]
    assert struct.unpack_from("<H", data, pe + 24) == (magic,)
    return struct.unpack_from("<II", data, pe + 24 + directories + 4 * 8)


def covered_end(data):
    start = block_start(data)
    length, = struct.unpack_from("<q", data, start + 12)
    return start + 20 + length


@pytest.fixture
def signed(pack, certificate):
    """A packed installer with two payload files, signed into signed.exe; returns (installer, unsigned bytes)."""
    payload = bytes((i * 97 + 5) % 256 for i in range(200_000))
    installer = pack(config={"product_kind": "i", "main_class": "com.example.Main"},
                     files=[("data.bin", payload), ("notes.txt", b"signed installers keep working")],
                     java_data=b"J" * 500)
    unsigned = installer.path.read_bytes()
    signed_path = installer.path.with_name("signed.exe")
    sign(certificate, installer.path, signed_path)
    installer.path = signed_path
    return installer, unsigned


def run_to_main(installer, wine, java_home, tmp_path):
    report = tmp_path / "report.txt"
    report.unlink(missing_ok=True)
    result = installer.run("-q", "one", env={**java_home, "STOWLINE_LOG": "yes",
                                              "TEST_VM_REPORT": wine.windows_path(report)})
    return result, report.read_text("utf-8") if report.exists() else "", own_log(wine, tmp_path)


class TestSignedInstaller:
    def test_signed_after_packing_it_verifies_extracts_and_reaches_main(self, signed, certificate, wine, java_home,
                                                                        tmp_path):
        installer, unsigned = signed
        data = installer.path.read_bytes()
        offset, size = security_directory(data)
        end = covered_end(data)
        # Signing touches only the headers' checksum and security entry and appends padding and the table.
        assert size > 0 and end <= offset < end + 8 and offset + size == len(data)
        assert data[block_start(data):end] == unsigned[block_start(unsigned):end]
        assert signature_accepted(certificate, installer.path)

        verify = stowpack("verify", installer.path)
        assert verify.returncode == 0, verify.stderr
        assert f"signature: present, certificate table at {offset}, {size} bytes" in verify.stdout
        dump = stowpack("dump", installer.path)
        assert dump.returncode == 0, dump.stderr
        assert f"certificate table: offset {offset}, size {size}" in dump.stdout
        assert "warning" not in dump.stderr

        result, report, log = run_to_main(installer, wine, java_home, tmp_path)
        assert result.returncode == 0, result.stderr
        computed, expected = log.split("checksums: ", 1)[1].split()[:2]
        assert computed == expected
        assert "vm-created" in report
        assert any(line.startswith('main "') for line in report.splitlines()), report
        assert any(line.startswith("main-arg ") and line.endswith(' "one"') for line in report.splitlines())

    def test_a_payload_byte_changed_after_signing_fails_both_checks(self, signed, certificate, wine, java_home,
                                                                   tmp_path):
        installer, _ = signed
        data = bytearray(installer.path.read_bytes())
        masked = bytes(b ^ 0xA7 for b in b"signed installers keep working")  # as the payload stores it
        data[data.index(masked) + 3] ^= 0x01
        installer.path.write_bytes(bytes(data))

        assert not signature_accepted(certificate, installer.path)
        verify = stowpack("verify", installer.path)
        assert verify.returncode == 1
        assert ": checksum: " in verify.stderr and "signature: present" in verify.stdout
        result, report, _ = run_to_main(installer, wine, java_home, tmp_path)
        assert result.returncode == 1
        assert CORRUPTED in result.stderr.decode("cp1252")
        assert "vm-created" not in report
