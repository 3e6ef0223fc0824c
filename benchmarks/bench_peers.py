"""The limb-darkened magnification (linear law, coefficient 0.6) beside peer programs: time per
point and relative error against one mpmath reference, all in one run.

    python benchmarks/bench_peers.py [--quick] [--json PATH] [--plot PATH]

Methods:
- obrivane.integrated_witt_mao_magnification and integrated_heyrovsky_magnification, single
  thread (RAYON_NUM_THREADS=1 is set before the import unless already set);
- obrivane.witt_mao_magnification, the uniform disk on the same points, for scale;
- VBMicrolensing's ESPLMagDark (a1 = 0.6) with Tol = RelTol = 1e-3 and 1e-4;
- MulensModel's finite_source_LD_Yoo04 (Gamma = 0.5, the same law: Gamma = 2 a1 / (3 - a1)).
Peers that are not installed are left out; this script never installs anything.

Workloads:
- "light curve": 4000 points at rho = 0.01, impact parameter 0.002, u from 0.002 to 2;
- "near, rho = R": u uniform in [0, 2 rho] for rho = 0.01, 0.1 and 1.
Times are the minimum and median of repeated passes over a workload. Errors are against the
double-exponential source integral of tests/profile_reference.py (good to about 1e-12), on a
subset of each workload's points; a NaN result counts as a failure, not as an error.
"""

import argparse
import json
import math
import os
import pathlib
import statistics
import sys
import time

os.environ.setdefault("RAYON_NUM_THREADS", "1")

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))

import numpy as np  # noqa: E402
import obrivane  # noqa: E402
from profile_reference import profile_magnification  # noqa: E402

COEFFICIENT = 0.6
GAMMA = 2 * COEFFICIENT / (3 - COEFFICIENT)


def light_curve(count):
    tau = np.linspace(-2.0, 2.0, count)
    return np.hypot(0.002, tau)


def workloads(quick):
    count = 1000 if quick else 4000
    loads = {"light curve, rho = 0.01": (light_curve(count), 0.01)}
    for rho in (0.01, 0.1, 1.0):
        loads[f"near, rho = {rho:g}"] = (np.linspace(0.0, 2 * rho, 200 if quick else 1000), rho)
    return loads


def accuracy_points(u, rho, quick):
    """A subset of the workload, with the centre and the limb added."""
    step = max(1, len(u) // (12 if quick else 40))
    chosen = sorted(set(u[::step].tolist()) | {0.0, rho, 1.5 * rho})
    return [x for x in chosen if x <= u.max() or x in (0.0, rho)]


class Ours:
    def __init__(self, function):
        self.function = function
        self.name = f"obrivane {function.__name__}"

    def many(self, u, rho):
        return self.function((u / rho).tolist(), 1.0, rho)


class UniformDisk:
    name = "obrivane witt_mao_magnification (uniform disk)"
    uniform = True

    def many(self, u, rho):
        return obrivane.witt_mao_magnification((u / rho).tolist(), 1.0, rho)


class VBMicrolensingPeer:
    def __init__(self, module, tolerance):
        self.engine = module.VBMicrolensing()
        self.engine.Tol = tolerance
        self.engine.RelTol = tolerance
        self.engine.a1 = COEFFICIENT
        self.name = f"VBMicrolensing ESPLMagDark Tol = RelTol = {tolerance:g}"

    def many(self, u, rho):
        magnification = self.engine.ESPLMagDark
        return [magnification(x, rho) for x in u.tolist()]


class MulensModelPeer:
    name = "MulensModel finite_source_LD_Yoo04"
    # Point per point its cost is milliseconds: timed on a subset.
    subset = 200

    def __init__(self, module):
        self.module = module

    def many(self, u, rho):
        # A trajectory with t_E = 1 and u_0 = 0 puts the source at u = |t - t_0|.
        model = self.module.Model({"t_0": 0.0, "u_0": 0.0, "t_E": 1.0, "rho": rho})
        model.set_magnification_methods([-10.0, "finite_source_LD_Yoo04", 10.0])
        try:
            return model.get_magnification(np.asarray(u), gamma=GAMMA).tolist()
        except ValueError:
            # It refuses a whole batch in which any point comes out NaN (the lens at the
            # source centre does): point by point then, NaN where it refuses.
            values = []
            for x in np.asarray(u).tolist():
                try:
                    values.append(float(model.get_magnification(np.array([x]), gamma=GAMMA)[0]))
                except ValueError:
                    values.append(math.nan)
            return values


def methods():
    found = [
        Ours(obrivane.integrated_witt_mao_magnification),
        Ours(obrivane.integrated_heyrovsky_magnification),
        UniformDisk(),
    ]
    missing = []
    try:
        import VBMicrolensing

        found += [
            VBMicrolensingPeer(VBMicrolensing, 1e-3),
            VBMicrolensingPeer(VBMicrolensing, 1e-4),
        ]
    except ImportError:
        missing.append("VBMicrolensing")
    try:
        import MulensModel

        found.append(MulensModelPeer(MulensModel))
    except ImportError:
        missing.append("MulensModel")
    return found, missing


def time_per_point(method, u, rho, repeats):
    subset = getattr(method, "subset", None)
    if subset is not None and len(u) > subset:
        u = u[:: len(u) // subset]
    passes = []
    for _ in range(repeats):
        start = time.perf_counter()
        method.many(u, rho)
        passes.append((time.perf_counter() - start) / len(u))
    return min(passes), statistics.median(passes)


def errors(method, points, rho, references):
    values = method.many(np.asarray(points), rho)
    relative, failures = [], 0
    for value, reference in zip(values, references, strict=True):
        if not math.isfinite(value):
            failures += 1
        else:
            relative.append(abs(value / reference - 1))
    return relative, failures


def run(quick):
    found, missing = methods()
    repeats = 3 if quick else 7
    table = {"threads": os.environ["RAYON_NUM_THREADS"], "missing": missing, "workloads": {}}
    for label, (u, rho) in workloads(quick).items():
        points = accuracy_points(u, rho, quick)
        references = [profile_magnification(x / rho, 1 / rho) for x in points]
        rows = {}
        for method in found:
            fastest, median = time_per_point(method, u, rho, repeats)
            row = {"us_min": fastest * 1e6, "us_median": median * 1e6}
            if not getattr(method, "uniform", False):
                relative, failures = errors(method, points, rho, references)
                row.update(
                    max_error=max(relative) if relative else None,
                    median_error=statistics.median(relative) if relative else None,
                    nan_points=failures,
                    points=len(points),
                )
            rows[method.name] = row
        uniform = rows[UniformDisk.name]["us_min"]
        for row in rows.values():
            row["ratio_to_uniform_disk"] = row["us_min"] / uniform
        table["workloads"][label] = rows
    return table


def print_table(table):
    print(f"Threads for obrivane: {table['threads']}; not installed: {table['missing'] or 'none'}")
    for label, rows in table["workloads"].items():
        print(f"\n{label}")
        print(
            f"  {'method':58} {'us min':>9} {'us med':>9} {'x disk':>7} {'max err':>9}"
            f" {'med err':>9} {'NaN':>5}"
        )
        for name, row in rows.items():
            error = row.get("max_error")
            median_error = row.get("median_error")
            print(
                f"  {name:58} {row['us_min']:9.3f} {row['us_median']:9.3f}"
                f" {row['ratio_to_uniform_disk']:7.2f}"
                f" {'' if error is None else f'{error:9.1e}':>9}"
                f" {'' if median_error is None else f'{median_error:9.1e}':>9}"
                f" {row.get('nan_points', ''):>5}"
            )


def plot(table, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    figure, (speed, accuracy) = plt.subplots(1, 2, figsize=(12, 4.8))
    labels = list(table["workloads"])
    names = [name for name in next(iter(table["workloads"].values()))]
    width = 0.8 / len(names)
    for k, name in enumerate(names):
        offsets = [i + (k - (len(names) - 1) / 2) * width for i in range(len(labels))]
        speed.bar(
            offsets,
            [table["workloads"][label][name]["us_min"] for label in labels],
            width,
            color=f"C{k}",
            label=name.replace("obrivane ", ""),
        )
        errors_here = [table["workloads"][label][name].get("max_error") for label in labels]
        if any(e is not None for e in errors_here):
            accuracy.bar(
                offsets,
                [max(e, 1e-17) if e is not None else 0 for e in errors_here],
                width,
                color=f"C{k}",
            )
    for axis, title in [(speed, "time per point (us, min)"), (accuracy, "worst relative error")]:
        axis.set_yscale("log")
        axis.set_xticks(range(len(labels)))
        axis.set_xticklabels(labels, rotation=15, fontsize=8)
        axis.set_title(title)
        axis.grid(axis="y", alpha=0.3)
    speed.legend(fontsize=7)
    figure.suptitle("Linear limb darkening (a1 = 0.6): obrivane beside peer programs")
    figure.tight_layout()
    figure.savefig(path, dpi=110)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--json", type=pathlib.Path)
    parser.add_argument("--plot", type=pathlib.Path)
    arguments = parser.parse_args()
    table = run(arguments.quick)
    print_table(table)
    if arguments.json:
        arguments.json.write_text(json.dumps(table, indent=1) + "\n", encoding="utf-8")
    if arguments.plot:
        plot(table, arguments.plot)


if __name__ == "__main__":
    main()
