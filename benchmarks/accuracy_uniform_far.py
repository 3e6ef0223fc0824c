"""Accuracy of witt_mao_magnification far from the source (x = u/rho > 100), per decade of x,
over source radii across the double range.

    python benchmarks/accuracy_uniform_far.py [--quick]

The reference is the mean-value expansion of the point-lens magnification A over the uniform
disk, sum_k (rho^2/4)^k / (k! (k+1)!) Laplacian^k A(u), evaluated in mpmath at 50 digits from
the Taylor polynomial of A about u^2 (in t = r^2 the Laplacian is 4 d/dt (t d/dt)); with
rho/u <= 0.01 eight terms leave less than 1e-30; below u = 1e-10, where A = 1/r to 1e-20, the
same expansion of 1/r in closed form. u is taken as the kernel rounds it, x*rho.
"""

import argparse
import functools
import math
import random

import mpmath
import obrivane

LARGEST = 1.7976931348623157e308


@functools.cache
def disk_average(u: float, rho: float, terms: int = 8):
    with mpmath.workdps(50):
        t0 = mpmath.mpf(u) ** 2
        if u < 1e-10:
            # A(r) = (1/r)(1 + O(r^2)), and in the plane Laplacian^k r^-1 = ((2k-1)!!)^2 r^-(2k+1).
            ratio = (mpmath.mpf(rho) / u) ** 2 / 4
            return sum(
                ratio**k
                * mpmath.fac2(2 * k - 1) ** 2
                / (mpmath.factorial(k) * mpmath.factorial(k + 1))
                for k in range(terms)
            ) / mpmath.mpf(u)
        if t0 > mpmath.mpf(10) ** 40:
            # A = 1 + 2/u^4 + ...: the disk terms are below 1e-80 of it.
            return 1 + 2 / t0**2
        c = mpmath.taylor(lambda t: (t + 2) / mpmath.sqrt(t * (t + 4)), t0, 2 * terms)
        total = mpmath.mpf(0)
        for k in range(terms):
            weight = (mpmath.mpf(rho) ** 2 / 4) ** k / (
                mpmath.factorial(k) * mpmath.factorial(k + 1)
            )
            total += weight * c[0]
            first = [(j + 1) * c[j + 1] for j in range(len(c) - 1)]
            second = [(j + 1) * first[j + 1] for j in range(len(first) - 1)]
            shifted = [0] + second
            c = [4 * (first[j] + t0 * second[j] + shifted[j]) for j in range(len(second))]
        return total


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true")
    arguments = parser.parse_args()
    per_decade = 5 if arguments.quick else 20
    generator = random.Random(6)
    radii = [5e-324, 1e-300, 1e-100, 1e-8, 1e-4, 1e-2, 1.0, 1e2, 1e100, 1e300]
    decades = [(2, 3), (3, 4), (4, 5), (5, 6), (6, 7), (7, 8), (8, 10), (10, 150), (150, 308)]
    print(f"{'x range':>18} {'worst relative error':>22} {'below 1':>8} {'points':>7}")
    for low, high in decades:
        worst, below_one, points = 0.0, 0, 0
        for rho in radii:
            xs = [10 ** generator.uniform(low, high) for _ in range(per_decade)]
            xs = [x for x in xs if x * rho < LARGEST]
            for x, value in zip(xs, obrivane.witt_mao_magnification(xs, 1.0, rho), strict=True):
                expected = disk_average(x * rho, rho)
                points += 1
                if value < 1:
                    below_one += 1
                if expected > LARGEST:
                    error = 0.0 if value == math.inf else math.inf
                else:
                    error = float(abs(value - expected) / expected)
                worst = max(worst, error)
        print(f"{f'[1e{low}, 1e{high}]':>18} {worst:22.2e} {below_one:8d} {points:7d}")


if __name__ == "__main__":
    main()
