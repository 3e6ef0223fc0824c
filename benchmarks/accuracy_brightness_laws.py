"""Accuracy and cost of the limb-darkening laws (models/brightness_laws.hpp, through the test-only
module), against the two-dimensional source integrals of tests/brightness_law_reference.json.

    PYTHONPATH=build/dev python benchmarks/accuracy_brightness_laws.py [--quick]

1. The worst relative error of each law (the coefficient sets of
   tests/models/test_brightness_laws.py)
   per region of s = u/rho (source radii) and band of rho: the centre (s = 0), inside, the limb
   (|s - 1| <= 1e-12), outside within four radii, and the far series beyond; rho <= 3 (bound
   1e-13) and 3 < rho <= 1000 (bound 1e-11).
2. Time per separation near the source (u in [0, 2 rho]; off the limb, where every angle
   integral takes one Gauss rule; about the limb, 0.9 < s < 1.25, where the other laws' angle
   integrals take Gauss panels graded towards the limb), 200 points, one thread, for rho = 0.01,
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
sys.path.insert(0, str(HERE.parent / "tests" / "models"))


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


def off_limb(i):
    return 0.9 * i / 99 if i < 100 else 1.25 + 0.75 * (i - 100) / 99


# Separations s = u/rho of 200 points per region.
REGIONS = {
    "u in [0, 2 rho]": lambda i: 2 * i / 199,
    "off the limb (s <= 0.9 or s >= 1.25)": off_limb,
    "about the limb (0.9 < s < 1.25)": lambda i: 0.9 + 0.35 * (i + 0.5) / 200,
}

LAWS = [
    ("uniform", 0, (0.0, 0.0)),
    ("quadratic", 2, (0.4, 0.25)),
    ("square_root", 3, (0.3, 0.5)),
    ("logarithmic", 4, (0.6, 0.2)),
    ("power2", 5, (0.6, 0.7)),
]


def timing_row(separations, rho, repeats):
    """Each repeat times the linear law, then every other law on the same points."""
    import _obrivane_testing as testing

    samples = {name: [] for name, _, _ in LAWS}
    linear_times = []
    for _ in range(repeats):
        start = time.perf_counter()
        testing.law_magnifications(1, separations, rho, 0.6, 0.0)
        linear_times.append((time.perf_counter() - start) / len(separations))
        for name, number, coefficients in LAWS:
            start = time.perf_counter()
            testing.law_magnifications(number, separations, rho, *coefficients)
            elapsed = (time.perf_counter() - start) / len(separations)
            samples[name].append(elapsed / linear_times[-1])
    line = ", ".join(
        f"{name} {min(r):.1f}/{statistics.median(r):.1f}" for name, r in samples.items()
    )
    print(f"  rho = {rho}: linear {min(linear_times) * 1e6:.2f} us; ratios (min/median): {line}")


def timing(quick):
    repeats = 3 if quick else 7
    for region_name, separation in REGIONS.items():
        print(f"time per separation, {region_name}: ratio to the linear law")
        for rho in (0.01, 0.1, 1.0):
            timing_row([rho * separation(i) for i in range(200)], rho, repeats)


def main():
    quick = "--quick" in sys.argv
    with mpmath.workdps(30):
        accuracy()
    timing(quick)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
