"""Both launchers import only KnownDLLs: the loader takes any other imported DLL from the
installer's own folder (a browser's Downloads folder) before the launcher's first line runs."""
import re
import struct

import pytest

from conftest import ROOT

# The KnownDLLs of Windows 7 and of Windows 10/11 alike (HKLM\System\CurrentControlSet\Control\
# Session Manager\KnownDLLs); ntdll is always mapped first.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "gdi32.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll",
    "msctf.dll", "msvcrt.dll", "normaliz.dll", "nsi.dll", "ntdll.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
    "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll",
    "ws2_32.dll",
}
IMPORT_DIRECTORY, DELAY_IMPORT_DIRECTORY = 1, 13


def imported_dlls(data):
    """The DLL names of the import and of the delay-import tables of a PE32 or PE32+ image."""
    pe, = struct.unpack_from("<I", data, 60)
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic, = struct.unpack_from("<H", data, optional)
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    table = optional + optional_size

    def offset(rva):
        for index in range(sections):
            size, address, raw_size, raw_offset = struct.unpack_from("<IIII", data, table + 40 * index + 8)
            if address <= rva < address + max(size, raw_size):
                return rva - address + raw_offset
        raise ValueError(f"RVA {rva:#x} in no section")

    def text(rva):
        start = offset(rva)
        return data[start:data.index(b"\0", start)].decode("ascii").lower()

    names, delayed = [], []
    # GNU ld does not fill the delay-import directory: the descriptors of mingw-w64's delay-import
    # libraries are found by their shape, attributes 1 (addresses are RVAs) and four RVAs in the
    # image, the first naming a DLL.
    image_size, = struct.unpack_from("<I", data, optional + 56)
    for at in range(0, len(data) - 32, 4):
        attributes, name, module, iat, names_table = struct.unpack_from("<5I", data, at)
        if attributes != 1 or not all(0 < rva < image_size for rva in (name, module, iat, names_table)):
            continue
        try:
            start = offset(name)
        except ValueError:
            continue
        if re.fullmatch(rb"[\w.-]+\.dll", data[start:data.find(b"\0", start, start + 64)], re.I):
            delayed.append(text(name))
    for directory, entry_size, name_field in ((IMPORT_DIRECTORY, 20, 12), (DELAY_IMPORT_DIRECTORY, 32, 4)):
        rva, size = struct.unpack_from("<II", data, directories + 8 * directory)
        if rva == 0:
            continue
        entry = offset(rva)
        while any(data[entry:entry + entry_size]):
            (names if directory == IMPORT_DIRECTORY else delayed).append(
                text(struct.unpack_from("<I", data, entry + name_field)[0]))
            entry += entry_size
    return magic, names, delayed


@pytest.mark.parametrize("arch, magic", [("x64", 0x20B), ("x86", 0x10B)])
def test_launcher_imports_only_known_dlls(arch, magic):
    launcher = ROOT / "build" / arch / "windows" / "launcher.exe"
    if not launcher.exists():
        pytest.skip(f"{launcher} is not built")
    found_magic, names, delayed = imported_dlls(launcher.read_bytes())
    assert found_magic == magic
    assert "kernel32.dll" in names
    assert sorted(set(names + delayed) - KNOWN_DLLS) == []
    # What only natives and rare paths need loads at its first call, not with every start.
    assert sorted(set(names) & {"ole32.dll", "oleaut32.dll", "shell32.dll"}) == []
    assert sorted(set(delayed)) == ["ole32.dll", "oleaut32.dll", "shell32.dll"]
