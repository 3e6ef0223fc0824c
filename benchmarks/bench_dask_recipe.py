"""The Dask recipe (examples/dask_light_curves.py) in its three ways of running, side by side.

    python benchmarks/bench_dask_recipe.py [--rounds 5] [--events 10000] [--epochs 1000]

Each round runs, in a fresh interpreter each and in turn: the computation in process with the
default pool, in process with RAYON_NUM_THREADS=1, and on a two-process LocalCluster whose
workers run one task at a time with a pool of one thread. The figure is the wall time the
example prints (the cluster's start excluded); min and median over the rounds.
"""

import argparse
import os
import pathlib
import re
import statistics
import subprocess
import sys

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "dask_light_curves.py"

WAYS = {
    "in process, default pool": (["--in-process"], {}),
    "in process, RAYON_NUM_THREADS=1": (["--in-process"], {"RAYON_NUM_THREADS": "1"}),
    "LocalCluster, 2 processes x 1 task, pool of 1": (["--pool-threads", "1"], {}),
}


def run(arguments, environment, events, epochs):
    completed = subprocess.run(
        [sys.executable, str(EXAMPLE), "--events", str(events), "--epochs", str(epochs)]
        + arguments,
        env=dict(os.environ, **environment),
        capture_output=True,
        text=True,
        check=True,
    )
    return float(re.search(r": ([0-9.]+) s\n", completed.stdout).group(1))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--events", type=int, default=10_000)
    parser.add_argument("--epochs", type=int, default=1_000)
    arguments = parser.parse_args()
    times = {way: [] for way in WAYS}
    for _ in range(arguments.rounds):
        for way, (flags, environment) in WAYS.items():
            times[way].append(run(flags, environment, arguments.events, arguments.epochs))
    print(f"{arguments.events} events x {arguments.epochs} epochs, {arguments.rounds} rounds")
    print(f"{'':48} {'min (s)':>8} {'median':>8}")
    for way, seconds in times.items():
        print(f"{way:48} {min(seconds):8.2f} {statistics.median(seconds):8.2f}")


if __name__ == "__main__":
    main()
