"""Independent references for the ring and profile magnifications, by direct numerical
integration of the point-lens magnification A(u) = (u^2 + 2)/(u sqrt(u^2 + 4)) with mpmath's
tanh-sinh quadrature (with its own error control), split at every radius where an integrand is
not smooth.

Lengths are in stellar radii: s is the distance of the source centre from the lens, q the
Einstein radius in the same unit (q = re/rstar = 1/rho), so a point at distance t from the lens
has u = t/q.
"""

import math
from collections.abc import Sequence

import mpmath
from mpmath import fp

RING_DPS = 25


def _point_lens(u):
    u2 = u * u
    return (u2 + 2) / (u * mpmath.sqrt(u2 + 4))


def point_lens(u: float) -> float:
    u2 = u * u
    return (u2 + 2) / (u * math.sqrt(u2 + 4))


def ring_average(s: float, r: float, q: float):
    """Mean of A(u) over the ring of radius r centred at distance s from the lens, to 25 digits
    (an mpmath number)."""
    with mpmath.workdps(RING_DPS):
        s, r, q = mpmath.mpf(s), mpmath.mpf(r), mpmath.mpf(q)
        d = r - s
        if s == 0 or r == 0:
            return _point_lens(abs(d) / q)

        # psi is the angle from the ring point nearest the lens; the squared distance
        # d^2 + 4 s r sin^2(psi/2) carries no cancellation where the ring passes the lens.
        def integrand(psi):
            distance2 = d * d + 4 * s * r * mpmath.sin(psi / 2) ** 2
            return _point_lens(mpmath.sqrt(distance2) / q)

        # The peak near psi = 0 has the width |d|/sqrt(s r): break points at that width and at
        # ten-fold multiples of it.
        points = [mpmath.mpf(0)]
        width = abs(d) / mpmath.sqrt(s * r)
        while width < mpmath.pi:
            points.append(width)
            width *= 10
        points.append(mpmath.pi)
        return mpmath.quad(integrand, points) / mpmath.pi


class LinearLimbDarkening:
    """I = 1 - 0.6 (1 - mu), mu = sqrt(1 - x^2)."""

    kinks: Sequence[float] = ()

    @staticmethod
    def brightness(x2: float, one_minus_x2: float) -> float:
        return 0.4 + 0.6 * math.sqrt(max(one_minus_x2, 0.0))

    @staticmethod
    def flux() -> float:
        # 2 pi (0.4/2 + 0.6/3)
        return 0.8 * math.pi


class Tabulated:
    """The piecewise-linear interpolant of a table (radii ascending), 0 outside its radii."""

    def __init__(self, bl: Sequence[float], bf: Sequence[float]):
        self.radii = list(bl)
        self.values = list(bf)
        self.kinks = [b for b in bl if 0 < b < 1]

    def __call__(self, x: float) -> float:
        radii, values = self.radii, self.values
        if x < radii[0] or x > radii[-1]:
            return 0.0
        for j in range(len(radii) - 1):
            if x <= radii[j + 1]:
                fraction = (x - radii[j]) / (radii[j + 1] - radii[j])
                return values[j] + fraction * (values[j + 1] - values[j])
        return values[-1]

    def brightness(self, x2: float, one_minus_x2: float) -> float:
        return self(math.sqrt(x2))

    def flux(self) -> float:
        points = [0.0] + self.kinks + [1.0]
        return fp.quad(lambda x: 2 * math.pi * x * self(x), points)


LIMB_DARKENED = LinearLimbDarkening()


def _half_angle(sin2_numerator: float, cos2_numerator: float) -> float:
    """2 atan2(sqrt(a), sqrt(b)): the angle theta with sin^2(theta/2) : cos^2(theta/2) = a : b,
    well conditioned at both ends."""
    return 2 * math.atan2(math.sqrt(max(sin2_numerator, 0.0)), math.sqrt(max(cos2_numerator, 0.0)))


def _arc_brightness(t: float, s: float, profile) -> float:
    """Integral of I over the part of the circle of radius t about the lens that lies on the
    source, in the angle theta about the lens (theta = 0 towards the source centre). On the
    circle x^2 = (t - s)^2 + 4 t s sin^2(theta/2)."""
    if s == 0:
        return 2 * math.pi * profile.brightness(t * t, (1 - t) * (1 + t)) if t < 1 else 0.0
    clipped = t + s > 1
    # Where the circle leaves the source: x = 1.
    theta_limb = (
        _half_angle((1 - t + s) * (1 + t - s), (t + s - 1) * (t + s + 1)) if clipped else math.pi
    )
    half_limb = theta_limb / 2

    def integrand(theta):
        x2 = (t - s) ** 2 + 4 * t * s * math.sin(theta / 2) ** 2
        if clipped:
            one_minus_x2 = (
                4 * t * s * math.sin(half_limb - theta / 2) * math.sin(half_limb + theta / 2)
            )
        else:
            one_minus_x2 = (1 - t + s) * (1 + t - s) - 4 * t * s * math.sin(theta / 2) ** 2
        return profile.brightness(x2, one_minus_x2)

    points = [0.0, theta_limb]
    gap = abs(t - s)
    for b in profile.kinks:
        if gap < b < t + s:
            theta = _half_angle((b - gap) * (b + gap), (t + s - b) * (t + s + b))
            if 0 < theta < theta_limb:
                points.append(theta)
    return 2 * fp.quad(integrand, sorted(points))


def profile_magnification(s: float, q: float, profile=LIMB_DARKENED) -> float:
    """Magnification of a source with the brightness profile I: the two-dimensional integral of
    A(u) I over the source disk divided by its flux, in polar coordinates about the lens."""
    low, high = max(0.0, s - 1), s + 1
    # The circle through the source centre (t = s), where a profile that is not even in x has a
    # kink, and the circles through the limb and through every kink radius.
    points = {low, high, s, abs(1 - s)}
    for b in profile.kinks:
        points.update({abs(s - b), s + b})
    if low < q < high:
        points.add(q)
    points = sorted(p for p in points if low <= p <= high)
    integral = fp.quad(lambda t: t * point_lens(t / q) * _arc_brightness(t, s, profile), points)
    return integral / profile.flux()


def uniform_disk_magnification(s: float, q: float) -> float:
    """The same for a uniformly bright source."""
    return profile_magnification(s, q, Tabulated([0.0, 1.0], [1.0, 1.0]))


def relative_error(actual: float, expected) -> float:
    if math.isnan(actual):
        return math.inf
    return float(abs((mpmath.mpf(actual) - mpmath.mpf(expected)) / mpmath.mpf(expected)))
