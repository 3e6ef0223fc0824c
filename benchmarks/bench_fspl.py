"""obrivane.fspl beside the leading peer and beside obrivane's own low-level functions: time per
point (min and median of repeated passes, all in one run), and the peer's error against ours.

    RAYON_NUM_THREADS=1 python benchmarks/bench_fspl.py [--quick]

Workloads (u and rho in Einstein radii):
- "limb grid": rho = 0.001, 0.01, 0.1, 1; half of the points within 10 % of the limb, spaced
  geometrically down to 1e-6 of it, the rest uniform in u/rho from 0 to 3;
- "near": u uniform in [0, 2 rho], rho = 0.01, 0.1, 1;
- "light curve": 4000 points at rho = 0.01, impact parameter 0.002, u from 0.002 to 2.
Comparisons:
- fspl.uniform against VBMicrolensing's ESPLMag (its table, point by point) and against
  obrivane.witt_mao_magnification on 10^6 separations from a float64 array;
- fspl.linear against ESPLMagDark at Tol = RelTol = 1e-3 (a1 = 0.6);
- every other law against fspl.linear on the same points;
- the cost of a one-element call, and 10^6 points with 2 threads against 1 (child processes).
The peer is optional: without VBMicrolensing only the internal ratios are printed.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time

os.environ.setdefault("RAYON_NUM_THREADS", "1")
# NumPy's BLAS threads, started at import, would otherwise spin beside the timed calls on a small
# machine; nothing timed here uses BLAS.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402
import obrivane  # noqa: E402
from obrivane import fspl  # noqa: E402

COEFFICIENTS = {
    "uniform": (),
    "linear": (0.6,),
    "quadratic": (0.4, 0.25),
    "square_root": (0.3, 0.4),
    "logarithmic": (0.5, 0.2),
    "power2": (0.6, 0.7),
}


def limb_grid(rho, count):
    near = rho * (1 + np.geomspace(1e-6, 0.1, count // 4) * np.array([-1.0, 1.0])[:, None]).ravel()
    return np.sort(np.concatenate([near, rho * np.linspace(0.0, 3.0, count - near.size)]))


def near(rho, count):
    return np.linspace(0.0, 2 * rho, count)


def light_curve(count):
    return np.hypot(0.002, np.linspace(-2.0, 2.0, count))


def timed(call, repeats):
    passes = []
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        passes.append(time.perf_counter() - start)
    return min(passes), statistics.median(passes)


def peer():
    try:
        import VBMicrolensing
    except ImportError:
        return None
    engine = VBMicrolensing.VBMicrolensing()
    engine.Tol = engine.RelTol = 1e-3
    engine.a1 = 0.6
    engine.LoadESPLTable(os.path.join(os.path.dirname(VBMicrolensing.__file__), "data", "ESPL.tbl"))
    return engine


def row(label, ours, theirs, count):
    ratio = theirs[0] / ours[0]
    print(
        f"  {label:44} ours {ours[0] / count * 1e6:7.3f} / {ours[1] / count * 1e6:7.3f} us"
        f"   peer {theirs[0] / count * 1e6:7.3f} / {theirs[1] / count * 1e6:7.3f} us"
        f"   peer/ours (min) {ratio:5.2f}"
    )


def relative_error(theirs, ours):
    theirs, ours = np.asarray(theirs), np.asarray(ours)
    finite = np.isfinite(theirs)
    return float(np.abs(theirs[finite] / ours[finite] - 1).max()), int((~finite).sum())


def against_peer(engine, quick, repeats):
    count = 400 if quick else 2000
    print("\nfspl.uniform against ESPLMag (its table), point by point; min / median per point")
    for rho in (0.001, 0.01, 0.1, 1.0):
        u = limb_grid(rho, count)
        ours = timed(lambda u=u, rho=rho: fspl.uniform(u, rho), repeats)
        theirs = timed(lambda u=u, rho=rho: [engine.ESPLMag(x, rho) for x in u.tolist()], repeats)
        row(f"limb grid, rho = {rho:g}", ours, theirs, u.size)
        error, nan = relative_error(
            [engine.ESPLMag(x, rho) for x in u.tolist()], fspl.uniform(u, rho)
        )
        print(f"  {'':44} peer's worst relative error {error:.1e}, NaN {nan}")
    print("\nfspl.linear against ESPLMagDark (Tol = RelTol = 1e-3, a1 = 0.6)")
    loads = {f"near, rho = {rho:g}": (near(rho, count), rho) for rho in (0.01, 0.1, 1.0)}
    loads["light curve, rho = 0.01"] = (light_curve(1000 if quick else 4000), 0.01)
    for label, (u, rho) in loads.items():
        ours = timed(lambda u=u, rho=rho: fspl.linear(u, rho, 0.6), repeats)
        theirs = timed(
            lambda u=u, rho=rho: [engine.ESPLMagDark(x, rho) for x in u.tolist()], repeats
        )
        row(label, ours, theirs, u.size)
        error, nan = relative_error(
            [engine.ESPLMagDark(x, rho) for x in u.tolist()], fspl.linear(u, rho, 0.6)
        )
        print(f"  {'':44} peer's worst relative error {error:.1e}, NaN {nan}")


def laws_against_linear(quick, repeats):
    count = 2000 if quick else 20000
    print("\nEach law against fspl.linear on the same points (min time ratio; median in brackets)")
    loads = {f"near, rho = {rho:g}": (near(rho, count), rho) for rho in (0.01, 0.1, 1.0)}
    loads["light curve, rho = 0.01"] = (light_curve(4000), 0.01)
    for label, (u, rho) in loads.items():
        linear = timed(lambda u=u, rho=rho: fspl.linear(u, rho, 0.6), repeats)
        ratios = []
        for name, coefficients in COEFFICIENTS.items():
            law = getattr(fspl, name)
            cost = timed(lambda law=law, u=u, rho=rho, c=coefficients: law(u, rho, *c), repeats)
            ratios.append(f"{name} {cost[0] / linear[0]:.2f} ({cost[1] / linear[1]:.2f})")
        print(f"  {label:26} linear {linear[0] / u.size * 1e6:.3f} us: " + ", ".join(ratios))


def low_level_and_calls(quick, repeats):
    count = 10**5 if quick else 10**6
    x = np.linspace(0.0, 3.0, count)
    rho = 0.1
    ours = timed(lambda: fspl.uniform(x * rho, rho), repeats)
    theirs = timed(lambda: obrivane.witt_mao_magnification(x, 1.0, rho), repeats)
    print(f"\n{count} separations from a float64 array, rho = 0.1, x in [0, 3]")
    row("fspl.uniform against witt_mao_magnification", ours, theirs, count)
    calls = 20000
    for name, coefficients in (("uniform", ()), ("linear", (0.6,))):
        law = getattr(fspl, name)
        cost = timed(
            lambda law=law, c=coefficients: [law(0.005, 0.01, *c) for _ in range(calls)], repeats
        )
        print(
            f"  one-element call of fspl.{name}:"
            f" {cost[0] / calls * 1e6:.3f} / {cost[1] / calls * 1e6:.3f} us"
        )


THREADS_PROGRAM = """
import time, numpy as np
from obrivane import fspl
u = np.linspace(0.0, 0.02, {count})
fspl.linear(u[:1000], 0.01, 0.6)
best = []
for _ in range({repeats}):
    start = time.perf_counter(); fspl.linear(u, 0.01, 0.6); best.append(time.perf_counter() - start)
print(min(best), sorted(best)[len(best) // 2])
"""


def threads(quick, repeats):
    count = 10**5 if quick else 10**6
    program = THREADS_PROGRAM.format(count=count, repeats=repeats)
    results = {}
    for size in (1, 2):
        environment = dict(os.environ, RAYON_NUM_THREADS=str(size))
        output = subprocess.run(
            [sys.executable, "-c", program],
            env=environment,
            capture_output=True,
            text=True,
            check=True,
        )
        results[size] = [float(v) for v in output.stdout.split()]
    print(
        f"\nfspl.linear on {count} points near the source, rho = 0.01:"
        f" 1 thread {results[1][0]:.3f} s,"
        f" 2 threads {results[2][0]:.3f} s; speed-up {results[1][0] / results[2][0]:.2f}"
        f" (median {results[1][1] / results[2][1]:.2f})"
    )


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true")
    arguments = parser.parse_args()
    repeats = 3 if arguments.quick else 7
    print(f"Threads for obrivane: {os.environ['RAYON_NUM_THREADS']}")
    engine = peer()
    if engine is None:
        print("VBMicrolensing is not installed: the peer comparison is left out")
    else:
        against_peer(engine, arguments.quick, repeats)
    laws_against_linear(arguments.quick, repeats)
    low_level_and_calls(arguments.quick, repeats)
    threads(arguments.quick, repeats)


if __name__ == "__main__":
    main()
