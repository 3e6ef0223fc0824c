"""Accuracy of the two closed forms against mpmath.

    PYTHONPATH=build/dev python benchmarks/accuracy_closed_forms.py [--samples N]

witt_mao_magnification: the Witt-Mao formula evaluated by mpmath at 40 digits (its elliptic
integrals included), for random source radii 10^-3 to 10^0.5 Einstein radii and separations
10^-2 to 10^2.5 source radii (those within 2e-5 Einstein radii of the limb left out), reported
apart for separations up to 10 source radii and beyond.

heyrovsky_magnification: the mean of the point-lens magnification over the ring, integrated by
mpmath at 25 digits (tests/profile_reference.py), for random Einstein radii 0.1 to 100 source
radii, separations 0 to 3 and ring radii 0 to 1, away from the ring through the lens
(|r - l| > 1e-3).

Errors are relative, in units of the machine epsilon 2^-52: median and worst.
"""

import argparse
import pathlib
import random
import sys

import mpmath
import obrivane

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests"))
from profile_reference import ring_average  # noqa: E402

EPS = 2.0**-52


def witt_mao(u, rho):
    with mpmath.workdps(40):
        u, rho = mpmath.mpf(u), mpmath.mpf(rho)
        if u == 0:
            return mpmath.sqrt(rho**2 + 4) / rho
        n = 4 * u * rho / (u + rho) ** 2
        m = 4 * n / (4 + (u - rho) ** 2)
        s = mpmath.sqrt(4 + (u - rho) ** 2)
        e = (u + rho) * s / (2 * rho**2) * mpmath.ellipe(m)
        k = (u - rho) * (8 + u**2 - rho**2) / (2 * rho**2 * s) * mpmath.ellipk(m)
        p = 2 * (u - rho) ** 2 * (1 + rho**2) / (rho**2 * (u + rho) * s) * mpmath.ellippi(n, m)
        return (e - k + p) / mpmath.pi


def summary(name, errors):
    errors.sort()
    print(f"{name:<34} {len(errors):5d} {errors[len(errors) // 2]:12.2f} {errors[-1]:12.1f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--samples", type=int, default=300)
    parser.add_argument("--seed", type=int, default=1)
    arguments = parser.parse_args()
    rng = random.Random(arguments.seed)
    near, far = [], []
    for _ in range(arguments.samples):
        rho, separation = 10 ** rng.uniform(-3, 0.5), 10 ** rng.uniform(-2, 2.5)
        if abs(separation * rho - rho) < 2e-5:
            continue
        got = obrivane.witt_mao_magnification([separation], 1.0, rho)[0]
        expected = witt_mao(separation * rho, rho)
        error = float(abs((got - expected) / expected)) / EPS
        (far if separation > 10 else near).append(error)
    rings = []
    for _ in range(arguments.samples // 2):
        q, separation, radius = 10 ** rng.uniform(-1, 2), rng.uniform(0, 3), rng.uniform(0, 1)
        if abs(radius - separation) < 1e-3:
            continue
        got = obrivane.heyrovsky_magnification(separation, radius, q, 1.0)
        expected = ring_average(separation, radius, q)
        rings.append(float(abs((got - expected) / expected)) / EPS)
    print(f"{'':<34} {'n':>5} {'median eps':>12} {'worst eps':>12}")
    summary("witt_mao_magnification, l <= 10", near)
    summary("witt_mao_magnification, l > 10", far)
    summary("heyrovsky_magnification", rings)


if __name__ == "__main__":
    main()
