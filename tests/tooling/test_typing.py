"""The type stubs, as a user's type checkers see them: mypy --strict and pyright resolve the
installed module, accept correct calls with the types the module accepts, and report plain
mistakes (a list assigned to a float, a missing argument, a misspelt function, a str or a
mapping for a sequence)."""

import importlib.metadata
import json
import os
import pathlib
import shutil
import subprocess
import sys
import textwrap

import obrivane
import pytest

pytestmark = pytest.mark.tooling

CLEAN = """\
import array

import numpy as np
import obrivane

separations: list[float] = obrivane.witt_mao_magnification([0.5, 1, 2.0], 1.0, 0.05)
from_array: list[float] = obrivane.integrated_witt_mao_magnification(np.linspace(0, 2, 5), 1, 0.05)
ring: float = obrivane.heyrovsky_magnification(2, 0.5, re=1.0, rstar=np.float64(1.0))
grid: list[list[float]] = obrivane.multi_witt_mao_magnification(range(3), (1.0, 2.0), [0.1])
tabulated: list[float] = obrivane.integrated_flux_map_heyrovsky_magnification(
    array.array("d", [0.5]), 1.0, 0.05, bl=[0.0, 1.0], bf=(1.0, 1.0)
)
rings: list[float] = obrivane.discrete_flux_map_heyrovsky_magnification(
    b"\\x01", True, 0.1, [0.5], [1.0]
)
version: str = obrivane.__version__
names: list[str] = obrivane.__all__

import obrivane.fspl
from obrivane import fspl

point: float = fspl.linear(0.1, 0.05, 0.6)
curve: np.ndarray = fspl.quadratic(np.linspace(0, 1, 5), 0.05, [0.4, 0.3, 0.2, 0.1, 0.0], 0.2)
qualified: float = obrivane.fspl.uniform(0.5, np.float32(0.1))
into = np.empty(3)
fspl.power2([0.1, 0.2, 0.3], 0.05, 0.6, 0.5, out=into, where=[True, False, True])
table = fspl.tabulated(np.linspace(0, 1, 3), 0.1, [0.0, 1.0], [1.0, 1.0])
a, da_du, da_drho, da_du1 = fspl.linear_and_gradient(0.1, 0.05, 0.6)
value: float = a + da_du + da_drho + da_du1
arrays: tuple[np.ndarray, ...] = fspl.power2_and_gradient(np.ones(3), 0.05, 0.6, 0.5)
magnified: np.ndarray = fspl.uniform(np.linspace(0.1, 1.0, 5), 0.05)
"""

# Each line carries one mistake; the checkers must report every one of these lines.
PLANTED = """\
import obrivane

wrong: float = obrivane.witt_mao_magnification([1.0], 1.0, 1.0)
obrivane.heyrovsky_magnification(1.0, 0.5, 1.0)
obrivane.wit_mao_magnification([1.0], 1.0, 1.0)
obrivane.witt_mao_magnification("1.0", 1.0, 1.0)
obrivane.witt_mao_magnification({1.0: 2.0}, 1.0, 1.0)
obrivane.witt_mao_magnification([1.0], [1.0], 1.0)
obrivane.integrated_witt_mao_magnification([1.0], 1.0, rstar="0.1")
wrong_law: float = obrivane.fspl.linear([0.1, 0.2], 0.05, 0.6)
obrivane.fspl.quadratic(0.1, 0.05, 0.4)
obrivane.fspl.lineal(0.1, 0.05, 0.6)
single: float = obrivane.fspl.uniform_and_gradient(0.1, 0.05)
"""
PLANTED_LINES = set(range(3, 14))


@pytest.fixture(scope="module")
def installed():
    """The installed distribution that the imported module comes from, with its stubs."""
    try:
        distribution = importlib.metadata.distribution("obrivane")
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("obrivane is not installed (e.g. run with PYTHONPATH): nothing to type-check")
    files = {pathlib.Path(distribution.locate_file(f)).resolve() for f in distribution.files or []}
    if pathlib.Path(obrivane.__file__).resolve() not in files:
        pytest.skip("the obrivane imported here is not the installed one: nothing to type-check")
    stubs = [f for f in files if f.parent.name == "obrivane-stubs" and f.name == "__init__.pyi"]
    assert stubs, "the installed distribution ships no obrivane-stubs/__init__.pyi"
    return distribution


def scripts(tmp_path: pathlib.Path) -> tuple[pathlib.Path, pathlib.Path]:
    clean = tmp_path / "clean.py"
    planted = tmp_path / "planted.py"
    clean.write_text(CLEAN)
    planted.write_text(PLANTED)
    return clean, planted


def run(command: list[str], cwd: pathlib.Path) -> subprocess.CompletedProcess:
    # Run away from the checkout, so that nothing but the installed copy can be found.
    environment = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "MYPYPATH")}
    return subprocess.run(
        command, cwd=cwd, env=environment, capture_output=True, text=True, timeout=600
    )


def test_mypy_strict(installed, tmp_path):
    pytest.importorskip("mypy")
    clean, planted = scripts(tmp_path)
    base = [sys.executable, "-m", "mypy", "--strict", "--no-incremental"]
    base += ["--cache-dir", str(tmp_path / "cache"), "--python-executable", sys.executable]
    passed = run([*base, clean.name], tmp_path)
    assert passed.returncode == 0, passed.stdout + passed.stderr
    failed = run([*base, planted.name], tmp_path)
    assert failed.returncode == 1, failed.stdout + failed.stderr
    reported = {
        int(line.split(":")[1])
        for line in failed.stdout.splitlines()
        if line.startswith("planted.py:") and ": error:" in line
    }
    assert reported == PLANTED_LINES, failed.stdout


def basedpyright() -> str:
    beside = pathlib.Path(sys.executable).with_name("basedpyright")
    found = str(beside) if beside.exists() else shutil.which("basedpyright")
    if found is None:
        pytest.skip("basedpyright is not installed")
    return found


def test_pyright_strict(installed, tmp_path):
    checker = basedpyright()
    clean, planted = scripts(tmp_path)
    config = {"typeCheckingMode": "strict", "pythonVersion": "3.11", "include": ["."]}
    (tmp_path / "pyrightconfig.json").write_text(json.dumps(config))

    def errors(script: pathlib.Path) -> tuple[set[int], str]:
        completed = run(
            [checker, "--outputjson", "--pythonpath", sys.executable, script.name], tmp_path
        )
        report = json.loads(completed.stdout)
        lines = {
            d["range"]["start"]["line"] + 1
            for d in report["generalDiagnostics"]
            if d["severity"] == "error"
        }
        return lines, textwrap.indent(json.dumps(report["generalDiagnostics"], indent=1), "  ")

    clean_errors, details = errors(clean)
    assert clean_errors == set(), details
    planted_errors, details = errors(planted)
    assert planted_errors == PLANTED_LINES, details
