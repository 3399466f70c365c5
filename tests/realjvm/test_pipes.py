"""Named pipes between two launcher processes, each with its own real JVM."""
import os
import subprocess
import threading
import time
import uuid

from conftest import JAVA_SIDE


def both(program, pack, first, second, timeout=600):
    """Runs two programs of one installer at once (the first started first); their Runs."""
    installer = pack(config={"product_kind": "i", "main_class": "realjvm.PipePeer"},
                     files=[("realjvm.jar", JAVA_SIDE.read_bytes())], name="pipes.exe")
    runs = {}
    thread = threading.Thread(target=lambda: runs.setdefault("first", program("PipePeer", *first, installer=installer,
                                                                              log=False, timeout=timeout)))
    thread.start()
    runs["second"] = second(installer)
    thread.join()
    return runs["first"], runs["second"]


def test_ten_thousand_blocks_each_way_byte_exact_and_in_order(program, pack):
    pipe = f"--pipe=realjvm-{uuid.uuid4().hex[:8]}"
    server, client = both(program, pack, ["--role=server", pipe, "--blocks=10000"],
                          lambda installer: program("PipePeer", "--role=client", pipe, "--blocks=10000",
                                                    installer=installer, log=False, timeout=600))
    assert server.code == 0 and client.code == 0, (server, client)
    assert server.results["listening"] is True and server.results["connected"] is True
    assert client.results["connected"] is True
    for run in (server, client):
        received, _, rest = run.results["exchanged"].partition(" bytes received, ")
        assert received.startswith("10000 blocks, ") and rest == "0 wrong, 0 failed", run.results
    assert server.results["exchanged"] == client.results["exchanged"]


def test_a_peer_killed_while_writing_breaks_the_reader_cleanly(program, pack, wine, avian_home):
    pipe = f"--pipe=realjvm-{uuid.uuid4().hex[:8]}"

    def flood_then_kill(installer):
        results = installer.workdir / "flood.txt"
        environment = dict(os.environ, STOWLINE_JAVA_HOME=wine.windows_path(avian_home))
        process = subprocess.Popen(["wine", str(installer.path), "-q", f"--results={wine.windows_path(results)}",
                                    "--role=flood", pipe], cwd=installer.workdir, env=environment,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(1200):
            if results.exists() and "flooding" in results.read_text():
                break
            time.sleep(0.05)
        time.sleep(0.5)
        process.kill()
        process.wait()
        return results.read_text() if results.exists() else ""

    drain, flood = both(program, pack, ["--role=drain", pipe], flood_then_kill, timeout=180)
    assert "flooding" in flood
    assert drain.code == 0, drain
    whole, _, rest = drain.results["drained"].partition(" whole blocks, ")
    assert int(whole) >= 1 and rest == "0 wrong, then null", drain.results
