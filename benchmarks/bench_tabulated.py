"""Cost of the tabulated-profile magnification (integrated_flux_map_heyrovsky_magnification and
integrated_flux_map_witt_mao_magnification, one shared computation), side by side with another
build of the module (for example the code before a change), and the accuracy of both on tables
with kinks and jumps.

    python benchmarks/bench_tabulated.py [--quick] [--ours DIR] [--baseline DIR]

DIR is a directory holding a built obrivane extension (default for --ours: build/dev). Each
measurement runs in a fresh process, since the worker pool is sized once per process: single
threaded (RAYON_NUM_THREADS=1) and with the default pool. Reported per point: the minimum and
the median over the repeats of (call time / number of separations), for tables of 10 to 10^4
rows (the linear limb-darkening law sampled densely towards the limb), rho = 0.01, 0.1 and 1,
near the source (u <= 2 rho, separations 0 ... 2 source radii) and far from it (4.5 ... 50
source radii), and the ratio baseline / ours of the medians.
"""

import argparse
import json
import pathlib
import statistics
import sys

from build_runs import run_in_build

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent

CHILD = r"""
import json, sys, time
import numpy as np
import obrivane

settings = json.loads(sys.argv[1])
function = obrivane.integrated_flux_map_heyrovsky_magnification
results = []
for rows in settings["rows"]:
    k = np.arange(rows)
    radii = np.sin(np.pi * k / (2 * (rows - 1)))
    radii[-1] = 1.0
    bl = radii.tolist()
    bf = (0.4 + 0.6 * np.sqrt(np.maximum(1 - radii * radii, 0.0))).tolist()
    for rho in settings["rho"]:
        for region, (low, high) in (("near", (0.0, 2.0)), ("far", (4.5, 50.0))):
            count = settings["points"][region]
            separations = np.linspace(low, high, count).tolist()
            function(separations[:8], 1.0, rho, bl, bf)
            per_point = []
            for _ in range(settings["repeats"]):
                start = time.perf_counter()
                function(separations, 1.0, rho, bl, bf)
                per_point.append((time.perf_counter() - start) / count)
            results.append(dict(rows=rows, rho=rho, region=region, times=per_point))
print(json.dumps(results))
"""

ACCURACY_CHILD = r"""
import json, sys
import obrivane

cases = json.loads(sys.argv[1])
print(json.dumps([obrivane.integrated_flux_map_heyrovsky_magnification([s], 1.0, rho, bl, bf)[0]
                  for bl, bf, rho, s in cases]))
"""


def run_child(program, build, arguments, threads):
    pool = "default" if threads is None else threads
    return run_in_build(build, program, json.dumps(arguments), threads=pool)


def timing_table(ours, baseline, quick, threads):
    rows = [10, 100, 1000] if quick else [10, 100, 1000, 10000]
    settings = dict(
        rows=rows,
        rho=[0.01, 0.1, 1.0],
        repeats=3 if quick else 7,
        points=dict(near=100 if quick else 400, far=400 if quick else 2000),
    )
    mine = run_child(CHILD, ours, settings, threads)
    theirs = None
    if baseline is not None:
        # The same points: the cost of passing the table in is shared by as many separations.
        theirs = run_child(CHILD, baseline, settings, threads)
    label = "1 thread" if threads == 1 else "default pool"
    print(f"\n{label}: microseconds per point, min / median of the repeats")
    header = f"{'rows':>6} {'rho':>5} {'region':>6} {'ours min':>9} {'ours med':>9}"
    if theirs is not None:
        header += f" {'base min':>9} {'base med':>9} {'ratio':>7}"
    print(header)
    for index, entry in enumerate(mine):
        times = [t * 1e6 for t in entry["times"]]
        line = (
            f"{entry['rows']:>6} {entry['rho']:>5} {entry['region']:>6}"
            f" {min(times):>9.2f} {statistics.median(times):>9.2f}"
        )
        if theirs is not None:
            base = [t * 1e6 for t in theirs[index]["times"]]
            ratio = statistics.median(base) / statistics.median(times)
            line += f" {min(base):>9.2f} {statistics.median(base):>9.2f} {ratio:>7.1f}"
        print(line)


def accuracy_table(ours, baseline):
    sys.path.insert(0, str(ROOT / "tests"))
    from profile_reference import Tabulated, profile_magnification

    tables = {
        "kinked [0, .5, 1]/[1, .8, .5]": ([0.0, 0.5, 1.0], [1.0, 0.8, 0.5]),
        "ends at 0.7 [0, .35, .7]/[1, .9, .7]": ([0.0, 0.35, 0.7], [1.0, 0.9, 0.7]),
    }
    cases = [
        (bl, bf, rho, s)
        for bl, bf in tables.values()
        for rho in (0.01, 1.0)
        for s in (0.0, 0.3, 0.69, 1.0, 2.0)
    ]
    references = [profile_magnification(s, 1 / rho, Tabulated(bl, bf)) for bl, bf, rho, s in cases]
    print(
        "\nworst relative error against the integral over the source (tests/profile_reference.py)"
    )
    builds = {"ours": ours} | ({"baseline": baseline} if baseline is not None else {})
    for name, build in builds.items():
        values = run_child(ACCURACY_CHILD, build, cases, None)
        for title, table in tables.items():
            worst = max(
                abs(v / r - 1)
                for v, r, case in zip(values, references, cases, strict=True)
                if (case[0], case[1]) == table
            )
            print(f"  {name:>8}  {title:<38} {worst:.1e}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--ours", default=str(ROOT / "build" / "dev"))
    parser.add_argument("--baseline", default=None)
    arguments = parser.parse_args()
    for threads in (1, None):
        timing_table(arguments.ours, arguments.baseline, arguments.quick, threads)
    accuracy_table(arguments.ours, arguments.baseline)


if __name__ == "__main__":
    main()
