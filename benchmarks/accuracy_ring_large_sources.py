"""Accuracy of heyrovsky_magnification for large sources with the ring near the lens.

    PYTHONPATH=build/dev python benchmarks/accuracy_ring_large_sources.py [--samples N]

Random rings with the source radius rho = rstar/re from 10^6 to 10^12 Einstein radii,
separations l from 0.01 to 3 source radii and the ring's distance from the lens |r - l| from
10^-3 to 0.45 times l + r (outside the near-lens band, either side of the lens), against the
mean of the point-lens magnification over the ring integrated by mpmath at 25 digits
(tests/profile_reference.py). There the magnification exceeds 1 by far less than rounding.

Printed: the relative error in units of the machine epsilon 2^-52 (median and worst), and the
lowest result minus 1 (a mean of magnifications is at least 1).
"""

import argparse
import math
import pathlib
import random
import statistics
import sys

import mpmath
import obrivane

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests"))
from profile_reference import ring_average  # noqa: E402

EPS = 2.0**-52


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--samples", type=int, default=400)
    arguments = parser.parse_args()
    rng = random.Random(20261208)
    errors = []
    lowest = float("inf")
    worst_case = None
    for _ in range(arguments.samples):
        rho = 10 ** rng.uniform(6, 12)
        s = 10 ** rng.uniform(-2, 0.5)
        a = rng.choice([-1, 1]) * 10 ** rng.uniform(-3 + 1e-9, math.log10(0.45))
        r = s * (1 + a) / (1 - a)
        value = obrivane.heyrovsky_magnification(s, r, 1.0, rho)
        expected = ring_average(s, r, 1 / rho)
        error = float(abs((mpmath.mpf(value) - expected) / expected)) / EPS
        errors.append(error)
        if error >= max(errors):
            worst_case = (s, r, rho)
        lowest = min(lowest, value - 1)
    print(f"{arguments.samples} rings, rho 1e6 to 1e12, |r - l| / (l + r) from 1e-3 to 0.45")
    print(f"relative error / eps: median {statistics.median(errors):.2f}, worst {max(errors):.2f}")
    print(f"worst at l, r, rho = {worst_case}")
    print(f"lowest result - 1: {lowest:.3g}")


if __name__ == "__main__":
    main()
