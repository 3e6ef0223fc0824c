"""Cost per element of separations without a finite answer (NaN, infinite, negative) against
valid ones, in the uniform-disk functions and, for comparison, the limb-darkened one, for two
builds side by side in one run.

    python benchmarks/bench_invalid_separations.py build/before build/after [--rounds 5]

Each build runs in a fresh interpreter with one worker, so the figures are the cost of one
element on one core (nanoseconds, the best of several repeats of a call over N equal elements,
conversion in and out included). The builds take turns within each round; the table gives min
and median over the rounds for each build, the after/before ratio of each, and the after
build's cost of each kind relative to a valid separation of the same function.
"""

import argparse
import statistics

from build_runs import run_in_build

PROGRAM = r"""
import json, sys, timeit
import numpy as np
import obrivane

elements = int(sys.argv[1])
kinds = {"valid": 0.7, "nan": float("nan"), "-1": -1.0, "-1e-5": -1e-5, "inf": float("inf"),
         "-inf": float("-inf")}
functions = {
    "witt_mao rho=0.5": lambda l: obrivane.witt_mao_magnification(l, 1.0, 0.5),
    "witt_mao rho=1e-3": lambda l: obrivane.witt_mao_magnification(l, 1.0, 1e-3),
    "witt_mao rho=30": lambda l: obrivane.witt_mao_magnification(l, 1.0, 30.0),
    "multi_witt_mao 2x2": lambda l: obrivane.multi_witt_mao_magnification(
        l, [1.0, 2.0], [0.5, 3.0]
    ),
    "integrated_witt_mao": lambda l: obrivane.integrated_witt_mao_magnification(l, 1.0, 0.5),
}
per_element = {"multi_witt_mao 2x2": 4 * elements}
out = {}
for name, call in functions.items():
    for kind, value in kinds.items():
        l = np.full(elements, value)
        call(l)
        best = min(timeit.repeat(lambda: call(l), number=1, repeat=7))
        out[f"{name} | {kind}"] = best / per_element.get(name, elements) * 1e9
print(json.dumps(out))
"""


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--elements", type=int, default=20_000)
    arguments = parser.parse_args()
    builds = (arguments.before, arguments.after)
    samples: dict[str, dict[str, list[float]]] = {build: {} for build in builds}
    for _ in range(arguments.rounds):
        for build in builds:
            for key, value in run_in_build(
                build, PROGRAM, str(arguments.elements), threads=1
            ).items():
                samples[build].setdefault(key, []).append(value)
    before, after = (samples[build] for build in builds)
    print(
        f"{'function | separation':34s} {'before min/med ns':>18s} {'after min/med ns':>18s}"
        "  after/before min, med   after/valid med"
    )
    for key in before:
        valid = statistics.median(after[key.split(" | ")[0] + " | valid"])
        print(
            f"{key:34s} {min(before[key]):8.0f} {statistics.median(before[key]):8.0f}  "
            f"{min(after[key]):8.0f} {statistics.median(after[key]):8.0f}   "
            f"{min(after[key]) / min(before[key]):6.2f} "
            f"{statistics.median(after[key]) / statistics.median(before[key]):6.2f}"
            f"          {statistics.median(after[key]) / valid:6.2f}"
        )


if __name__ == "__main__":
    main()
