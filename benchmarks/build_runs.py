"""Runs a benchmark program in a child interpreter against one build directory of the modules
(PYTHONPATH), so that builds can be compared side by side in one run, and reads the JSON the
program prints."""

import json
import os
import subprocess
import sys

POOL_VARIABLES = ("RAYON_NUM_THREADS", "RAYON_RS_NUM_CPUS")


def run_in_build(build, program: str, *arguments: str, threads: int | str | None = None):
    """The decoded standard output of `program` run with `arguments` against `build`. `threads`
    sizes the child's worker pool: None keeps this process's setting, "default" lets the pool
    take its default size, a number sets it."""
    environment = dict(os.environ, PYTHONPATH=os.path.abspath(build))
    if threads == "default":
        for variable in POOL_VARIABLES:
            environment.pop(variable, None)
    elif threads is not None:
        environment["RAYON_NUM_THREADS"] = str(threads)
    completed = subprocess.run(
        [sys.executable, "-c", program, *arguments],
        env=environment,
        check=True,
        capture_output=True,
        text=True,
    )
    return json.loads(completed.stdout)
