"""Nanoseconds per point of the uniform-disk kernels on one worker, side by side in one run: the
two-integral Bulirsch form (the kernel of uniform_disk_magnification_accurate, which the profile
models call), the Carlson form that it replaced there, and witt_mao_magnification, each from a
float64 array of 10^6 separations and back to a list, so that all three carry the same
conversions.

    python benchmarks/bench_uniform_fast.py [--elements N] [--repeats R] [--rho RHO] [--x-max X]

The separations are x = u/rho uniform in [0, X] (default rho 0.1, X 3: every point within four
radii, where the closed forms work; beyond, all three use the same mean-value series). The
kernels run in turn, R rounds; min and median over the rounds. Needs the test-only module
(a build with -DOBRIVANE_TESTING=ON on PYTHONPATH). The pool has one worker: the child
interpreter is started with RAYON_NUM_THREADS=1.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time


def measure(elements: int, repeats: int, rho: float, x_max: float) -> dict:
    import _obrivane_testing as testing
    import numpy as np
    import obrivane

    x = np.random.default_rng(7).uniform(0.0, x_max, elements)
    u = x * rho
    kernels = {
        "bulirsch (accurate)": lambda: testing.uniform_disk_fast_batch(u, rho),
        "carlson (before)": lambda: testing.uniform_disk_carlson_batch(u, rho),
        "witt_mao_magnification": lambda: obrivane.witt_mao_magnification(x, 1.0, rho),
    }
    reference = np.array(kernels["carlson (before)"]())
    difference = np.max(np.abs(np.array(kernels["bulirsch (accurate)"]()) - reference) / reference)
    times = {name: [] for name in kernels}
    for _ in range(repeats):
        for name, call in kernels.items():
            start = time.perf_counter()
            call()
            times[name].append((time.perf_counter() - start) / elements * 1e9)
    return {
        "times": {name: [min(t), statistics.median(t)] for name, t in times.items()},
        "difference": float(difference),
        "pool": testing.pool_size(),
    }


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--elements", type=int, default=1_000_000)
    parser.add_argument("--repeats", type=int, default=9)
    parser.add_argument("--rho", type=float, default=0.1)
    parser.add_argument("--x-max", type=float, default=3.0)
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    arguments = parser.parse_args()
    if arguments.child:
        result = measure(arguments.elements, arguments.repeats, arguments.rho, arguments.x_max)
        print(json.dumps(result))
        return

    environment = {**os.environ, "RAYON_NUM_THREADS": "1"}
    completed = subprocess.run(
        [sys.executable, __file__, "--child", *sys.argv[1:]],
        env=environment,
        capture_output=True,
        text=True,
        check=True,
    )
    result = json.loads(completed.stdout.strip().splitlines()[-1])
    print(f"load average before the run: {os.getloadavg()[0]:.2f} on {os.cpu_count()} CPUs")
    print(
        f"{arguments.elements} separations, rho {arguments.rho}, x in [0, {arguments.x_max}],"
        f" {result['pool']:.0f} worker; ns per point, min and median of {arguments.repeats}:"
    )
    times = result["times"]
    baseline = times["witt_mao_magnification"]
    for name, (low, middle) in times.items():
        ratios = f"{baseline[0] / low:5.2f} (min) {baseline[1] / middle:5.2f} (median)"
        print(f"  {name:24s} {low:7.1f} {middle:7.1f}   witt_mao / this: {ratios}")
    print(f"  largest relative difference, Bulirsch against Carlson: {result['difference']:.1e}")


if __name__ == "__main__":
    main()
