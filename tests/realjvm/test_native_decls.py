"""scripts/native_decls.py refuses a registration table that disagrees with the natives' C++
declarations, before any VM sees it."""
import importlib.util
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
_spec = importlib.util.spec_from_file_location("native_decls", ROOT / "scripts/native_decls.py")
decls = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(decls)
TABLE = (ROOT / "natives/registration.cpp").read_text()


def test_the_table_agrees_and_covers_both_tables():
    classes = decls.read_table(TABLE)
    static = decls.check(classes, decls.read_declarations())
    assert sum(len(methods) for _, methods in classes) == len(static) == 110
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
    assert old in TABLE
    with pytest.raises(SystemExit) as stopped:
        decls.check(decls.read_table(TABLE.replace(old, new)), decls.read_declarations())
    assert complaint in str(stopped.value)


def test_a_native_without_jnicall_is_refused():
    declarations = decls.read_declarations()
    name = "Java_com_stowline_runtime_installer_platform_win32_Misc_reboot0"
    returned, parameters, _ = declarations[name]
    declarations[name] = (returned, parameters, False)
    with pytest.raises(SystemExit, match="is not JNICALL"):
        decls.check(decls.read_table(TABLE), declarations)
