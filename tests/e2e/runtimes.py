"""Test runtimes for the Java runtime search, and the registry entries that point at them.

A runtime is a directory built from a short description of its files, for example
    runtimes.make("jdk", "1.8.0_172", ["bin/java.exe", "jre/bin/client/jvm.dll", "lib/tools.jar"])
Entries:
    bin/java.exe, jre/bin/java.exe, .../javaw.exe   the stub java.exe of tests/doubles/java_stub, with a
                                                    java_stub.cfg beside it that prints the version
    .../jvm.dll                                     a jvm.dll that loads (the test VM, else jvm_min)
    .../jvm.dll=bad                                 a file that is not a DLL
    .../jvm.dll=other                               a jvm.dll built for the other bitness
    bin/unpack200.exe                               the unpack200 double of tests/doubles/unpack200
    lib/NAME.jar.pack                               a pack file that the unpack200 double turns into NAME.jar
    anything else (lib/tools.jar)                   a small file

Registry entries go through `wine reg` (exact key names, "/" allowed inside a name). Everything
added is removed again at the end of the test, together with the launcher's version-cache keys of
the runtimes made here.
"""
import pathlib
import shutil
import subprocess
import tempfile

VERSION_CACHE = r"HKCU\SOFTWARE\fenmoor\tallow\jvms"
PACKED_JAR = b"PK\x05\x06" + bytes(18)  # the jar inside every pack file: an empty archive


def run_wine(command, silent=False, **options):
    """Runs a Windows program that always writes a line (or, when silent, writes nothing only when it
    succeeds), with its output captured. Under load Wine now and then fails to start a program at
    all: it says "ShellExecuteEx failed" ("Application could not be started") or ends it with no
    output whatever. Such a start is tried again, three times in all; the program's own answers are
    not."""
    for _ in range(3):
        result = subprocess.run(command, capture_output=True, **options)
        output = result.stdout + result.stderr
        failed_start = "ShellExecuteEx failed" if isinstance(output, str) else b"ShellExecuteEx failed"
        if failed_start not in output and (output.strip() or (silent and result.returncode == 0)):
            break
    return result


def wine_reg(*args):
    """Runs Wine's reg.exe, which writes a line even for a missing key or value, but nothing for an
    import that succeeds (trying that again would only give Wine more starts to fail)."""
    return run_wine(["wine", "reg", *args], silent=args[0] == "import", text=True)


def windows_path(path):
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def cache_key_of(windows_java_exe):
    """The launcher's version-cache key of a java.exe (normalised: lower case, "/" for "\\")."""
    return VERSION_CACHE + "\\" + windows_java_exe.lower().replace("\\", "/")


class Runtime:
    def __init__(self, home, version, files):
        self.home = pathlib.Path(home)
        self.version = version
        self.files = files

    def windows(self, relative=""):
        path = self.home / relative if relative else self.home
        return windows_path(path)

    @property
    def java(self):
        """The Windows path of the java.exe that the search would take for this home."""
        for relative in ("jre/bin/java.exe", "bin/java.exe"):
            if (self.home / relative).exists():
                return self.windows(relative)
        return self.windows("bin/java.exe")

    def probes(self):
        """How often any stub of this runtime was started."""
        return sum(len(calls.read_text().splitlines()) for calls in self.home.rglob("java_stub.calls"))

    def set_stub(self, version=None, exit_code=0, extra=()):
        """Rewrites what every stub of the runtime prints and returns."""
        lines = [f'err=java version "{version or self.version}"', "err=Runtime Environment (build test)",
                 f"exit={exit_code}", *extra]
        for exe in self.home.rglob("java.exe"):
            (exe.parent / "java_stub.cfg").write_text("\n".join(lines) + "\n")


class Registry:
    """Adds keys and values with `wine reg` and removes exactly what it added."""

    def __init__(self):
        self.created_keys = []  # top-most keys that did not exist before
        self.added_values = []  # (key, value name) on keys that existed before

    @staticmethod
    def _reg(*args, check=True):
        result = wine_reg(*args)
        if check and result.returncode != 0:
            raise RuntimeError(f"wine reg {' '.join(args)}: {result.stdout}{result.stderr}")
        return result

    def exists(self, key):
        return self._reg("query", key, check=False).returncode == 0

    def _note_new(self, key):
        """Remembers the top-most missing ancestor of key (itself included) before it is created."""
        parts = key.split("\\")
        topmost = None
        for length in range(len(parts), 1, -1):
            candidate = "\\".join(parts[:length])
            if self.exists(candidate):
                break
            topmost = candidate
        if topmost and not any(topmost == k or topmost.startswith(k + "\\") for k in self.created_keys):
            self.created_keys.append(topmost)
        return topmost is not None

    def add_key(self, key):
        self._note_new(key)
        self._reg("add", key, "/f")

    def set_value(self, key, name, data, kind="REG_SZ"):
        is_new = self._note_new(key)
        if not is_new:
            self.added_values.append((key, name))
        self._reg("add", key, "/v", name, "/t", kind, "/d", data, "/f")

    def import_keys(self, keys):
        """Creates many value-less keys at once (one `wine reg import`)."""
        parents = {}
        for key in keys:
            parents.setdefault(key.rsplit("\\", 1)[0], []).append(key)
        for parent, children in parents.items():
            if not self._note_new(parent):
                self.created_keys += children
        self._import([f"[{self._long_root(key)}]" for key in keys])

    @staticmethod
    def _long_root(key):
        root, rest = key.split("\\", 1)
        return {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}.get(root, root) + "\\" + rest

    def _import(self, sections):
        text = "\r\n\r\n".join(["Windows Registry Editor Version 5.00", *sections]) + "\r\n\r\n"
        with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False, encoding="utf-16", newline="") as file:
            file.write(text)
        try:
            self._reg("import", windows_path(file.name))
        finally:
            pathlib.Path(file.name).unlink()

    def delete_trees(self, keys):
        """Removes keys with everything below them (missing ones are fine), in one import."""
        if keys:
            self._import([f"[-{self._long_root(key)}]" for key in keys])

    def cleanup(self):
        for key, name in reversed(self.added_values):
            self._reg("delete", key, "/v", name, "/f", check=False)
        self.delete_trees(list(reversed(self.created_keys)))
        self.added_values.clear()
        self.created_keys.clear()


class Runtimes:
    """Builds runtime layouts below root and registers them; cleanup() undoes the registry side."""

    def __init__(self, root, doubles, registry, bits=64):
        self.bits = bits  # the launcher's: a 32-bit one reads HKLM\\SOFTWARE in the 32-bit view
        self.root = pathlib.Path(root)
        self.doubles = pathlib.Path(doubles)
        self.registry = registry
        self.made = []
        stub = self.doubles / "java_stub" / "java.exe"
        if not stub.exists():
            raise FileNotFoundError(f"{stub}: build the java_stub target")
        self.stub = stub
        test_vm = self.doubles / "test_vm" / "jvm.dll"
        self.good_dll = test_vm if test_vm.exists() else self.doubles / "jvm_min" / "jvm.dll"
        self.other_dll = self.doubles / "jvm_min" / "jvm_other_bitness.dll"

    def make(self, name, version="11.0.2", files=("bin/java.exe", "bin/server/jvm.dll"), exit_code=0, root=None):
        home = pathlib.Path(root or self.root) / name
        home.mkdir(parents=True, exist_ok=True)
        for entry in files:
            relative, _, kind = entry.partition("=")
            target = home / relative
            target.parent.mkdir(parents=True, exist_ok=True)
            if target.name in ("java.exe", "javaw.exe"):
                shutil.copyfile(self.stub, target)
            elif target.name == "jvm.dll" and kind == "bad":
                target.write_bytes(b"this is not a DLL\r\n")
            elif target.name == "jvm.dll" and kind == "other":
                if not self.other_dll.exists():
                    raise FileNotFoundError(f"{self.other_dll}: no compiler for the other bitness")
                shutil.copyfile(self.other_dll, target)
            elif target.name == "jvm.dll":
                shutil.copyfile(self.good_dll, target)
            elif target.name == "unpack200.exe":
                shutil.copyfile(self.doubles / "unpack200" / "unpack200.exe", target)
            elif target.name.endswith(".jar.pack"):
                target.write_bytes(b"PACK200-DOUBLE\n" + PACKED_JAR)
            else:
                target.write_bytes(PACKED_JAR)
        runtime = Runtime(home, version, list(files))
        runtime.set_stub(exit_code=exit_code)
        self.made.append(runtime)
        return runtime

    # Registry entries the search reads, written where the launcher's default reads look: HKLM\SOFTWARE
    # of a 32-bit launcher is WOW6432Node of this 64-bit prefix (HKCU\SOFTWARE is one for both).

    def own_view(self, key):
        if self.bits == 32 and key.upper().startswith("HKLM\\SOFTWARE\\"):
            return key[:len("HKLM\\SOFTWARE\\")] + "WOW6432Node\\" + key[len("HKLM\\SOFTWARE\\"):]
        return key

    def javasoft(self, layout_key, runtime, version_name, current=False):
        """HKLM SOFTWARE\\JavaSoft\\<layout_key>\\<version_name> with JavaHome; optionally CurrentVersion."""
        base = self.own_view(f"HKLM\\SOFTWARE\\JavaSoft\\{layout_key}")
        self.registry.set_value(f"{base}\\{version_name}", "JavaHome", runtime.windows())
        if current:
            self.registry.set_value(base, "CurrentVersion", version_name)

    # Keys today's runtime installers write (search entry V), by layout: the MSI template's
    # <vendor>\<JDK|JRE>\<version>\<vm>\MSI "Path" (with its trailing backslash), one key per
    # product with "InstallationPath", or the JavaSoft keys with "JavaHome".
    VENDOR_LAYOUTS = {
        "temurin": r"SOFTWARE\Eclipse Adoptium\{kind}\{version}\hotspot\MSI|Path",
        "microsoft": r"SOFTWARE\Microsoft\JDK\{version}\hotspot\MSI|Path",
        "semeru": r"SOFTWARE\Semeru\{kind}\{version}\openj9\MSI|Path",
        "zulu": r"SOFTWARE\Azul Systems\Zulu\zulu-{major}{jre_suffix}|InstallationPath",
        "zulu32": r"SOFTWARE\Azul Systems\Zulu 32-bit\zulu-{major}{jre_suffix}|InstallationPath",
        "liberica": r"SOFTWARE\BellSoft\Liberica\{kind_lower}-{major}|InstallationPath",
        "corretto": r"SOFTWARE\JavaSoft\{kind}\{version}|JavaHome",
    }

    def vendor(self, layout, runtime, root="HKLM", view64=True, jre=False):
        """Registers runtime as the installer of layout would; view64=False writes the 32-bit view
        (WOW6432Node of this 64-bit prefix). Returns the key written."""
        pattern, value_name = self.VENDOR_LAYOUTS[layout].split("|")
        kind = "JRE" if jre else "JDK"
        key = pattern.format(kind=kind, kind_lower=kind.lower(), version=runtime.version,
                             major=runtime.version.split(".")[0], jre_suffix="-jre" if jre else "")
        if not view64:
            key = key.replace("SOFTWARE\\", "SOFTWARE\\WOW6432Node\\", 1)
        home = runtime.windows() + ("\\" if value_name == "Path" else "")
        self.registry.set_value(f"{root}\\{key}", value_name, home)
        return key

    def shared(self, root, sharing_key, runtime):
        self.registry.add_key(self.own_view(f"{root}\\SOFTWARE\\fenmoor\\stowline\\sharedjvms\\{sharing_key}\\"
                                            + runtime.java.replace("\\", "/")))

    def located(self, root, runtime):
        self.registry.add_key(self.own_view(f"{root}\\SOFTWARE\\fenmoor\\tallow\\locatedjvms\\" + runtime.java.replace("\\", "/")))

    def installations(self, root, application_id, directories):
        self.registry.set_value(self.own_view(f"{root}\\SOFTWARE\\fenmoor\\stowline\\installations"), application_id,
                                ";".join(directories))

    def cached_version(self, runtime, java=None):
        """The version text the launcher cached for the runtime's java.exe, or None."""
        key = cache_key_of(java or runtime.java)
        result = wine_reg("query", key, "/v", "Version")
        if result.returncode != 0:
            return None
        for line in result.stdout.splitlines():
            parts = line.split(None, 2)
            if len(parts) >= 2 and parts[0] == "Version":
                return parts[2] if len(parts) == 3 else ""
        return None

    def cleanup(self):
        self.registry.cleanup()
        cache_keys = []
        for runtime in self.made:
            for exe in list(runtime.home.rglob("java.exe")) + list(runtime.home.rglob("javaw.exe")):
                cache_keys.append(cache_key_of(windows_path(exe)))
        self.registry.delete_trees(cache_keys)
        self.made.clear()
