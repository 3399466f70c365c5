"""Start-up on a real JVM: main's arguments, the properties the launcher set, the hand-over before
main, and one native of every bound class answering from Java."""
import re
import shutil

import pytest

from conftest import JAVA_SIDE

ARGUMENTS = ["plain", "two words", "Gr\u00fc\u00dfe \u03a9 \u65e5\u672c", 'quote"inside']


def vm_options(run):
    return [m.group(1) for m in re.finditer(r"^\[\d+:\d+\] vmoption \d+: (.*?)\r?$", run.log, re.M)]


@pytest.fixture
def startup(program, pack, tmp_path):
    """The Startup program run from a directory whose name has no ANSI form, with a configured
    option that holds a space. (Avian reads option strings as UTF-8, not in the ANSI code page the
    launcher hands them over in: a Windows-1252 "\u00e9" in a -D option breaks its property table.)"""
    config = {"product_kind": "i", "main_class": "realjvm.Startup", "vm_options": '"-Drealjvm.option=two words"'}
    installer = pack(config=config, files=[("realjvm.jar", JAVA_SIDE.read_bytes())], name="startup.exe")
    unusual = tmp_path / "\u03a9 \u65e5\u672c"
    unusual.mkdir()
    moved = unusual / "startup.exe"
    shutil.move(installer.path, moved)
    installer.path = moved
    return program("Startup", *ARGUMENTS, installer=installer, env={"REALJVM_TEXT": "Gr\u00fc\u00dfe \u03a9"})


def test_main_gets_the_fixed_arguments_then_the_command_line(startup, wine):
    assert startup.code == 0, startup
    args = startup.results["args"]
    assert args[:5] == ["false", "realjvm.Startup", "", "", "false"]
    assert args[5].lower().endswith("startup.exe")
    # The switches stay: the Java side sees the whole command line after the program.
    assert args[6] == "-q" and args[7].startswith("--results=") and args[8:] == ARGUMENTS


def test_every_property_of_the_option_list_reaches_java(startup, wine):
    assert startup.code == 0, startup
    properties = startup.results["properties"]
    options = [o[2:].split("=", 1) for o in vm_options(startup) if o.startswith("-D")]
    names = [name for name, _ in options]
    for wanted in ("tallow.isStowline", "tallow.moduleName", "tallow.tempDir", "tallow.unextractedPosition",
                   "tallow.consoleCodepage", "sun.java.command", "java.library.path", "java.class.path"):
        assert wanted in names
    differing = {name for name, value in options if properties.get(name) != value}
    # tallow.moduleName is set again from Java before main, from the exact Unicode path.
    assert differing == {"tallow.moduleName"}, {n: (v, properties.get(n)) for n, v in options}
    assert properties["realjvm.option"] == "two words"
    assert properties["tallow.isStowline"] == "true"


def test_the_exact_unicode_path_reaches_java_twice(startup, wine):
    assert startup.code == 0, startup
    exact = wine.windows_path(startup.installer.path)
    assert startup.results["property tallow.moduleName"] == exact
    assert startup.results["externalExecutable"] == exact
    assert startup.logged("setting tallow.moduleName to " + exact)


def test_init_from_launcher_runs_once_before_the_natives_are_bound(startup):
    assert startup.code == 0, startup
    calls = startup.results["initFromLauncher"]
    assert len(calls) == 1 and calls[0].startswith("true "), calls
    assert calls[0] != "true bound", "natives answered before registerNatives ran"


def test_one_native_of_every_class_answers(startup):
    assert startup.code == 0, startup
    r = startup.results
    assert not startup.logged("ERROR"), startup.log
    assert r["FileVersion"] == 3
    assert r["FolderInfo"].lower() == "c:\\windows"
    assert r["Misc"] > 1 << 20
    assert r["ObjectPicker"] is None
    assert r["ShellLink"] is True
    assert r["VistaFileChooser"] == r["VistaTaskDialog"] == r["WinTaskBar"] == "void"
    assert r["Win32CommunicationBackend"] == "-1 true"
    assert r["Win32Proxy"] is True
    assert r["Win32UserInfo"].startswith("S-1-5-")
    assert r["WinGuiHelper"] == 0
    assert r["WinInet"] is True
    assert r["ACLHandling"] is False
    assert r["Registry"] == "true false"
    assert r["Win32Exec"] == 3  # ERROR_PATH_NOT_FOUND
    assert r["Win32Handle"].startswith("\\Device\\")
    assert r["Win32Services"] == 1060  # ERROR_SERVICE_DOES_NOT_EXIST
    assert r["registerExtensionFunctions0"] is True
    assert r["FlatWindowsNativeWindowBorder"] == 7
    assert r["FlatWindowsNativeWindowBorder$WndProc"] == 0
    assert r["done"] is True


def test_environment_text_crosses_unchanged(startup):
    assert startup.code == 0, startup
    assert "REALJVM_TEXT=Gr\u00fc\u00dfe \u03a9" in startup.results["environment"]
