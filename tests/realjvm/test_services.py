"""A Windows service installed, started, stopped and removed from Java on a real JVM."""
import uuid

import pytest

from conftest import e2e
from runtimes import run_wine


def test_a_real_service_from_install_to_removal(program, wine, tmp_path):
    service = e2e.DOUBLES / "test_service" / "test_service.exe"
    if not service.exists():
        pytest.skip("build the test_service target")
    name = f"realjvm-{uuid.uuid4().hex[:8]}"
    record = tmp_path / "arguments.txt"
    command = f'"{wine.windows_path(service)}" --record "{wine.windows_path(record)}"'
    try:
        run = program("Services", f"--name={name}", f"--command={command}")
    finally:
        run_wine(["wine", "sc", "delete", name], text=True)
    assert run.code == 0, run
    r = run.results
    assert (r["install"], r["installed again"]) == (0, 1073)  # ERROR_SERVICE_EXISTS
    assert r["binary"] == command
    assert r["state before"] == -1
    assert (r["start"], r["state started"]) == (0, -4)
    assert (r["stop"], r["state stopped"]) == (0, -1)
    assert (r["uninstall"], r["state removed"]) == (0, 1060)  # ERROR_SERVICE_DOES_NOT_EXIST
    # What the service's main received: its name, then the arguments as Java gave them.
    assert record.read_bytes().decode("utf-16-le") == f"{name}\nfirst\ntwo words \u00fc\n"
