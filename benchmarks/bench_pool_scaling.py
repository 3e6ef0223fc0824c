"""The worker pool under different sizes, for two builds side by side in one run.

    python benchmarks/bench_pool_scaling.py build/before build/after [--rounds 5]

Both builds are configured with -DOBRIVANE_TESTING=ON -DOBRIVANE_COUNT_WAKEUPS=ON, so that
the test-only module reports how often a blocked thread of its own copy of the pool was woken.
For every pool size (RAYON_NUM_THREADS 1, 2, 8, 32, 64; beyond the processor count the pool is
oversubscribed, which is where needless wake-ups cost most) and each build, a fresh interpreter
times witt_mao_magnification (as run by the test-only module) with 16 and with 10^4
separations (microseconds per call, the best of several repeats) and counts wake-ups per call,
both in the timed back-to-back calls and in calls spaced 2 ms apart (the workers fall asleep in
between, so each map must wake them); with sizes 1 and 2 it also times 10^6 separations. The
builds take turns within each round; the figures are min and median over the rounds and the
after/before ratio of each.
"""

import argparse
import statistics

from build_runs import run_in_build

SIZES = [1, 2, 8, 32, 64]

PROGRAM = r"""
import json, sys, time, timeit
import numpy as np
import _obrivane_testing as testing

# The test-only module runs the same model on its own copy of the pool, whose wake-ups it counts.
f = testing.uniform_disk_batch
cases = {"16": (np.linspace(0.0, 3.0, 16), 20_000), "1e4": (np.linspace(0.0, 3.0, 10_000), 300)}
if int(sys.argv[1]) <= 2:
    cases["1e6"] = (np.linspace(0.0, 3.0, 1_000_000), 3)
out = {}
for label, (l, number) in cases.items():
    f(l, 1.0, 0.1)
    before = testing.pool_wakeups()
    best = min(timeit.repeat(lambda: f(l, 1.0, 0.1), number=number, repeat=5)) / number
    calls = number * 5
    out[label] = best * 1e6
    out["wakeups " + label] = (testing.pool_wakeups() - before) / calls
# Spaced calls: the workers fall asleep between maps, so every map has to wake them.
for label in ("16", "1e4"):
    l = cases[label][0]
    before = testing.pool_wakeups()
    for _ in range(50):
        time.sleep(0.002)
        f(l, 1.0, 0.1)
    out["wakeups spaced " + label] = (testing.pool_wakeups() - before) / 50
print(json.dumps(out))
"""


def measure(build: str, size: int) -> dict:
    return run_in_build(build, PROGRAM, str(size), threads=size)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--sizes", type=int, nargs="*", default=SIZES)
    arguments = parser.parse_args()
    builds = (arguments.before, arguments.after)
    samples = {(build, size): {} for build in builds for size in arguments.sizes}
    for _ in range(arguments.rounds):
        for size in arguments.sizes:
            for build in builds:
                for key, value in measure(build, size).items():
                    samples[(build, size)].setdefault(key, []).append(value)
    print(
        f"{'pool':>4s} {'case':22s} {'before min/med':>18s} {'after min/med':>18s}  ratio min, med"
    )
    for size in arguments.sizes:
        for key in samples[(arguments.before, size)]:
            before = samples[(arguments.before, size)][key]
            after = samples[(arguments.after, size)][key]
            unit = "" if key.startswith("wakeups") else " us"
            ratios = ""
            if min(before) > 0:
                ratios = (
                    f"{min(after) / min(before):5.2f} "
                    f"{statistics.median(after) / statistics.median(before):5.2f}"
                )
            print(
                f"{size:4d} {key + unit:22s} {min(before):8.2f} {statistics.median(before):8.2f}  "
                f"{min(after):8.2f} {statistics.median(after):8.2f}   {ratios}"
            )


if __name__ == "__main__":
    main()
