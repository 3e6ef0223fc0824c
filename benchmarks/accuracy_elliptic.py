"""Accuracy of the elliptic integrals against mpmath.

For every routine, draws random arguments over its domain (fixed seed), evaluates the routine
through the test-only module and the same integral with mpmath at 50 significant digits, and
prints the maximum and median error in two units:

  ulp  |computed - exact| / ulp(exact), ulp(x) the spacing of binary64 numbers at x;
  eps  |computed - exact| / (|exact| * 2**-52), the relative error in machine epsilons.

The eps figure is at most the ulp figure, and up to half of it just above a power of two.

Principal values are checked against identities evaluated in mpmath, not against the formulas
the routines use: for n > 1, Pi(n, m) = K(m) - Pi(m / n, m) (DLMF 19.6.5 with the infinite
term dropped by the principal value); for p < 0, R_J is compared with the real part of mpmath's
complex R_J on a subset (it is slow) and with Carlson's transformation evaluated in mpmath on
all samples.

Usage: PYTHONPATH=build/<dir> python3 benchmarks/accuracy_elliptic.py [--samples N] [NAME ...]
"""

from __future__ import annotations

import argparse
import math
import random
import statistics
import sys
from collections.abc import Callable

import _obrivane_testing as testing
import mpmath

EPSILON = 2.0**-52


def ulp_error(computed: float, exact: mpmath.mpf) -> float:
    return float(abs(mpmath.mpf(computed) - exact) / math.ulp(float(exact)))


def epsilon_error(computed: float, exact: mpmath.mpf) -> float:
    return float(abs((mpmath.mpf(computed) - exact) / exact)) / EPSILON


def log_uniform(rng: random.Random, low_exponent: float, high_exponent: float) -> float:
    return 10.0 ** rng.uniform(low_exponent, high_exponent)


def principal_rj(x: float, y: float, z: float, p: float) -> mpmath.mpf:
    """Cauchy principal value of R_J for p < 0 (Carlson 1995), in mpmath."""
    x, y, z = sorted((mpmath.mpf(x), mpmath.mpf(y), mpmath.mpf(z)))
    q = -mpmath.mpf(p)
    shifted = (z * (x + y + q) - x * y) / (z + q)
    return (
        (shifted - z) * mpmath.elliprj(x, y, z, shifted)
        - 3 * mpmath.elliprf(x, y, z)
        + 3
        * mpmath.sqrt(x * y * z / (x * y + shifted * q))
        * mpmath.elliprc(x * y + shifted * q, shifted * q)
    ) / (z + q)


def principal_pi(n: float, m: float) -> mpmath.mpf:
    """Cauchy principal value of Pi(n, m) for n > 1 from Pi(m / n, m), 0 < m / n < 1."""
    n, m = mpmath.mpf(n), mpmath.mpf(m)
    return mpmath.ellipk(m) - mpmath.ellippi(m / n, m)


# name: (routine, argument generator, reference)
Case = tuple[
    Callable[..., float], Callable[[random.Random], tuple[float, ...]], Callable[..., mpmath.mpf]
]


def cases() -> dict[str, Case]:
    def positive(count: int) -> Callable[[random.Random], tuple[float, ...]]:
        return lambda rng: tuple(log_uniform(rng, -3, 3) for _ in range(count))

    return {
        "ellipk [0, 1)": (testing.ellipk, lambda rng: (rng.uniform(0, 1),), mpmath.ellipk),
        "ellipk (-0.05, 0)": (testing.ellipk, lambda rng: (rng.uniform(-0.05, 0),), mpmath.ellipk),
        "ellipk (-1e3, -0.05]": (
            testing.ellipk,
            lambda rng: (-log_uniform(rng, math.log10(0.05), 3),),
            mpmath.ellipk,
        ),
        "ellipe [0, 1)": (testing.ellipe, lambda rng: (rng.uniform(0, 1),), mpmath.ellipe),
        "ellipe (-1e3, 0)": (
            testing.ellipe,
            lambda rng: (-log_uniform(rng, -3, 3),),
            mpmath.ellipe,
        ),
        "elliprf": (testing.elliprf, positive(3), mpmath.elliprf),
        "elliprc": (testing.elliprc, positive(2), mpmath.elliprc),
        "elliprc y < 0": (
            testing.elliprc,
            lambda rng: (log_uniform(rng, -3, 3), -log_uniform(rng, -3, 3)),
            mpmath.elliprc,
        ),
        "elliprd": (testing.elliprd, positive(3), mpmath.elliprd),
        "elliprg": (testing.elliprg, positive(3), mpmath.elliprg),
        "elliprj": (testing.elliprj, positive(4), mpmath.elliprj),
        "elliprj p < 0": (
            testing.elliprj,
            lambda rng: (*positive(3)(rng), -log_uniform(rng, -3, 3)),
            principal_rj,
        ),
        "ellippi n < 1": (
            testing.ellippi,
            lambda rng: (rng.uniform(-1, 1), rng.uniform(0, 1)),
            mpmath.ellippi,
        ),
        "ellippi m < 0": (
            testing.ellippi,
            lambda rng: (rng.uniform(-1, 1), rng.uniform(-1, 0)),
            mpmath.ellippi,
        ),
        "ellippi n > 1": (
            testing.ellippi,
            lambda rng: (1 + log_uniform(rng, -3, 3), rng.uniform(0, 1)),
            principal_pi,
        ),
    }


def measure(
    name: str, case: Case, samples: int, seed: int
) -> tuple[list[float], list[float], tuple]:
    routine, generate, reference = case
    rng = random.Random(f"{seed}:{name}")
    ulps, epsilons, worst = [], [], (0.0, ())
    for _ in range(samples):
        arguments = generate(rng)
        computed = routine(*arguments)
        exact = reference(*arguments)
        error = ulp_error(computed, exact)
        ulps.append(error)
        epsilons.append(epsilon_error(computed, exact))
        if error > worst[0]:
            worst = (error, arguments)
    return ulps, epsilons, worst[1]


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter
    )
    parser.add_argument("--samples", type=int, default=10_000)
    parser.add_argument("--seed", type=int, default=2024)
    parser.add_argument("names", nargs="*", help="routines to measure (default: all)")
    options = parser.parse_args(argv)
    mpmath.mp.dps = 50

    selected = cases()
    if options.names:
        selected = {
            name: case for name, case in selected.items() if any(n in name for n in options.names)
        }
    columns = ("samples", "max ulp", "median ulp", "max eps", "median eps")
    print(f"{'routine':22s} " + " ".join(f"{column:>10s}" for column in columns))
    for name, case in selected.items():
        ulps, epsilons, worst = measure(name, case, options.samples, options.seed)
        print(
            f"{name:22s} {len(ulps):10d} {max(ulps):10.2f} {statistics.median(ulps):10.2f} "
            f"{max(epsilons):10.2f} {statistics.median(epsilons):10.2f}   worst at {worst}",
            flush=True,
        )
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
