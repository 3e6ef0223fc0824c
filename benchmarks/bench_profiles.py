"""Cost and accuracy of the thin-ring, limb-darkened and tabulated-profile magnifications.

    python benchmarks/bench_profiles.py [--quick]

1. Time per separation of every function, single-threaded (RAYON_NUM_THREADS=1) and with the
   default pool, each measured in a fresh process since the pool is sized once per process.
2. Accuracy of the limb-darkened magnification (both families) against a direct integral of the
   point-lens magnification over the source (tests/profile_reference.py), over a grid of u and
   rho from 1e-3 to 10: median and worst relative error, with the separations within 1e-3
   stellar radii of the centre or the limb, and those beyond 100 stellar radii, reported apart.
3. integrated_flux_map_heyrovsky_magnification with tables of 10 to 10000 rows: the table's
   segments are built once per call, so the time per separation may grow only with the
   logarithmic search per node, not with the table length times the node count.
4. The built-in law on the workloads that matter for fitting: a light curve of 4000 points at
   rho = 0.01 (impact parameter 0.002, u from 0.002 to 2) and points near the source (u in
   [0, 2 rho]) for rho from 0.01 to 1000, single-threaded and with the pool, with the ratio to the
   uniform disk on the same points in the same process (min and median of the repeats).
5. VBMicrolensing's ESPLMagDark (linear law, its attribute a1 = 0.6, Tol = RelTol = 1e-4) for
   comparison, if that package is importable (this script never installs it); see also
   bench_peers.py.
"""

import json
import math
import os
import pathlib
import statistics
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))

RE, RSTAR = 1.0, 0.05


def best_time(call, repeats):
    """Best wall time of `repeats` calls (the least disturbed by the rest of the machine)."""
    best = math.inf
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def timings(quick):
    """Seconds per separation of every function, in this process."""
    import numpy as np
    import obrivane

    count = 200 if quick else 2000
    repeats = 3 if quick else 5
    separations = np.linspace(0.0, 3.0, count).tolist()
    table = np.linspace(0.0, 1.0, 100)
    bl = table.tolist()
    bf = (1 + (-0.6) * (1 - np.sqrt(1 - table * table))).tolist()
    rings = np.linspace(0.0, 3.0, 20001).tolist()

    def scalar_rings():
        for r in rings:
            obrivane.heyrovsky_magnification(1.0, r, RE, RSTAR)

    results = {
        "heyrovsky_magnification (per call)": best_time(scalar_rings, repeats) / len(rings),
        "witt_mao_magnification (uniform disk)": best_time(
            lambda: obrivane.witt_mao_magnification(separations, RE, RSTAR), repeats
        )
        / count,
    }
    for name, call in [
        (
            "integrated_heyrovsky_magnification",
            lambda: obrivane.integrated_heyrovsky_magnification(separations, RE, RSTAR),
        ),
        (
            "integrated_witt_mao_magnification",
            lambda: obrivane.integrated_witt_mao_magnification(separations, RE, RSTAR),
        ),
        (
            "discrete_flux_map_heyrovsky_magnification (100 rows)",
            lambda: obrivane.discrete_flux_map_heyrovsky_magnification(
                separations, RE, RSTAR, bl, bf
            ),
        ),
        (
            "integrated_flux_map_heyrovsky_magnification (100 rows)",
            lambda: obrivane.integrated_flux_map_heyrovsky_magnification(
                separations, RE, RSTAR, bl, bf
            ),
        ),
        (
            "integrated_flux_map_witt_mao_magnification (100 rows)",
            lambda: obrivane.integrated_flux_map_witt_mao_magnification(
                separations, RE, RSTAR, bl, bf
            ),
        ),
    ]:
        results[name] = best_time(call, repeats) / count
    return results


def table_lengths(quick):
    """Seconds per separation of the tabulated ring family against the table length."""
    import numpy as np
    import obrivane

    count = 100 if quick else 400
    separations = np.linspace(0.0, 3.0, count).tolist()
    results = {}
    for rows in (10, 100, 1000, 10000):
        radii = np.sin(np.linspace(0.0, math.pi / 2, rows))
        brightness = 1 + (-0.6) * (1 - np.sqrt(np.maximum(1 - radii * radii, 0.0)))
        bl, bf = radii.tolist(), brightness.tolist()
        seconds = best_time(
            lambda bl=bl, bf=bf: obrivane.integrated_flux_map_heyrovsky_magnification(
                separations, RE, RSTAR, bl, bf
            ),
            3,
        )
        results[rows] = seconds / count
    return results


def builtin_law(quick):
    """Seconds per point (min, median) of both built-in functions and of the uniform disk."""
    import numpy as np
    import obrivane

    repeats = 3 if quick else 9
    count = 1000 if quick else 4000
    loads = {"light curve, rho = 0.01": (np.hypot(0.002, np.linspace(-2.0, 2.0, count)), 0.01)}
    for rho in (0.01, 0.1, 1.0, 10.0, 100.0, 1000.0):
        points = 100 if rho >= 10 or quick else 1000
        loads[f"near, rho = {rho:g}"] = (np.linspace(0.0, 2 * rho, points), rho)
    functions = {
        "integrated_witt_mao_magnification": obrivane.integrated_witt_mao_magnification,
        "integrated_heyrovsky_magnification": obrivane.integrated_heyrovsky_magnification,
        "witt_mao_magnification": obrivane.witt_mao_magnification,
    }
    results = {}
    for label, (u, rho) in loads.items():
        separations = (u / rho).tolist()
        results[label] = {}
        for name, function in functions.items():
            passes = []
            for _ in range(repeats):
                start = time.perf_counter()
                function(separations, 1.0, rho)
                passes.append((time.perf_counter() - start) / len(separations))
            results[label][name] = (min(passes), statistics.median(passes))
    return results


def in_fresh_process(task, threads, quick):
    environment = dict(os.environ)
    if threads is None:
        environment.pop("RAYON_NUM_THREADS", None)
    else:
        environment["RAYON_NUM_THREADS"] = str(threads)
    command = [sys.executable, __file__, "--task", task] + (["--quick"] if quick else [])
    completed = subprocess.run(command, env=environment, capture_output=True, text=True, check=True)
    return json.loads(completed.stdout)


def accuracy_grid(quick):
    """Relative errors of both families over a grid of u and rho, against the source integral."""
    import obrivane
    from profile_reference import profile_magnification

    us = [1e-3, 1e-2, 0.05, 0.1, 0.5, 1.0, 3.0, 10.0]
    rhos = [1e-3, 1e-2, 0.1, 1.0, 10.0]
    if quick:
        us, rhos = us[::2], rhos[::2]
    errors = {family: {"away": [], "edge": [], "far": []} for family in ("ring", "disk")}
    worst = {"ring": (0.0, None), "disk": (0.0, None)}
    for rho in rhos:
        separations = [u / rho for u in us] + [0.0, 0.5, 1.0, 1.0005]
        references = [profile_magnification(s, 1 / rho) for s in separations]
        for family, function in [
            ("ring", obrivane.integrated_heyrovsky_magnification),
            ("disk", obrivane.integrated_witt_mao_magnification),
        ]:
            values = function(separations, 1.0, rho)
            for s, value, reference in zip(separations, values, references, strict=True):
                error = abs(value / reference - 1)
                if s <= 1e-3 or abs(s - 1) <= 1e-3:
                    errors[family]["edge"].append(error)
                elif s > 100:
                    errors[family]["far"].append(error)
                else:
                    errors[family]["away"].append(error)
                if error > worst[family][0]:
                    worst[family] = (error, (s * rho, rho))
    return errors, worst


def vbmicrolensing_comparison(quick):
    """ESPLMagDark time per point and error against the source integral, if importable."""
    try:
        import VBMicrolensing
    except ImportError:
        return None
    from profile_reference import profile_magnification

    engine = VBMicrolensing.VBMicrolensing()
    engine.Tol = 1e-4
    engine.RelTol = 1e-4
    engine.a1 = 0.6
    cases = [
        (u, rho) for rho in (1e-3, 1e-2, 0.1, 1.0) for u in (0.5 * rho, rho, 2 * rho, 10 * rho)
    ]
    if quick:
        cases = cases[::3]
    errors = []
    for u, rho in cases:
        value = engine.ESPLMagDark(u, rho)
        errors.append(abs(value / profile_magnification(u / rho, 1 / rho) - 1))
    points = [(0.02 + 0.01 * i, 0.05) for i in range(200)]
    seconds = best_time(lambda: [engine.ESPLMagDark(u, rho) for u, rho in points], 3)
    return {"seconds_per_point": seconds / len(points), "errors": errors}


def report(quick):
    print("Time per separation (best of several runs)")
    single = in_fresh_process("timings", 1, quick)
    pooled = in_fresh_process("timings", None, quick)
    print(f"  {'function':58} {'1 thread':>12} {'pool':>12} {'speed-up':>9}")
    for name in single:
        print(
            f"  {name:58} {single[name] * 1e6:10.2f} us {pooled[name] * 1e6:10.2f} us"
            f" {single[name] / pooled[name]:8.2f}x"
        )

    print("\nBuilt-in law: us per point (min / median), ratio of the min to the uniform disk")
    law = {
        "1 thread": in_fresh_process("builtin", 1, quick),
        "pool": in_fresh_process("builtin", None, quick),
    }
    for label in law["1 thread"]:
        print(f"  {label}")
        for name in ("integrated_witt_mao_magnification", "integrated_heyrovsky_magnification"):
            cells = []
            for threads, results in law.items():
                fastest, median = results[label][name]
                disk = results[label]["witt_mao_magnification"][0]
                times = f"{fastest * 1e6:8.3f} / {median * 1e6:8.3f} us"
                cells.append(f"{threads}: {times} ({fastest / disk:5.2f}x disk)")
            print(f"    {name:36} " + "   ".join(cells))

    print("\nTabulated ring family against the table length (pool)")
    by_rows = in_fresh_process("tables", None, quick)
    base = by_rows["10"]
    for rows, seconds in by_rows.items():
        print(
            f"  {int(rows):6d} rows: {seconds * 1e6:9.2f} us per separation ({seconds / base:.2f}x)"
        )

    print("\nAccuracy of the limb-darkened magnification against the source integral")
    errors, worst = accuracy_grid(quick)
    for family in ("ring", "disk"):
        for where, label in [
            ("away", "l <= 100, away from the edges"),
            ("edge", "within 1e-3 of centre or limb"),
            ("far", "l > 100"),
        ]:
            values = errors[family][where]
            print(
                f"  {family} family, {label:30}: median {statistics.median(values):.1e},"
                f" worst {max(values):.1e} ({len(values)} points)"
            )
        error, (u, rho) = worst[family]
        print(f"  {family} family worst at u = {u:g}, rho = {rho:g}")

    print("\nVBMicrolensing ESPLMagDark (a1 = 0.6, Tol = RelTol = 1e-4)")
    try:
        comparison = vbmicrolensing_comparison(quick)
    except (AttributeError, TypeError) as failure:
        print(f"  its interface is not the one expected here: {failure}")
        return
    if comparison is None:
        print("  not installed: no comparison")
    else:
        print(f"  {comparison['seconds_per_point'] * 1e6:.2f} us per point")
        print(
            f"  relative error: median {statistics.median(comparison['errors']):.1e},"
            f" worst {max(comparison['errors']):.1e}"
        )


def main():
    quick = "--quick" in sys.argv
    if "--task" in sys.argv:
        task = sys.argv[sys.argv.index("--task") + 1]
        tasks = {"timings": timings, "tables": table_lengths, "builtin": builtin_law}
        result = tasks[task](quick)
        print(json.dumps(result))
        return
    report(quick)


if __name__ == "__main__":
    main()
