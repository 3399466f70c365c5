"""The search beyond the JavaSoft keys: runtimes recorded by today's installers (entry V), the
account of a search that ends without a runtime, and homes the ANSI code page cannot show.
"""
import re

import pytest

from conftest import BITS
from runtimes import windows_path
from test_jvm_search import same, search

NON_ANSI_HOME = "Jävä 运行时"  # "ä" is in the ANSI code page of the prefix, the rest is not


class TestVendorRegistry:
    @pytest.mark.parametrize("layout, root, view64, jre", [
        ("temurin", "HKLM", True, False),
        ("temurin", "HKCU", True, True),      # a per-user installation of a JRE
        ("microsoft", "HKLM", True, False),
        ("zulu", "HKLM", True, False),
        ("zulu32", "HKLM", False, True),      # the 32-bit runtime's key in the 32-bit view
        ("liberica", "HKLM", True, True),
        ("semeru", "HKLM", False, False),
        ("corretto", "HKLM", False, False),   # JavaSoft keys, but in the 32-bit view
    ])
    def test_the_highest_version_within_the_bounds_is_loaded(self, pack, wine, runtimes, layout, root, view64, jre):
        made = {version: runtimes.make(f"{layout}-{version}", version) for version in ("11.0.2", "17.0.9", "21.0.1")}
        for runtime in made.values():
            runtimes.vendor(layout, runtime, root=root, view64=view64, jre=jre)
        found = search(pack, wine, {"jvm_search_sequence": "V;", "max_java_version": "17"})
        assert found.code == 0, found.stderr
        assert found.loaded == same(made["17.0.9"].java)
        assert found.load_attempts == [same(made["17.0.9"].java)]
        assert found.lines(re.escape("Testing location  (type V)"))

    def test_an_older_launcher_skips_an_unknown_letter(self, pack, wine, runtimes):
        # What a launcher without V logs for it: the same line it writes for any unknown letter.
        runtime = runtimes.make("rt", "11.0.2")
        found = search(pack, wine, {"jvm_search_sequence": f"Q;A{runtime.windows()};"})
        assert found.lines(re.escape("unknown search type Q"))
        assert found.loaded == same(runtime.java)


class TestSearchAccount:
    def test_five_refused_candidates_are_listed_with_their_reasons(self, pack, wine, runtimes, tmp_path):
        empty = tmp_path / "empty"
        empty.mkdir()
        old = runtimes.make("old", "1.7.0_80")
        beta = runtimes.make("beta", "22-ea")
        broken = runtimes.make("broken", "11.0.2", ["bin/java.exe", "bin/server/jvm.dll=bad"])
        other = runtimes.make("other", "17.0.9", ["bin/java.exe", "bin/server/jvm.dll=other"])
        key = runtimes.vendor("temurin", other)
        found = search(pack, wine, {"jvm_search_sequence": f"EMY_JAVA;A{old.windows()};A{beta.windows()};"
                                                           f"A{broken.windows()};V;", "min_java_version": "1.8"},
                       env={"MY_JAVA": windows_path(empty)})
        assert found.code == 83
        expected = [re.escape(line) for line in (
            "Runtime candidates considered (5), none usable:",
            f"  1. E MY_JAVA: {same(windows_path(empty))}\\bin\\java.exe - missing",
            f"  2. A {old.windows()}: {same(old.java)} - version 1.7.0_80 below the minimum 1.8",
            f"  3. A {beta.windows()}: {same(beta.java)} - version 22-ea is a beta",
            f"  4. A {broken.windows()}: {same(broken.java)} - jvm.dll failed to load (Win32 error ",
            f"  5. V HKLM\\{key} (64-bit view): {same(other.java)} - jvm.dll built for the other bitness "
            "(64/32-bit mismatch)",
        )]
        expected[4] += r"\d+\)"
        for line in expected:
            assert found.lines(line), line
        # The same block on the console after the message, the message and its log lines unchanged.
        block = found.stderr[found.stderr.index("vm not started"):]
        for line in expected:
            assert re.search("^" + line + r"\r?$", block, re.MULTILINE), line
        assert found.lines(r"ERROR: Could not get DLL-Handle\.")

    def test_nothing_found_says_so_after_no_jvm_found(self, pack, wine, runtimes):
        found = search(pack, wine, {"jvm_search_sequence": "V;"})
        assert found.code == 83
        assert found.lines(r"ERROR: No JVM found")
        assert found.stderr.index("No runtime candidate was found.") > found.stderr.index(f"no jvm {BITS}-bit")


class TestNonAnsiHomes:
    @pytest.mark.parametrize("source", ["E", "A", "registry", "V"])
    def test_a_home_the_code_page_cannot_show_is_found_through_its_short_path(self, pack, wine, runtimes,
                                                                            tmp_path, source):
        runtime = runtimes.make(NON_ANSI_HOME, "11.0.2", root=tmp_path)
        env = {}
        if source == "E":
            sequence = "EMY_JAVA;"
            env["MY_JAVA"] = runtime.windows()
        elif source == "A":
            sequence = "A${MY_JAVA};"  # the argument after expansion holds the characters
            env["MY_JAVA"] = runtime.windows()
        elif source == "registry":
            sequence = "Y;"
            runtimes.javasoft("JRE", runtime, "11")
        else:
            sequence = "V;"
            runtimes.vendor("temurin", runtime)
        found = search(pack, wine, {"jvm_search_sequence": sequence}, env=env)
        assert found.code == 0, found.stderr + found.log[-3000:]
        assert found.loaded is not None
        assert "?" not in found.loaded and "~" in found.loaded  # the short form, not a lossy one
        assert found.lines(r"Using short path name .*" + re.escape(NON_ANSI_HOME))
