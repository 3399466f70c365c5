"""scripts/native_decls.py refuses a registration row that disagrees with the natives' C++
declarations, before any VM sees it."""
import importlib.util
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
_spec = importlib.util.spec_from_file_location("native_decls", ROOT / "scripts/native_decls.py")
decls = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(decls)
SOURCES = "\n".join(path.read_text() for path in sorted((ROOT / "natives").rglob("*.cpp")))


def test_the_table_agrees_and_covers_both_tables():
    classes = decls.read_table()
    static = decls.check(classes, decls.read_declarations())
    assert sum(len(methods) for _, methods in classes) == len(static)  # no row twice
    assert classes[0][0] == "com/stowline/runtime/installer/platform/win32/FileVersion"  # registration order
    assert static[("com/stowline/runtime/flatlaf/FlatWindowsNativeWindowBorder$WndProc", "installImpl")] is False
    assert static[("com/stowline/runtime/installer/platform/win32/Registry", "getValue0")] is True


@pytest.mark.parametrize("old, new, complaint", [
    ('compare0, "(Ljava/lang/String;Ljava/lang/String;)I")', 'compare0, "(Ljava/lang/String;)I")',
     "takes (jstring, jstring), the descriptor (jstring)"),
    ('getPhysicalMemory0, "()J")', 'getPhysicalMemory0, "()I")', "returns jlong, the descriptor jint"),
    ('read0, "(J[BII)I")', 'read0, "(J[III)I")', "the descriptor (jlong, jintArray, jint, jint)"),
    ('reboot0, "()V")', 'reboot1, "()V")', "no declaration of"),
    ('reboot0, "()V")', 'reboot0, "()Q")', "bad return type"),
    ('keyExists0, "(ILjava/lang/String;I)Z")', 'keyExists0, "(ILjava/lang/String I)Z")', "bad parameter list"),
])
def test_a_disagreeing_row_is_named(old, new, complaint, capsys):
    assert SOURCES.count(old) == 1
    with pytest.raises(SystemExit) as stopped:
        decls.check(decls.read_table(lambda text: text.replace(old, new)), decls.read_declarations())
    assert complaint in str(stopped.value)


@pytest.mark.parametrize("old, new, complaint", [
    ("    &kWin32ExecNatives,\n", "    &kWin32ExecNative,\n", "kWin32ExecNative is defined by no class file"),
    ("nativeClass(\"com/stowline/runtime/installer/platform/win32/Win32Exec\", kWin32ExecRows)",
     "nativeClass(\"com/stowline/runtime/installer/platform/win32/Win32Exec\", kWin32ExecRow)", "no method array"),
])
def test_a_class_list_without_its_rows_is_named(old, new, complaint):
    with pytest.raises(SystemExit, match=complaint):
        decls.read_table(lambda text: text.replace(old, new))
