"""Single-instance mode on a real JVM: later starts of the installer raise the running one and end
with 0, and hand it nothing: the installer takes no command lines from other processes."""
import os
import subprocess
import threading
import time

from conftest import JAVA_SIDE


def test_later_starts_end_at_once_and_hand_the_running_installer_nothing(program, pack, tmp_path):
    installer = pack(config={"product_kind": "i", "main_class": "realjvm.Forwarding", "10005": "1"},
                     files=[("realjvm.jar", JAVA_SIDE.read_bytes())], name="forwarding.exe")
    runs = {}
    first = threading.Thread(target=lambda: runs.setdefault("first", program(
        "Forwarding", "--count=2", "--wait=20000", installer=installer, log=False)))
    first.start()
    for _ in range(1200):
        if any("waiting" in p.read_text() for p in tmp_path.glob("results-*.txt")):
            break
        time.sleep(0.1)
    environment = {k: v for k, v in os.environ.items() if k not in ("STOWLINE_LOG", "TALLOW_LOG")}
    later = [subprocess.run(["wine", str(installer.path), *args], cwd=tmp_path, env=environment,
                            capture_output=True, timeout=120) for args in (["alpha", "two words \u00fc"], [])]
    first.join()
    run = runs["first"]
    assert [done.returncode for done in later] == [0, 0]
    assert run.code == 0, run
    assert run.results["performed"] == []
