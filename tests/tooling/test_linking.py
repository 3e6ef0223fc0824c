"""The Linux module carries its own C++ runtime: it needs no libstdc++ from the system, and
no C library symbol newer than its own threads need (std::random_device's arc4random, which
the static runtime would otherwise draw in, is satisfied inside the module)."""

import pathlib
import re
import shutil
import subprocess
import sys

import obrivane
import pytest

pytestmark = [
    pytest.mark.tooling,
    pytest.mark.skipif(not sys.platform.startswith("linux"), reason="ELF linking, Linux only"),
]


def readelf(*options: str) -> str:
    if shutil.which("readelf") is None:
        pytest.skip("readelf (binutils) is not installed")
    module = pathlib.Path(obrivane.__file__)
    return subprocess.run(
        ["readelf", "--wide", *options, str(module)], capture_output=True, text=True, check=True
    ).stdout


@pytest.fixture(scope="module")
def needed():
    libraries = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", readelf("--dynamic"))
    if any(name.startswith(("libasan", "libubsan")) for name in libraries):
        pytest.skip("a sanitizer build links the shared runtimes the sanitizers expect")
    return libraries


def test_no_shared_cpp_runtime(needed):
    assert not [name for name in needed if name.startswith("libstdc++")], needed
    assert "libc.so.6" in needed


def test_random_device_source_is_resolved_inside(needed):
    imports = readelf("--dyn-syms")
    undefined = [line for line in imports.splitlines() if " UND " in line]
    assert not [line for line in undefined if re.search(r"\barc4random\b", line)]
    # Defined inside, hidden: not exported.
    assert not re.search(r"\bGLOBAL\b.*\barc4random\b", imports)
