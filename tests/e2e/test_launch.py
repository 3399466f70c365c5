"""The launch of packed installers under Wine with the test VM: the VM option list, the stack size of
the VM thread, the arguments of main, Java exceptions, native registration and the hand-over of the
launcher's settings. What the launcher asked of the VM is read from the test VM's report.
"""
import json
import re

import pytest

from conftest import read_log

PLATFORM = "com/stowline/runtime/installer/platform/win32/"
TABLE_ORDER = ["FileVersion", "FolderInfo", "Misc", "ObjectPicker", "ShellLink", "VistaFileChooser",
               "VistaTaskDialog", "Win32CommunicationBackend", "Win32Proxy", "Win32UserInfo", "WinGuiHelper",
               "wininet/WinInet", "WinTaskBar", "ACLHandling", "Registry", "Win32Exec", "Win32Handle",
               "Win32Services"]
MESSAGES = {"1005": "vm not started", "1006": "missing file {0}", "1008": "define {0}", "1010": "no main class"}


def quoted(field):
    return json.loads(field)


class Launch:
    """One run: exit code, output, the native log and the test VM's report."""

    def __init__(self, result, log, report):
        self.code = result.returncode
        self.stdout = result.stdout.decode("cp1252")
        self.stderr = result.stderr.decode("cp1252")
        self.log = log
        self.text = report
        self.report = report.splitlines()

    def records(self, name):
        return [line[len(name) + 1:] for line in self.report if line.startswith(name + " ")]

    @property
    def options(self):
        return [quoted(line.split(" ", 1)[1]) for line in self.records("option")]

    @property
    def main_arguments(self):
        return [quoted(line.split(" ", 1)[1]) for line in self.records("main-arg")]

    def log_lines(self, pattern):
        return re.findall(r"^\[\d+:\d+\] " + pattern + r"\r?$", self.log, re.MULTILINE)

    def option(self, prefix):
        found = [o for o in self.options if o.startswith(prefix)]
        return found[-1] if found else None


@pytest.fixture
def launch(pack, wine, runtime, tmp_path):
    """launch(config, *args, version=, jli=, script=, env=, files=, installer=) -> Launch"""

    def run(config=None, *args, version="11.0.2", jli=False, script=None, env=None, files=(), installer=None):
        home = runtime(version, jli)
        merged = {"product_kind": "i", "main_class": "com.example.Main"}
        merged.update(config or {})
        installer = installer or pack(config=merged, messages=MESSAGES, files=files)
        report = tmp_path / "report.txt"
        report.unlink(missing_ok=True)
        environment = {"STOWLINE_LOG": "yes", "STOWLINE_JAVA_HOME": wine.windows_path(home),
                       "TEST_VM_REPORT": wine.windows_path(report)}
        if script is not None:
            (tmp_path / "script.txt").write_text(script)
            environment["TEST_VM_SCRIPT"] = wine.windows_path(tmp_path / "script.txt")
        environment.update(env or {})
        wine.clear_logs()
        result = installer.run("-q", *args, env=environment)
        started = "Started executable " + wine.windows_path(installer.path) + " "
        logs = [text for text in map(read_log, wine.logs()) if text.startswith(started)]
        return Launch(result, logs[-1] if logs else "", report.read_text("utf-8") if report.exists() else "")

    return run


class TestLauncherProperties:
    def test_manpath_suppresses_the_console_code_page(self, launch):
        done = launch(env={"MANPATH": "/usr/share/man"})
        assert done.code == 0
        assert done.option("-Dtallow.consoleCodepage") is None
        assert done.option("-Djava.library.path=") is not None

    def test_a_plain_launcher_is_no_installer(self, launch):
        done = launch({"product_kind": "x"})
        assert done.code == 0
        assert done.option("-Dtallow.isStowline") is None
        assert done.records("main")[0].startswith('"com/tallow/runtime/WinLauncher" ')
        assert done.records("register-natives") == [] or all(
            "NativeLogger" in r for r in done.records("register-natives"))
        assert done.records("init-from-launcher") == []


class TestOptionSources:
    GROUPS = {"version_group_count": 2, "version_group_range_0": "9-100000", "version_group_options_0": "-Dgroup=modern",
              "version_group_range_1": "*1.8*", "version_group_options_1": "-Dgroup=eight -Dsecond=1"}

    @pytest.mark.parametrize("version, expected", [("1.8.0_172", ["-Dgroup=eight", "-Dsecond=1"]),
                                                   ("11.0.2", ["-Dgroup=modern"])])
    def test_version_groups_first_match_wins(self, launch, version, expected):
        done = launch(self.GROUPS, version=version)
        assert done.code == 0
        assert [o for o in done.options if o.startswith(("-Dgroup", "-Dsecond"))] == expected
        major = "8" if version.startswith("1.8") else "11"
        assert done.log_lines(rf"checking min 9 max 100000 with {major}")

    def test_default_options_file_keeps_only_real_lines(self, launch, pack, tmp_path):
        installer = pack(config={"product_kind": "i", "main_class": "M", "read_default_vm_options": 1})
        (tmp_path / "installer.vmoptions").write_bytes(
            b"# -Dcommented=1\r\n\r\n   -Xmx512m  \t\r\n-classpath/a first.jar\r\n-classpath/a second.jar\r\n"
            b"-include-options more\\extra.vmoptions\r\n")
        (tmp_path / "more").mkdir()
        (tmp_path / "more" / "extra.vmoptions").write_text("-Dextra=two words\n-include-options ..\\installer.vmoptions\n")
        done = launch(installer=installer)
        assert done.code == 0
        added = done.options[done.options.index("-Duser.language=en") + 2:]
        assert added[:2] == ["-Xmx512m", "-Dextra=two words"]
        assert done.option("-Djava.class.path=") == "-Djava.class.path=;second.jar"
        assert not any("commented" in o for o in done.options)

    def test_module_options_are_joined(self, launch):
        done = launch({"vm_options": "--add-opens java.desktop/java.awt=ALL-UNNAMED -Dafter=1"})
        assert "--add-opens=java.desktop/java.awt=ALL-UNNAMED" in done.options
        assert "java.desktop/java.awt=ALL-UNNAMED" not in done.options
        assert "-Dafter=1" in done.options

    def test_locale_switch_true_adds_no_language(self, launch):
        done = launch(None, "-Dsun.locale.formatasdefault=true")
        assert "-Dsun.locale.formatasdefault=true" in done.options
        assert done.option("-Duser.language") is None
        assert "-Dsun.locale.formatasdefault=true" not in done.main_arguments

    def test_java_option_arguments(self, launch):
        done = launch({"java_option_arguments": 1, "default_arguments": "-c1 \"c two\""}, "-J-Xmx1g", "a", "b")
        assert done.code == 0
        assert "-Xmx1g" in done.options
        args = done.main_arguments
        assert args[:5] == ["false", "com.example.Main", "", "", "false"]
        assert args[5].endswith("installer.exe")
        assert args[6:] == ["-c1", "c two", "-q", "a", "b"]


class TestArgumentFiles:
    def write_args(self, tmp_path, wine):
        (tmp_path / "args.txt").write_text('-Dfrom=file "-Dquoted=a b"\n--add-opens\njava.base/java.lang=ALL-UNNAMED\n')
        return "-J@" + wine.windows_path(tmp_path / "args.txt")

    def test_expanded_through_the_runtime_library(self, launch, tmp_path, wine):
        done = launch({"java_option_arguments": 1}, self.write_args(tmp_path, wine), jli=True)
        assert done.code == 0
        assert "-Dfrom=file" in done.options and "-Dquoted=a b" in done.options
        assert "--add-opens=java.base/java.lang=ALL-UNNAMED" in done.options
        assert not any(o.startswith("@") for o in done.options)
        assert done.log_lines(r"@ argument found 1 .*")

    def test_kept_without_the_runtime_library(self, launch, tmp_path, wine):
        argument = self.write_args(tmp_path, wine)
        done = launch({"java_option_arguments": 1}, argument, jli=False)
        assert done.code == 0
        assert argument[2:] in done.options
        assert done.log_lines(r"did not find .*jli\.dll")


class TestPaths:
    def test_module_main_class_opens_its_package(self, launch):
        done = launch({"product_kind": "x", "main_from_module_path": 1, "main_class": "my.app/com.example.Main"},
                      files=[("app.jar", b"PK\x05\x06" + bytes(18))])
        assert done.code == 0
        module_path = done.option("--module-path=")
        assert module_path and module_path.endswith("\\app.jar;")
        assert done.options[-2:] == ["--add-opens=my.app/com.example=com.tallow.runtime",
                                     "--add-modules=my.app,com.tallow.runtime"]
        assert done.main_arguments[1] == "/my.app/com.example.Main"

    def test_payload_archives_join_the_class_path(self, launch):
        done = launch({"class_path": "A0lib\\extra.jar"}, files=[("a.jar", b"x"), ("b.zip", b"y"), ("c.txt", b"z")])
        class_path = done.option("-Djava.class.path=")[len("-Djava.class.path="):].split(";")
        assert [p.rsplit("\\", 1)[-1] for p in class_path if p] == ["a.jar", "b.zip", "extra.jar"]

    @pytest.mark.parametrize("entry, message", [("A1missing\\none.jar", "missing file missing\\none.jar"),
                                                ("S1nodir", "missing file nodir"),
                                                ("E1LAUNCH_TEST_UNDEFINED", "define LAUNCH_TEST_UNDEFINED")])
    def test_required_entries_end_the_launch(self, launch, entry, message):
        done = launch({"class_path": entry})
        assert done.code == 1
        assert message in done.stderr
        assert done.records("create-vm") == []


class TestStackSize:
    @pytest.mark.parametrize("options, size", [("", 0), ("-Xss32k", 65536), ("-Xss2m", 2097152),
                                               ("-Xss1k -Xss4m", 4194304)])
    def test_vm_thread_stack(self, launch, options, size):
        done = launch({"vm_options": options} if options else None)
        assert done.code == 0
        assert done.log_lines(rf"used stack size {size}")
        assert "main-returned" in done.report


class TestVmAndMain:
    def test_an_exception_from_main_is_logged_and_fails_the_launch(self, launch):
        done = launch(script="main throw java/lang/IllegalStateException \"broken on purpose\"\n")
        assert done.code == 1
        assert done.log_lines(r"ERROR: an exception occurred")
        assert done.log_lines(r"ERROR: java\.lang\.IllegalStateException: broken on purpose")
        assert done.log_lines(r"ERROR: could not call main")
        assert "vm not started" in done.stderr
        assert "destroy-vm" not in done.report

    def test_vm_creation_failure(self, launch):
        done = launch(script="create-fails -4\n")
        assert done.code == 1
        assert done.log_lines(r"ERROR: could not initialize JVM")
        assert "vm not started" in done.stderr

    def test_missing_launcher_class(self, launch):
        done = launch(script="missing-class com/stowline/runtime/launcher/WinLauncher\n")
        assert done.code == 1
        assert "no main class" in done.stderr
        assert done.records("main") == []

    def test_registration_stops_at_a_missing_class(self, launch):
        done = launch(script=f"missing-class {PLATFORM}Misc\n")
        assert done.code == 0
        assert done.records("init-from-launcher") == ["true", "false"]
        assert done.log_lines(r"ERROR: registering helper dll failed")
        registered = [quoted(r.split(" ")[0]) for r in done.records("register-natives")]
        # The classes before Misc stay registered; Misc ends it and nothing after it is registered.
        assert [name for name in registered if name.startswith(PLATFORM)] == [PLATFORM + n for n in TABLE_ORDER[:2]]
        stop = done.log_lines(r"ERROR: (could not load class .*|did not find .*)")
        assert stop == [f"could not load class {PLATFORM}Misc"]

    def test_every_class_registers_and_its_natives_answer(self, launch):
        # One native of every family, called by the Java side through the registered binding.
        calls = "".join(f"main call {PLATFORM}{call}\n" for call in [
            "FolderInfo getWindowsDirectory0 ()Ljava/lang/String;",
            "Registry keyExists0 (ILjava/lang/String;I)Z 2 Software 0",
            "Misc getPhysicalMemory0 ()J",
            "Win32CommunicationBackend getInvalidHandle0 ()J",
            "Win32Services queryStatus0 (Ljava/lang/String;)I no-such-service",
            "Win32UserInfo getUserSid0 ()Ljava/lang/String;",
            "wininet/WinInet getErrorMessage0 (I)Ljava/lang/String; 12029",
        ])
        done = launch(script=calls)
        assert done.code == 0
        assert done.records("init-from-launcher") == ["true"]
        assert not done.log_lines(r"ERROR: (could not load class .*|did not find .*|register .* failed .*)")
        registered = [quoted(r.split(" ")[0]) for r in done.records("register-natives")]
        assert [name for name in registered if name.startswith(PLATFORM)] == [PLATFORM + n for n in TABLE_ORDER]
        assert all(r.endswith("result=0") for r in done.records("register-natives"))
        natives = [r for r in done.records("native") if quoted(r.split(" ")[0]).startswith(PLATFORM)]
        assert len(natives) == 104 and all(r.endswith(" bound") for r in natives)
        results = done.records("result")
        assert len(results) == 7
        assert json.loads(results[0]).lower() == "c:\\windows"
        assert results[1] == "boolean true"
        assert int(results[2].split()[1]) > 0
        assert results[3] == "long -1"
        assert results[4] == "int 1060"
        assert results[5].startswith('"S-1-5-')
        assert results[6] != "null"

    def test_settings_handed_to_java(self, launch):
        config = {"splash_through_java": 1, "163": "1", "10111": "Loading", "10109": "10", "10110": "20",
                  "10114": "0,0,0", "10113": "12", "10115": "1", "10118": "v1.0", "10116": "30", "10117": "40",
                  "10121": "255,255,255", "10120": "9", "10122": "2"}
        done = launch(config)
        assert done.code == 0
        assert done.records("init-awt-splash-config") == [
            'boolean true boolean true "Loading" int 10 int 20 "0,0,0" int 12 int 1 "v1.0" int 30 int 40 '
            '"255,255,255" int 9 int 2']
        deletion = done.records("set-static-field")
        assert deletion and deletion[0].startswith('"com/tallow/runtime/util/WinDel" "externalExecutable" "')
        assert any(r.startswith('"tallow.moduleName" "') and r.endswith('installer.exe"')
                   for r in done.records("set-property"))
        assert done.text.index("vm-created") < done.text.index("init-awt-splash-config") < done.text.index("\nmain ")
