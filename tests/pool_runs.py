"""Runs a short program in child interpreters whose worker pools have the given sizes (the pool
is sized once per process, from RAYON_NUM_THREADS), for tests that results do not depend on it."""

import os
import subprocess
import sys


def output_with_pool_size(program: str, size: int | str, stdin: str | None = None) -> str:
    """The standard output of `program` run with a pool of `size` workers."""
    environment = dict(os.environ, RAYON_NUM_THREADS=str(size))
    completed = subprocess.run(
        [sys.executable, "-c", program],
        input=stdin,
        env=environment,
        capture_output=True,
        text=True,
        timeout=300,
    )
    assert completed.returncode == 0, completed.stderr[-2000:]
    return completed.stdout


def outputs_with_pool_sizes(program: str, sizes=(1, 2, 5)) -> list[str]:
    return [output_with_pool_size(program, size) for size in sizes]
