"""The native core cross-compiled for 64-bit Windows with MinGW-w64 (tools/check_windows_build.sh)
and, when Wine is installed, run there: the worker pool starts with the requested size and 2 MiB
worker stacks, and the magnifications agree with the native build's. Not bit for bit: atan, log,
log1p and pow come from the platform's math library, whose last bits differ (MinGW-w64 against
glibc here); the elliptic integrals amplify a one-ulp difference in pow to about 16 ulps."""

import math
import os
import shutil
import struct
import subprocess
from pathlib import Path

import obrivane
import pytest

pytestmark = pytest.mark.tooling

ROOT = Path(__file__).resolve().parents[2]
SCRIPT = ROOT / "tools" / "check_windows_build.sh"
COMPILER = os.environ.get("MINGW_CXX", "x86_64-w64-mingw32-g++-posix")
WINE = os.environ.get("WINE") or shutil.which("wine") or shutil.which("wine64")
if WINE is None and os.access("/usr/lib/wine/wine64", os.X_OK):
    WINE = "/usr/lib/wine/wine64"
POOL_SIZE = 3


def check(*arguments: str) -> subprocess.CompletedProcess[str]:
    if shutil.which(COMPILER) is None:
        pytest.skip(f"{COMPILER} is not installed (Debian: apt-get install g++-mingw-w64-x86-64)")
    env = {key: value for key, value in os.environ.items() if not key.startswith("RAYON_")}
    env["RAYON_NUM_THREADS"] = str(POOL_SIZE)
    if WINE is not None:
        env["WINE"] = WINE
    completed = subprocess.run(
        ["bash", str(SCRIPT), *arguments], env=env, capture_output=True, text=True, timeout=600
    )
    assert completed.returncode == 0, completed.stdout[-4000:] + completed.stderr[-4000:]
    return completed


@pytest.fixture(scope="module")
def checked() -> subprocess.CompletedProcess[str]:
    """The script's run: compiled and linked, and run as well when Wine is installed."""
    return check("--run") if WINE is not None else check()


@pytest.fixture(scope="module")
def windows_run(checked) -> dict[str, list[str]]:
    if WINE is None:
        pytest.skip("Wine is not installed: the Windows program cannot be run here")
    values: dict[str, list[str]] = {}
    for line in checked.stdout.splitlines():
        name, _, value = line.partition(" ")
        values.setdefault(name, []).append(value)
    return values


def test_core_compiles_and_links_for_windows(checked):
    assert (ROOT / "build" / "windows-check" / "windows_link_check.exe").is_file()
    assert "compiles and links for Windows" in checked.stdout


def test_pool_takes_the_requested_size_and_2_mib_stacks(windows_run):
    assert windows_run["pool_size"] == [str(POOL_SIZE)]
    assert int(windows_run["available_parallelism"][0]) >= 1
    # The reservation is rounded up to the 64 KiB allocation granularity.
    stack = int(windows_run["worker_stack_bytes"][0])
    assert 2 * 1024 * 1024 <= stack <= 2 * 1024 * 1024 + 64 * 1024


def test_physical_memory_is_known(windows_run):
    assert windows_run["fits_one_double"] == ["1"]
    assert windows_run["fits_2_to_60_doubles"] == ["0"]


def test_magnifications_match_the_native_build(windows_run):
    separations = [0.001 * i for i in range(4096)]
    native = obrivane.witt_mao_magnification(separations, 1.0, 0.1)
    windows = [
        struct.unpack("<d", struct.pack("<Q", int(bits, 16)))[0]
        for bits in windows_run["magnification"]
    ]
    assert len(windows) == len(native)
    far_apart = [
        (separation, a, b)
        for separation, a, b in zip(separations, windows, native, strict=True)
        if abs(a - b) > 64 * math.ulp(b)
    ]
    assert not far_apart, far_apart[:5]
