"""obrivane.fspl's laws near the source, this build beside a previous one: time per point on one
worker thread, each build timed in its own child process, the two alternating; the min and the
median of the rounds.

    RAYON_NUM_THREADS=1 python benchmarks/compare_laws_near.py --previous /tmp/previous/build \\
        [--current build/dev] [--rounds 3]

Workloads (u and rho in Einstein radii), rho = 0.01, 0.1, 1 and 3: "near", u uniform in
[0, 2 rho] (the points of benchmarks/bench_fspl.py), and its three parts: "inside", s = u/rho in
[0, 0.9]; "by the limb", s in [0.9, 1.25], where the angle rules follow the limb; "outside", s in
[1.25, 2].
"""

import argparse
import json
import os
import statistics
import sys

from build_runs import run_in_build

RADII = (0.01, 0.1, 1.0, 3.0)
BANDS = {
    "near": (0.0, 2.0),
    "inside": (0.0, 0.9),
    "by the limb": (0.9, 1.25),
    "outside": (1.25, 2.0),
}
LAWS = {
    "linear": (0.6,),
    "quadratic": (0.4, 0.25),
    "square_root": (0.3, 0.4),
    "logarithmic": (0.5, 0.2),
    "power2": (0.6, 0.7),
}

CHILD = """
import json, sys, time
import numpy as np
from obrivane import fspl
radii, bands, laws, points, repeats = json.loads(sys.argv[1])
times = {}
for rho in radii:
    for band, (low, high) in bands.items():
        u = rho * np.linspace(low, high, points)
        for name, coefficients in laws.items():
            law = getattr(fspl, name)
            law(u, rho, *coefficients)
            best = float("inf")
            for _ in range(repeats):
                start = time.perf_counter()
                law(u, rho, *coefficients)
                best = min(best, time.perf_counter() - start)
            times[f"{rho}|{band}|{name}"] = best / points * 1e6
print(json.dumps(times))
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--previous", required=True, help="build directory of the earlier module")
    parser.add_argument("--current", default="build/dev", help="build directory of this module")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--points", type=int, default=1000)
    arguments = parser.parse_args()
    os.environ.setdefault("RAYON_NUM_THREADS", "1")
    os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
    request = json.dumps([RADII, BANDS, LAWS, arguments.points, 5])
    runs = {"previous": [], "current": []}
    for _ in range(arguments.rounds):
        for which in ("previous", "current"):
            build = arguments.previous if which == "previous" else arguments.current
            runs[which].append(run_in_build(build, CHILD, request))
    print("us per point, previous -> current: min (median) of the rounds; speed-up of the mins")
    for rho in RADII:
        for band in BANDS:
            cells = []
            for name in LAWS:
                key = f"{rho}|{band}|{name}"
                before = [run[key] for run in runs["previous"]]
                after = [run[key] for run in runs["current"]]
                speed_up = min(before) / min(after)
                cells.append(
                    f"{name} {min(before):.2f} ({statistics.median(before):.2f}) -> "
                    f"{min(after):.2f} ({statistics.median(after):.2f}) {speed_up:.2f}x"
                )
            print(f"rho = {rho:<5} {band:12} " + " | ".join(cells))
        sys.stdout.flush()


if __name__ == "__main__":
    main()
