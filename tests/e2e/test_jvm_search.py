"""The Java runtime search of packed installers under Wine, against stub runtimes (runtimes.py).

A quiet installer whose search loads a jvm.dll goes on and ends with 0 (nothing is launched yet);
one that finds none ends with 83. Which runtime was loaded is read from the native log.
"""
import re

import pytest

from conftest import BITS, read_log
from runtimes import PACKED_JAR, windows_path

MESSAGES = {"1005": "vm not started", "1016": "no jvm {0}-bit", "1018": "variable {0} broken",
            "1020": "damaged at {0}"}


class Search:
    def __init__(self, result, log):
        self.result = result
        self.log = log
        self.code = result.returncode
        self.stdout = result.stdout.decode("cp1252")
        self.stderr = result.stderr.decode("cp1252")

    def lines(self, pattern):
        return re.findall(r"^\[\d+:\d+\] " + pattern + r"\r?$", self.log, re.MULTILINE)

    @property
    def load_attempts(self):
        return self.lines(r"Trying to load JVM-DLL from (.*)")

    @property
    def loaded(self):
        """The java.exe whose jvm.dll loaded, or None."""
        if not self.lines(r"Loading of JVM-DLL successful"):
            return None
        return self.load_attempts[-1]

    @property
    def dll_tries(self):
        return self.lines(r"Trying (.*jvm\.dll) \(exists [01]\)")


def search(pack, wine, config, env=None, messages=MESSAGES, installer=None):
    installer = installer or pack(config=config, messages=messages)
    wine.clear_logs()
    result = installer.run("-q", env={"STOWLINE_LOG": "yes", **(env or {})})
    # The log of this run: its first line names this installer (tests elsewhere may log meanwhile).
    started = "Started executable " + windows_path(installer.path) + " "
    logs = [text for text in map(read_log, wine.logs()) if text.startswith(started)]
    return Search(result, logs[-1] if logs else "")


def same(path):
    """A Windows path as the search writes it: normalised to lower case."""
    return path.lower()


class TestNothingFound:
    def test_no_jvm_found_ends_with_83_and_names_the_bitness(self, pack, wine, runtimes):
        found = search(pack, wine, {"jvm_search_sequence": "Y;EJAVA_HOME;EJDK_HOME;"})
        assert found.code == 83
        assert found.stdout == "No JRE found. Aborting.\n"
        assert f"no jvm {BITS}-bit" in found.stderr
        assert found.lines(r"ERROR: No JVM found")
        for line in ("Testing location  (type Y)", "Testing location JAVA_HOME (type E)",
                     "Testing location JDK_HOME (type E)", "Search sequence finished"):
            assert found.lines(re.escape(line)), line
        assert found.load_attempts == []


class TestJavaSoftRegistry:
    def test_names_are_filtered_by_prefix_and_the_runtime_by_its_real_version(self, pack, wine, runtimes):
        old = runtimes.make("old", "1.8.0_171")
        prefix = runtimes.make("prefix", "1.8.0_172")
        too_new = runtimes.make("new", "14")
        lying = runtimes.make("lying", "1.8.0_171")  # registered as 11, but older than the minimum
        runtimes.javasoft("JRE", old, "1.8.0_171")
        runtimes.javasoft("JRE", prefix, "1.8")
        runtimes.javasoft("JRE", too_new, "14")
        runtimes.javasoft("JRE", lying, "11")
        found = search(pack, wine, {"jvm_search_sequence": "Y;", "min_java_version": "1.8.0_172",
                                    "max_java_version": "13"})
        assert found.code == 0, found.stderr
        assert found.loaded == same(prefix.java)
        assert old.probes() == 0 and too_new.probes() == 0  # refused by name, never run
        assert lying.probes() == 1

    def test_enumeration_tries_9_then_11_then_1_8(self, pack, wine, runtimes):
        made = {}
        for name, version in (("1.8", "1.8.0_172"), ("11", "11.0.2"), ("9", "9.0.4")):
            made[name] = runtimes.make("v" + name, version, ["bin/java.exe", "bin/server/jvm.dll=bad"])
            runtimes.javasoft("JRE", made[name], name)
        found = search(pack, wine, {"jvm_search_sequence": "Y;"})
        assert found.load_attempts == [same(made[n].java) for n in ("9", "11", "1.8")]
        assert found.code == 83
        assert "vm not started" in found.stderr  # found in the registry, did not load: message 1005

    @pytest.mark.parametrize("jre, jdk, winner", [("11", "11", "jre"), ("11", "17", "jdk")])
    def test_current_version_takes_the_jdk_only_when_strictly_newer(self, pack, wine, runtimes, jre, jdk, winner):
        made = {"jre": runtimes.make("jre", jre + ".0.1"), "jdk": runtimes.make("jdk", jdk + ".0.1")}
        runtimes.javasoft("JRE", made["jre"], jre, current=True)
        runtimes.javasoft("JDK", made["jdk"], jdk, current=True)
        found = search(pack, wine, {"jvm_search_sequence": "Y;"})
        assert found.loaded == same(made[winner].java)
        assert made["jdk" if winner == "jre" else "jre"].probes() == 0  # decided by the registry alone

    def test_a_required_jdk_skips_the_runtime_keys(self, pack, wine, runtimes):
        jre = runtimes.make("jre", "17.0.1")
        jdk = runtimes.make("jdk", "11.0.2", ["jre/bin/java.exe", "jre/bin/server/jvm.dll", "lib/tools.jar"])
        runtimes.javasoft("JRE", jre, "17", current=True)
        runtimes.javasoft("JDK", jdk, "11")
        found = search(pack, wine, {"jvm_search_sequence": "Y;", "131": "1"})
        assert found.loaded == same(jdk.windows("jre/bin/java.exe"))
        assert jre.probes() == 0


class TestSharedAndLocatedRuntimes:
    @pytest.mark.parametrize("user_version, winner", [("11.0.2", "HKLM"), ("11.0.3", "HKCU")])
    def test_the_user_entry_wins_only_when_strictly_newer(self, pack, wine, runtimes, user_version, winner):
        made = {"HKCU": runtimes.make("user", user_version), "HKLM": runtimes.make("machine", "11.0.2")}
        for root, runtime in made.items():
            runtimes.shared(root, "app1", runtime)
        found = search(pack, wine, {"jvm_search_sequence": "Y;", "167": "app1"})
        assert found.code == 0, found.stderr
        assert found.loaded == same(made[winner].java)

    def test_a_runtime_that_does_not_load_is_marked_and_the_next_best_taken(self, pack, wine, runtimes):
        wrong = runtimes.make("wrong", "13.0.2", ["bin/java.exe", "bin/server/jvm.dll=other"])
        good = runtimes.make("good", "11.0.2")
        runtimes.located("HKCU", wrong)
        runtimes.located("HKLM", good)
        found = search(pack, wine, {"jvm_search_sequence": "Y;"})
        assert found.load_attempts == [same(wrong.java), same(good.java)]
        assert found.loaded == same(good.java)
        assert found.lines(re.escape("add non-working java " + same(wrong.java)))
        assert found.lines(r"Failed with error code \d+")

    def test_marking_stops_after_50_runtimes(self, pack, wine, runtimes):
        broken = [runtimes.make(f"r{i:02}", f"11.0.{i}", ["bin/java.exe", "bin/server/jvm.dll=bad"])
                  for i in range(52)]
        runtimes.registry.import_keys(
            ["HKCU\\SOFTWARE\\fenmoor\\tallow\\locatedjvms\\" + r.java.replace("\\", "/") for r in broken])
        found = search(pack, wine, {"jvm_search_sequence": "Y;"})
        assert len(found.lines(r"add non-working java .*")) == 50
        # Highest version first; the two lowest are never tried.
        assert found.load_attempts == [same(r.java) for r in reversed(broken[2:])]
        assert found.code == 83 and "vm not started" in found.stderr
        assert all(r.probes() == 1 for r in broken)  # each run once, then read from the cache


class TestSearchList:
    def test_a_relative_entry_too_old_is_refused_then_taken_in_the_fallback(self, pack, wine, runtimes, tmp_path):
        old = runtimes.make("jre", "1.7.0_80", root=tmp_path)
        found = search(pack, wine, {"jvm_search_sequence": "Rjre;", "min_java_version": "1.8"})
        assert found.lines(re.escape("Testing location jre (type R)"))
        assert found.lines(re.escape("Testing relative location jre"))
        assert found.load_attempts == [same(old.java)]
        assert found.code == 0

    @pytest.mark.parametrize("letter, code", [("A", 83), ("B", 0)])
    def test_an_absolute_entry_is_retried_only_as_b(self, pack, wine, runtimes, letter, code):
        old = runtimes.make("old", "1.7.0_80")
        found = search(pack, wine, {"jvm_search_sequence": f"{letter}{old.windows()};", "min_java_version": "1.8"})
        assert found.code == code
        assert bool(found.lines(r"Testing relative location .*")) == (letter == "B")

    def test_a_jdk_with_its_vm_only_below_jre_loads_through_the_retry(self, pack, wine, runtimes):
        jdk = runtimes.make("jdk", "1.8.0_202", ["bin/java.exe", "jre/bin/client/jvm.dll"])
        found = search(pack, wine, {"jvm_search_sequence": f"A{jdk.windows()};"})
        assert found.code == 0, found.stderr
        retry = same(jdk.windows("bin")) + "\\..\\jre\\bin\\client\\jvm.dll"
        assert found.dll_tries[-1] == retry
        assert found.lines(re.escape(f"Trying {retry} (exists 1)"))

    def test_a_configured_server_directory_is_tried_twice(self, pack, wine, runtimes):
        runtime = runtimes.make("rt", "11.0.2", ["bin/java.exe", "bin/client/jvm.dll"])
        found = search(pack, wine, {"jvm_search_sequence": f"A{runtime.windows()};", "152": "server"})
        bin_directory = same(runtime.windows("bin"))
        assert found.dll_tries == [f"{bin_directory}\\server\\jvm.dll", f"{bin_directory}\\server\\jvm.dll",
                                   f"{bin_directory}\\client\\jvm.dll"]
        assert found.code == 0

    @pytest.mark.parametrize("letter, shown", [("E", "variable MY_JAVA broken"), ("A", "damaged at {home}")])
    def test_a_runtime_that_does_not_load_names_its_source(self, pack, wine, runtimes, letter, shown):
        broken = runtimes.make("broken", "11.0.2", ["bin/java.exe", "bin/server/jvm.dll=bad"])
        argument = "MY_JAVA" if letter == "E" else broken.windows()
        found = search(pack, wine, {"jvm_search_sequence": f"{letter}{argument};"},
                       env={"MY_JAVA": broken.windows().replace("\\", "/")})
        assert found.code == 83
        assert shown.format(home=broken.windows()) in found.stderr

    def test_packed_archives_of_a_tested_directory_are_unpacked(self, pack, wine, runtimes):
        runtime = runtimes.make("rt", "11.0.2", ["bin/java.exe", "bin/server/jvm.dll", "bin/unpack200.exe",
                                                 "lib/rt.jar.pack", "lib/ext/extra.jar.pack"])
        found = search(pack, wine, {"jvm_search_sequence": f"A{runtime.windows()};"})
        assert found.code == 0, found.stderr
        for jar in ("lib/rt.jar", "lib/ext/extra.jar"):
            assert (runtime.home / jar).read_bytes() == PACKED_JAR
            assert not (runtime.home / (jar + ".pack")).exists()

    def test_the_preferred_location_file_comes_before_the_list(self, pack, wine, runtimes, tmp_path):
        preferred = runtimes.make("preferred", "11.0.2")
        listed = runtimes.make("listed", "11.0.2")
        (tmp_path / ".stowline").mkdir()
        (tmp_path / ".stowline" / "pref_jre.cfg").write_bytes(preferred.windows().encode() + b"\r\nignored\r\n")
        found = search(pack, wine, {"jvm_search_sequence": f"A{listed.windows()};"})
        assert found.lines(re.escape("Has preferred location " + preferred.windows()))
        assert found.lines(r"Using preferred location")
        assert found.loaded == same(preferred.java)

    def test_an_earlier_installation_of_the_user_is_found(self, pack, wine, runtimes, tmp_path):
        empty = tmp_path / "first"
        empty.mkdir()
        runtime = runtimes.make("jre", "11.0.2", root=tmp_path / "second")
        runtimes.installations("HKCU", "com.example.app", [windows_path(empty), windows_path(tmp_path / "second")])
        found = search(pack, wine, {"jvm_search_sequence": "", "160": "com.example.app"})
        assert found.lines(re.escape("java version did not match in " + windows_path(empty)))
        assert found.lines(r"found JRE from previous installation \(user\) .*")
        assert found.loaded == same(runtime.java)

    def test_the_java_home_variable_is_tried_after_the_sequence(self, pack, wine, runtimes):
        runtime = runtimes.make("rt", "11.0.2")
        found = search(pack, wine, {"jvm_search_sequence": ""},
                       env={"TALLOW_JAVA_HOME": runtime.windows().replace("\\", "/")})
        assert found.lines(r"Search sequence finished")
        assert found.loaded == same(runtime.java)

