"""Magnification of the linearly interpolated table profile (0 outside its radii) as a
one-dimensional integral over the source radius, A = int 2 pi x I(x) A_ring(x) dx / int 2 pi x I dx,
with the thin-ring magnification of the module's ring function and mpmath's double-precision
tanh-sinh rule on every piece between neighbouring table radii, split again at the ring through
the lens (x = s), where A_ring has its logarithmic singularity. Independent of the by-parts
evaluation of the integrated functions; fast enough for tables of a thousand rows.
"""

import math

import obrivane
from mpmath import fp


def pieces(bl, bf):
    """(a, b, I(a), I(b)) for every piece of the interpolant inside [0, 1], radii ascending."""
    result = []
    for j in range(len(bl) - 1):
        x0, x1, y0, y1 = bl[j], bl[j + 1], bf[j], bf[j + 1]
        a, b = max(x0, 0.0), min(x1, 1.0)
        if b <= a:
            continue
        slope = (y1 - y0) / (x1 - x0)
        result.append((a, b, y0 + slope * (a - x0), y0 + slope * (b - x0)))
    return result


def flux(bl, bf):
    """int_0^1 2 pi x I dx, exactly: int_a^b x I dx = (b - a)(I(a)(2a + b) + I(b)(a + 2b))/6."""
    total = 0.0
    for a, b, fa, fb in pieces(bl, bf):
        total += (b - a) * (fa * (2 * a + b) + fb * (a + 2 * b)) / 6
    return 2 * math.pi * total


def magnification(s, rho, bl, bf):
    """s in source radii, rho the source radius in Einstein radii."""

    def ring(x):
        # The ring through the lens itself is infinite; it has no weight in the integral.
        return 0.0 if x == s else obrivane.heyrovsky_magnification(s, x, 1.0, rho)

    total = 0.0
    for a, b, fa, fb in pieces(bl, bf):
        slope = (fb - fa) / (b - a)

        def integrand(x, a=a, fa=fa, slope=slope):
            return 2 * math.pi * x * (fa + slope * (x - a)) * ring(x)

        points = [a, s, b] if a < s < b else [a, b]
        total += fp.quad(integrand, points)
    return total / flux(bl, bf)
