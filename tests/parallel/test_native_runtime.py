"""The native tests of the parallel runtime, built from this checkout into build/native, and
the same program built with ThreadSanitizer into build/tsan as the race check; each is run for
pool sizes from 1 to 64 (oversubscribed on a small machine, where scheduling varies most)."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

pytestmark = pytest.mark.tooling

ROOT = Path(__file__).resolve().parents[2]
PROGRAM = "parallel_runtime_test"


def tool(name: str) -> str | None:
    """A build tool from the interpreter's environment (the test extra installs cmake and
    ninja there), else from PATH."""
    beside = Path(sys.executable).parent / name
    return str(beside) if beside.exists() else shutil.which(name)


def build(directory: str, *options: str) -> Path:
    cmake = tool("cmake")
    if cmake is None:
        pytest.skip("cmake is not installed")
    build_dir = ROOT / "build" / directory
    configure = [cmake, "-S", str(ROOT), "-B", str(build_dir), "-DOBRIVANE_NATIVE_TESTS=ON"]
    configure += [f"-DPython_EXECUTABLE={sys.executable}", *options]
    ninja = tool("ninja")
    if ninja is not None:
        configure += ["-G", "Ninja", f"-DCMAKE_MAKE_PROGRAM={ninja}"]
    for command in (
        configure,
        [cmake, "--build", str(build_dir), "-j2", "--target", "native_tests"],
    ):
        completed = subprocess.run(command, capture_output=True, text=True)
        assert completed.returncode == 0, completed.stdout[-4000:] + completed.stderr[-4000:]
    return build_dir / PROGRAM


@pytest.fixture(scope="module")
def native_program() -> Path:
    return build("native")


@pytest.fixture(scope="module")
def tsan_program() -> Path:
    return build("tsan", "-DOBRIVANE_TSAN=ON", "-DCMAKE_BUILD_TYPE=RelWithDebInfo")


def run(program: Path, pool_size: int, *arguments: str, **env_changes: str):
    env = {key: value for key, value in os.environ.items() if not key.startswith("RAYON_")}
    env.update(RAYON_NUM_THREADS=str(pool_size), **env_changes)
    return subprocess.run(
        [str(program), *arguments], env=env, capture_output=True, text=True, timeout=300
    )


@pytest.mark.parametrize("pool_size", [1, 2, 3, 8, 64])
def test_runtime(native_program, pool_size):
    completed = run(native_program, pool_size)
    assert completed.returncode == 0, completed.stdout + completed.stderr
    assert "all checks passed" in completed.stdout


@pytest.mark.parametrize("pool_size", [1, 2, 8, 64])
def test_no_race(tsan_program, pool_size):
    # Fork is left out: the sanitizer does not follow threads started after a multi-threaded
    # fork. Any report fails the run (exit code 66) as well as the assertion on the output.
    completed = run(
        tsan_program, pool_size, "--no-fork", "2", TSAN_OPTIONS="halt_on_error=1:exitcode=66"
    )
    output = completed.stdout + completed.stderr
    assert "ThreadSanitizer" not in output, output[-6000:]
    assert completed.returncode == 0, output[-6000:]
    assert "all checks passed" in completed.stdout
