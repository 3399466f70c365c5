#!/usr/bin/env python3
"""The Java side of the natives, from their registration tables: each class file under natives/ keeps
its rows, natives/registration.cpp lists the classes in order.

    native_decls.py cxx OUT.inc        the test VM's class list: {"owner", "name", "signature"} rows
    native_decls.py java OUTDIR        one Java source per table class, each native declared with the
                                       table's descriptor (static or not as its C++ declaration says;
                                       a nested class becomes a top-level class of the same binary name)
    native_decls.py check              only the checks below

The compiler already checks each row's arity, primitive types and calling convention against its
function (natives/native_table.h). What it cannot tell apart is the kind of a reference (jstring,
jclass and arrays are all jobject to it) and whether a native is static: every mode first reads each
row's exported declaration in natives/**/*.h and compares its reference types and its second
parameter (jclass: static) with the descriptor. A mismatch names the row and exits with status 1.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
NATIVES = ROOT / "natives"
ORDER = NATIVES / "registration.cpp"

PRIMITIVES = {"Z": ("boolean", "jboolean"), "B": ("byte", "jbyte"), "C": ("char", "jchar"), "S": ("short", "jshort"),
              "I": ("int", "jint"), "J": ("long", "jlong"), "F": ("float", "jfloat"), "D": ("double", "jdouble")}
ARRAYS = {"Z": "jbooleanArray", "B": "jbyteArray", "C": "jcharArray", "S": "jshortArray", "I": "jintArray",
          "J": "jlongArray", "F": "jfloatArray", "D": "jdoubleArray"}


def fail(text):
    sys.exit(f"native_decls: {text}")


def read_rows(text, arrays, classes):
    """Adds the method arrays and the classes one class file defines."""
    for match in re.finditer(r"constexpr NativeMethodName (\w+)\[\] = \{(.*?)\n\};", text, re.S):
        body = match.group(2)
        rows = re.findall(r'\b[A-Z]+_ROW\(\w+, (\w+), "([^"]+)"\)', body)
        if not rows or len(rows) != body.count("_ROW("):
            fail(f"{match.group(1)}: a row that is not ROW(class, name, \"descriptor\")")
        arrays[match.group(1)] = rows
    for variable, name, array in re.findall(r'constexpr NativeClass (\w+) =\s*nativeClass\("([^"]+)", (\w+)\);', text):
        if array not in arrays:
            fail(f"{name}: no method array {array}")
        classes[variable] = (name.replace(".", "/"), arrays[array])


def read_table(edit=lambda text: text):
    """[(slash class name, [(method, descriptor)])] in registration order, both tables; edit sees
    each source's text before it is read."""
    arrays, defined = {}, {}
    for source in sorted(NATIVES.rglob("*.cpp")):
        read_rows(edit(source.read_text()), arrays, defined)
    text = edit(ORDER.read_text())
    classes = []
    for table in ("kPlatformClasses", "kWindowBorderClasses"):
        body = re.search(r"const NativeClass\* const " + table + r"\[\] = \{(.*?)\n\};", text, re.S)
        if body is None:
            fail(f"{table} not found in {ORDER}")
        for variable in re.findall(r"&(\w+),", body.group(1)):
            if variable not in defined:
                fail(f"{table}: {variable} is defined by no class file")
            classes.append(defined[variable])
    if not classes:
        fail("no classes in the table")
    return classes


def mangle(name):
    out = []
    for ch in name:
        if ch in "/.":
            out.append("_")
        elif ch == "_":
            out.append("_1")
        elif ch == ";":
            out.append("_2")
        elif ch == "[":
            out.append("_3")
        elif ch.isascii() and ch.isalnum():
            out.append(ch)
        else:
            out.append("_0%04x" % ord(ch))
    return "".join(out)


def export_name(owner, method):
    return "Java_" + mangle(owner) + "_" + mangle(method)


def split_descriptor(descriptor):
    """(parameter types, return type), each a descriptor element."""
    match = re.fullmatch(r"\((.*)\)(.+)", descriptor)
    if not match:
        fail(f"bad descriptor {descriptor}")
    elements = re.findall(r"\[*(?:[ZBCSIJFD]|L[^;]+;)", match.group(1))
    if "".join(elements) != match.group(1):
        fail(f"bad parameter list in {descriptor}")
    returned = match.group(2)
    if returned != "V" and not re.fullmatch(r"\[*(?:[ZBCSIJFD]|L[^;]+;)", returned):
        fail(f"bad return type in {descriptor}")
    return elements, returned


def c_type(element):
    if element == "V":
        return "void"
    if element in PRIMITIVES:
        return PRIMITIVES[element][1]
    if element.startswith("["):
        return ARRAYS.get(element[1:], "jobjectArray")
    return {"Ljava/lang/String;": "jstring", "Ljava/lang/Class;": "jclass",
            "Ljava/lang/Throwable;": "jthrowable"}.get(element, "jobject")


def java_type(element):
    if element == "V":
        return "void"
    if element.startswith("["):
        return java_type(element[1:]) + "[]"
    if element in PRIMITIVES:
        return PRIMITIVES[element][0]
    return element[1:-1].replace("/", ".")


def read_declarations():
    """{exported name: (return type, [parameter types])} from the natives' headers."""
    found = {}
    for header in sorted((ROOT / "natives").rglob("*.h")):
        text = re.sub(r"//[^\n]*", "", header.read_text())
        for match in re.finditer(r"JNIEXPORT\s+(\w+)\s+(?:JNICALL\s+)?(Java_\w+)\s*\(([^)]*)\)", text):
            parameters = [re.sub(r"\s+\w+$", "", p.strip()).replace(" ", "") for p in match.group(3).split(",")]
            if match.group(2) in found:
                fail(f"{match.group(2)} declared twice ({header.relative_to(ROOT)})")
            found[match.group(2)] = (match.group(1), parameters)
    return found


def check(classes, declarations):
    """{(owner, method): static?}; exits on the first mismatch."""
    static = {}
    for owner, methods in classes:
        for method, descriptor in methods:
            name = export_name(owner, method)
            where = f"{owner}.{method}{descriptor}"
            if name not in declarations:
                fail(f"{where}: no declaration of {name} in natives/")
            returned, parameters = declarations[name]
            elements, java_return = split_descriptor(descriptor)
            if parameters[:1] != ["JNIEnv*"] or len(parameters) < 2 or parameters[1] not in ("jclass", "jobject"):
                fail(f"{where}: {name} does not begin with JNIEnv* and jclass or jobject")
            wanted = [c_type(e) for e in elements]
            if parameters[2:] != wanted:
                fail(f"{where}: {name} takes ({', '.join(parameters[2:])}), the descriptor ({', '.join(wanted)})")
            if returned != c_type(java_return):
                fail(f"{where}: {name} returns {returned}, the descriptor {c_type(java_return)}")
            static[(owner, method)] = parameters[1] == "jclass"
    return static


def write_cxx(classes, out):
    lines = ["// Generated by scripts/native_decls.py from the natives' registration tables: do not edit."]
    for owner, methods in classes:
        lines += [f'{{"{owner}", "{method}", "{descriptor}"}},' for method, descriptor in methods]
    out = pathlib.Path(out)
    text = "\n".join(lines) + "\n"
    if not out.exists() or out.read_text() != text:
        out.write_text(text)


def write_java(classes, static, outdir):
    """One file per table class. A nested class ("$" in its name) is written as a top-level class of
    that same binary name, which is all RegisterNatives and Class.forName see of it."""
    for owner, methods in classes:
        package, _, simple = owner.rpartition("/")
        body = ["// Generated by scripts/native_decls.py from the natives' registration tables: do not edit.",
                f"package {package.replace('/', '.')};", "", f"public class {simple} {{"]
        for method, descriptor in methods:
            elements, returned = split_descriptor(descriptor)
            arguments = ", ".join(f"{java_type(e)} a{i}" for i, e in enumerate(elements))
            modifier = "static " if static[(owner, method)] else ""
            body.append(f"    public {modifier}native {java_type(returned)} {method}({arguments});")
        body.append("}")
        path = pathlib.Path(outdir) / (owner + ".java")
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text("\n".join(body) + "\n")


def main(argv):
    if len(argv) < 2 or argv[1] not in ("cxx", "java", "check") or (argv[1] != "check" and len(argv) != 3):
        fail(__doc__.strip().splitlines()[2].strip())
    classes = read_table()
    static = check(classes, read_declarations())
    if argv[1] == "cxx":
        write_cxx(classes, argv[2])
    elif argv[1] == "java":
        write_java(classes, static, argv[2])


if __name__ == "__main__":
    main(sys.argv)
