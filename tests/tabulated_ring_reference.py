"""Magnification of the linearly interpolated table profile (0 outside its radii) to about 20
digits, for checks of A - 1 where it is small (large sources) and of narrow features:
A - 1 = int_0^1 2 pi x I(x) (A_ring(x) - 1) dx / int_0^1 2 pi x I dx, at mpmath's working
precision, with the thin-ring magnification in closed form.

The ring. With w = |u|^2 the squared distance of a ring point from the lens (Einstein radii),
A_ps = (w + 2)/sqrt(w (w + 4)) = (sqrt(w/(w + 4)) + sqrt((w + 4)/w)) / 2. On the ring of radius
R about a centre U from the lens, w = A cos^2 t + B sin^2 t (t half the polar angle,
A = (U - R)^2, B = (U + R)^2) and w + 4 = C cos^2 t + D sin^2 t (C = A + 4, D = B + 4). With
u = tan^2 t, int_0^(pi/2) (A cos^2 + B sin^2) dt / sqrt((A cos^2 + B sin^2)(C cos^2 + D sin^2))
= (B R_F + (A - B) R_J / 3) / sqrt(B D), R_F = R_F(0, A/B, C/D), R_J = R_J(0, A/B, C/D, 1)
(Carlson's symmetric integrals), and the same with C, D for the numerator w + 4. Since
A - B = C - D = -4 U R,
    A_ring = ((B + D) R_F - (8 U R / 3) R_J) / (pi sqrt(B D)).

The radial integral. A_ring - 1 is analytic in the ring radius x except at the ring through the
lens, x = l (a logarithmic singularity), and at x = l +- 2i/rho off the axis. The radii are cut
into panels [l + 2^-(k+1), l + 2^-k] (and mirrored) graded towards l down to 2^-70, whose
contribution below is beneath 1e-20; on each panel A_ring - 1 is a Chebyshev interpolant at 40
points, the nearest singularity lying at least half a panel width beyond its end (an error below
1e-20). The table's pieces, cut at the panel ends, are summed with Gauss-Legendre rules on that
interpolant: the profile times x is quadratic on a piece, so 48 points are exact wherever a piece
covers a whole panel and 8 points leave below 1e-25 on a piece narrower than a twentieth of it.
"""

import bisect
import functools

import mpmath

DPS = 24
PANEL_POINTS = 40
DEEPEST = 70


def ring_minus_one(U, R):
    """A_ring - 1 for a ring of radius R about a centre U from the lens (Einstein radii, mpf)."""
    if U == 0 or R == 0:
        w = (U - R) ** 2
        return (w + 2) / mpmath.sqrt(w * (w + 4)) - 1
    A = (U - R) ** 2
    B = (U + R) ** 2
    C, D = A + 4, B + 4
    rf = mpmath.elliprf(0, A / B, C / D)
    rj = mpmath.elliprj(0, A / B, C / D, 1)
    return ((B + D) * rf - (8 * U * R / 3) * rj) / (mpmath.pi * mpmath.sqrt(B * D)) - 1


@functools.cache
def _gauss(n):
    """Gauss-Legendre nodes and weights on [-1, 1] at the working precision (Newton's method)."""
    nodes, weights = [], []
    for i in range(1, n + 1):
        x = mpmath.cos(mpmath.pi * (i - mpmath.mpf(1) / 4) / (n + mpmath.mpf(1) / 2))
        for _ in range(100):
            p0, p1 = mpmath.mpf(1), x
            for k in range(2, n + 1):
                p0, p1 = p1, ((2 * k - 1) * x * p1 - (k - 1) * p0) / k
            derivative = n * (x * p1 - p0) / (x * x - 1)
            step = p1 / derivative
            x -= step
            if abs(step) < mpmath.mpf(10) ** (-DPS - 4):
                break
        nodes.append(x)
        weights.append(2 / ((1 - x * x) * derivative * derivative))
    return nodes, weights


@functools.cache
def _cosines(n):
    """T_k(t_j) = cos(pi k (j + 1/2) / n) at the working precision."""
    return [
        [mpmath.cos(mpmath.pi * k * (j + mpmath.mpf(1) / 2) / n) for j in range(n)]
        for k in range(n)
    ]


class _Panel:
    """A_ring - 1 on [a, b] as a Chebyshev interpolant in t = (2x - a - b)/(b - a)."""

    def __init__(self, a, b, lens, rho):
        self.a, self.b = a, b
        n = PANEL_POINTS
        samples = []
        for j in range(n):
            t = mpmath.cos(mpmath.pi * (j + mpmath.mpf(1) / 2) / n)
            x = (a + b) / 2 + (b - a) / 2 * t
            samples.append(ring_minus_one(lens * rho, x * rho))
        cosines = _cosines(n)
        self.c = [
            mpmath.fsum(samples[j] * cosines[k][j] for j in range(n)) * (2 if k else 1) / n
            for k in range(n)
        ]

    def __call__(self, x):
        t = (2 * x - self.a - self.b) / (self.b - self.a)
        b1 = b2 = mpmath.mpf(0)
        for c in reversed(self.c[1:]):
            b1, b2 = c + 2 * t * b1 - b2, b1
        return self.c[0] + t * b1 - b2


def _panels(lens, rho):
    """Panels covering [0, 1] minus the 2^-DEEPEST neighbourhood of the lens ring x = lens."""
    edges = {mpmath.mpf(0), mpmath.mpf(1)}
    for k in range(DEEPEST + 1):
        for side in (-1, 1):
            x = lens + side * mpmath.mpf(2) ** -k
            if 0 < x < 1:
                edges.add(x)
    if 0 < lens < 1:
        edges.add(lens)
    cut = mpmath.mpf(2) ** -DEEPEST
    ordered = sorted(edges)
    panels = []
    for a, b in zip(ordered, ordered[1:], strict=False):
        if b - a <= cut and (abs(a - lens) <= cut or abs(b - lens) <= cut):
            continue
        panels.append(_Panel(a, b, lens, rho))
    return panels


def pieces(bl, bf):
    """(a, b, I(a), I(b)) for every piece of the interpolant inside [0, 1], as mpf."""
    result = []
    for j in range(len(bl) - 1):
        x0, x1 = mpmath.mpf(bl[j]), mpmath.mpf(bl[j + 1])
        y0, y1 = mpmath.mpf(bf[j]), mpmath.mpf(bf[j + 1])
        a, b = max(x0, 0), min(x1, 1)
        if b <= a:
            continue
        slope = (y1 - y0) / (x1 - x0)
        result.append((a, b, y0 + slope * (a - x0), y0 + slope * (b - x0)))
    return result


def magnification_minus_one(s, rho, bl, bf):
    """A - 1 (an mpf) for the lens at s source radii from the centre of a source of radius rho
    (Einstein radii); radii bl and brightness bf of the table as floats."""
    with mpmath.workdps(DPS):
        lens, rho = mpmath.mpf(s), mpmath.mpf(rho)
        table = pieces(bl, bf)
        flux = mpmath.fsum(
            (b - a) * (fa * (2 * a + b) + fb * (a + 2 * b)) / 6 for a, b, fa, fb in table
        )
        ends = [b for _, b, _, _ in table]
        total = []
        for panel in _panels(lens, rho):
            for a, b, fa, fb in table[bisect.bisect_right(ends, panel.a) :]:
                if a >= panel.b:
                    break
                lo, hi = max(a, panel.a), min(b, panel.b)
                if hi <= lo:
                    continue
                slope = (fb - fa) / (b - a)
                nodes, weights = _gauss(8 if (hi - lo) * 20 < panel.b - panel.a else 48)
                middle, half = (lo + hi) / 2, (hi - lo) / 2
                for t, w in zip(nodes, weights, strict=True):
                    x = middle + half * t
                    total.append(w * half * x * (fa + slope * (x - a)) * panel(x))
        return mpmath.fsum(total) / flux
