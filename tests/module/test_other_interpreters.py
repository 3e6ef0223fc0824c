"""The module builds and passes a smoke test with every CPython 3.11-3.13 on this machine
(tools/build_on_each_python.sh; about half a minute per interpreter)."""

import os
import pathlib
import shutil
import subprocess
import sys

import pytest

pytestmark = pytest.mark.tooling

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_builds_and_runs_on_each_python():
    # cmake and ninja may come with the test environment rather than the system.
    path = os.pathsep.join([str(pathlib.Path(sys.executable).parent), os.environ.get("PATH", "")])
    if shutil.which("cmake", path=path) is None or shutil.which("ninja", path=path) is None:
        pytest.skip("cmake and ninja are needed to build the module")
    completed = subprocess.run(
        [str(ROOT / "tools" / "build_on_each_python.sh")],
        env=dict(os.environ, PATH=path),
        capture_output=True,
        text=True,
        timeout=1200,
    )
    assert completed.returncode == 0, completed.stdout + completed.stderr
    smoke_tests = [line for line in completed.stdout.splitlines() if line.endswith(": ok")]
    assert smoke_tests, completed.stdout
    # Every build ran its own interpreter: one line per version built.
    built = [line for line in completed.stdout.splitlines() if "built and smoke-tested" in line]
    assert len(built) == len(smoke_tests)
