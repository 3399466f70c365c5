"""How a run ends on a real JVM: main throws, System.exit, a non-daemon thread outlives main, an
uncaught exception in another thread."""
import pathlib


def extraction_dir(run, wine):
    """The extraction directory of the run, from the property the launcher passed."""
    options = [line for line in run.logged("vmoption") if "-Dtallow.tempDir=" in line]
    windows = options[0].split("-Dtallow.tempDir=", 1)[1].strip()
    return wine.temp / pathlib.PureWindowsPath(windows).name


def test_main_throws_logs_the_text_shows_1005_and_empties_the_directory(program, wine):
    run = program("Ends", "--end=throw")
    assert run.code == 1, run
    assert run.results["started"] == "throw"
    errors = [line.split("ERROR: ", 1)[1] for line in run.logged("ERROR: ")]
    assert "an exception occurred" in errors
    assert "java.lang.IllegalStateException: deliberate failure \u00fc\u03a9" in errors
    assert "Could not start JVM" in errors
    assert not run.logged("launch done")
    # The fatal path removes what it can: a real VM keeps the class path's jar open (Avian maps it)
    # until the process ends, so that one file stays behind; the test VM opens nothing.
    left = extraction_dir(run, wine)
    assert sorted(p.name for p in left.iterdir()) == ["realjvm.jar"]


def test_system_exit_gives_its_code_and_the_cleaned_up_log_is_gone(program, wine):
    before = set(wine.temp.glob("stw_nlog_*.log"))
    run = program("Ends", "--end=exit:42", log=False)
    assert run.code == 42, run
    assert run.results["exiting"] is True and "after exit" not in run.results
    # Without a requested log the Java side's NativeLogger.cleanup0 removes it: System.exit ends the
    # process without the launcher's own exit handlers.
    assert set(wine.temp.glob("stw_nlog_*.log")) - before == set()


def test_system_exit_with_a_requested_log_keeps_it(program, wine):
    run = program("Ends", "--end=exit:3")
    assert run.code == 3, run
    assert run.logged("calling main") and not run.logged("main returned")


def test_destroy_waits_for_a_non_daemon_thread(program, wine, tmp_path):
    marker = tmp_path / "worker.txt"
    run = program("Ends", "--end=thread", f"--marker={wine.windows_path(marker)}")
    assert run.code == 0, run
    assert run.results["main returns"] == "thread"
    assert marker.read_text() == "worker done"
    lines = run.log.splitlines()
    assert any("main returned" in line for line in lines) and any("launch done" in line for line in lines)
    assert [l for l in lines if "dest JVM" in l], run.log


def test_an_uncaught_exception_in_another_thread_does_not_end_the_run(program, wine):
    run = program("Ends", "--end=uncaught")
    assert run.code == 0, run
    assert run.results["joined"] is True and run.results["main returns"] == "uncaught"
    assert not run.logged("ERROR: an exception occurred")
