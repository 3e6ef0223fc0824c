"""Accuracy and cost of the limb-darkening laws (models/brightness_laws.hpp, through the test-only
module), against the two-dimensional source integrals of tests/brightness_law_reference.json.

    PYTHONPATH=build/dev python benchmarks/accuracy_brightness_laws.py [--quick]

1. The worst relative error of each law (the coefficient sets of tests/test_brightness_laws.py)
   per region of s = u/rho (source radii) and band of rho: the centre (s = 0), inside, the limb
   (|s - 1| <= 1e-12), outside within four radii, and the far series beyond; rho <= 3 (bound
   1e-13) and 3 < rho <= 1000 (bound 1e-11).
2. Time per separation near the source (u in [0, 2 rho], 200 points, one thread) for rho = 0.01,
   0.1 and 1, as the ratio to the linear law on the same points in the same process (min and
   median of the repeats), and the linear law's own time.
"""

import pathlib
import statistics
import sys
import time

import mpmath

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests"))


def region(s):
    if s == 0:
        return "centre (s = 0)"
    if abs(s - 1) <= 1e-12:
        return "limb (|s - 1| <= 1e-12)"
    if s < 1:
        return "inside"
    if s < 4:
        return "outside, s < 4"
    return "far series (s >= 4)"


def accuracy():
    import test_brightness_laws as laws

    worst = {}
    for name, coefficients in laws.COEFFICIENTS:
        law = laws.LAWS[name]
        for case in laws.REFERENCE["cases"]:
            s, rho = case["s"], case["rho"]
            expected = laws.reference_magnification(case, law, coefficients)
            error = laws.relative_error(law(s * rho, rho, *coefficients), expected)
            band = "rho <= 3" if rho <= 3 else "3 < rho <= 1000"
            key = (f"{name}{coefficients}", band, region(s))
            if error >= worst.get(key, (-1.0,))[0]:
                worst[key] = (error, s, rho)
    print("worst relative error per law, band of rho and region (at s, rho)")
    for (law, band, where), (error, s, rho) in sorted(worst.items()):
        print(f"  {law:28} {band:16} {where:26} {error:8.1e}  (s = {s!r}, rho = {rho!r})")


def timing(quick):
    import _obrivane_testing as testing

    repeats = 3 if quick else 7
    laws = [
        ("uniform", 0, (0.0, 0.0)),
        ("quadratic", 2, (0.4, 0.25)),
        ("square_root", 3, (0.3, 0.5)),
        ("logarithmic", 4, (0.6, 0.2)),
        ("power2", 5, (0.6, 0.7)),
    ]
    print("time per separation near the source (u in [0, 2 rho]), ratio to the linear law")
    for rho in (0.01, 0.1, 1.0):
        separations = [2 * rho * i / 199 for i in range(200)]
        samples = {name: [] for name, _, _ in laws}
        linear_times = []
        for _ in range(repeats):
            start = time.perf_counter()
            testing.law_magnifications(1, separations, rho, 0.6, 0.0)
            linear = time.perf_counter() - start
            linear_times.append(linear / len(separations))
            for name, number, coefficients in laws:
                start = time.perf_counter()
                testing.law_magnifications(number, separations, rho, *coefficients)
                samples[name].append(
                    (time.perf_counter() - start) / len(separations) / linear_times[-1]
                )
        line = ", ".join(
            f"{name} {min(r):.1f}/{statistics.median(r):.1f}" for name, r in samples.items()
        )
        print(
            f"  rho = {rho}: linear {min(linear_times) * 1e6:.2f} us; ratios (min/median): {line}"
        )


def main():
    quick = "--quick" in sys.argv
    with mpmath.workdps(30):
        accuracy()
    timing(quick)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
