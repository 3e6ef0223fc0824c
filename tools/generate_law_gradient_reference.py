"""Generate tests/law_gradient_reference.json: reference magnification integrals of the brightness
profiles mu^p, mu ln mu and mu^alpha ln mu over a source, with their partial derivatives in the
separation u and the source radius rho (both in Einstein radii).

The integral of a profile I over the source, M(u, rho) = (1/(pi rho^2)) integral I(mu) A d^2x, is
the two-dimensional integral of tools/generate_brightness_law_reference.py: the mean of the
point-lens magnification over each circle about the source centre (elliptic, Carlson's R_F and R_J),
integrated over the circle's radius by mpmath's tanh-sinh rule, split where the circle passes the
lens. It is computed here at DPS digits, where its own error is far below the steps below.

The derivatives are central differences of that integral, (M(u + h) - M(u - h)) / (2 h) and the
same in rho, with h = 1e-12 max(u, rho), or 1e-8 |u - rho| when that is smaller: the uniform
profile's integral has a (u - rho) ln|u - rho| term at the limb, and the others |u - rho|^(1+p/2)
terms, so the step stays far inside the distance to the limb. The difference's truncation error is
then below a relative 1e-16 and its rounding below 1e-30. With the lens over the centre the
derivative in u is 0 by symmetry, and is stored as 0. On the limb itself (u = rho exactly) only
the integrals are stored: there the uniform profile's derivatives are infinite and the others'
derivatives are not smooth enough for a central difference.

The profile mu^alpha ln mu is the derivative of mu^alpha in alpha, which the power-2 law's
derivative in alpha needs; "0.3log" stands for mu^0.3 ln mu. Values are kept to 25 digits.

Usage: python3 tools/generate_law_gradient_reference.py [OUTPUT] [--jobs N]
(default: print the JSON). About a minute per case.
"""

from __future__ import annotations

import sys

import generate_brightness_law_reference as base
import mpmath
from header_rendering import write_rendered_with_jobs

DPS = 45
KEPT_DIGITS = 25

# Profiles by name: the power p of mu, "log" for mu ln mu, "<p>log" for mu^p ln mu.
PROFILES = {
    "0": (0, False),
    "0.5": (0.5, False),
    "1": (1, False),
    "2": (2, False),
    "log": (1, True),
    "0.3": (0.3, False),
    "2.7": (2.7, False),
    "0.3log": (0.3, True),
    "2.7log": (2.7, True),
}

LIMB = (1 - 1e-12, 1.0, 1 + 1e-12)
# (s, rho), s = u/rho the separation in source radii: the lens over the centre and just beside
# it, inside, about the limb (at 1e-12 and 1e-6 of it), either side of where the value's angle
# integrals change rules (0.9 and 1.25), and either side of the switch to the far series (four
# radii), for source radii from 1e-5 to 1000, among them the radius where the values change
# method (10); and a few far from the source.
CASES = (
    [
        (s, rho)
        for rho in (1e-5, 0.01, 0.5, 3.0)
        for s in (0.0, 1e-3, 0.5, 0.9, 1 - 1e-6, *LIMB, 1 + 1e-6, 1.25, 2.5, 3.9, 4.2)
    ]
    + [(s, rho) for rho in (10.0, 100.0, 1000.0) for s in (0.0, 0.6, *LIMB, 1.5, 4.2)]
    + [(30.0, 0.1), (1e3, 1e-3), (1e6, 1e-5)]
    # Large sources, where the linear and quadratic laws' derivatives come from the rays: by the
    # angle rules' switch (0.65 at 10.5), well inside, nearer the limb, just outside; and where
    # the square-root and logarithmic laws' come from them too: 2 Einstein radii inside the limb
    # (at 100 and 300 radii), between the trapezoidal and quarter angle rules (0.8 at 30),
    # and outside, where the rays take the tangent's rules (1.1 and 1.225 at 10.5).
    + [(0.65, 10.5), (0.3, 30.0), (0.95, 100.0), (1.1, 30.0), (1.02, 100.0)]
    + [(1.225, 10.5), (0.98, 100.0), (1 - 2.01 / 300, 300.0), (0.8, 30.0), (1.1, 10.5)]
)


def brightness(profile, x):
    power, logarithmic = profile
    mu = mpmath.sqrt((1 - x) * (1 + x))
    if mu == 0:
        return mpmath.mpf(0) if power > 0 or logarithmic else mpmath.mpf(1)
    value = mu**power
    return value * mpmath.log(mu) if logarithmic else value


def integrals(u, rho):
    """M(u, rho) of every profile, by name."""
    s = u / rho
    cache = {}

    def ring(x):
        if x not in cache:
            cache[x] = base.ring_mean(x, s, rho)
        return cache[x]

    points = [mpmath.mpf(0), mpmath.mpf(1)]
    if 0 < s < 1:
        points.insert(1, s)
    elif 1 < s < 2:
        # The circle through the lens lies just outside the source: a break point as far inside.
        points.insert(1, 2 - s)
    return {
        name: mpmath.quad(lambda x, p=profile: 2 * x * brightness(p, x) * ring(x), points)
        for name, profile in PROFILES.items()
    }


def step(u, rho):
    h = mpmath.mpf(10) ** -12 * max(u, rho)
    if u != rho:
        h = min(h, mpmath.mpf(10) ** -8 * abs(u - rho))
    return h


def case_reference(case):
    s, rho = case
    u = s * rho  # the double the tests pass
    with mpmath.workdps(DPS):
        u_mp, rho_mp = mpmath.mpf(u), mpmath.mpf(rho)
        values = integrals(u_mp, rho_mp)
        row = {"u": u, "rho": rho, "integrals": _kept(values)}
        if u_mp == rho_mp:
            return row
        h = step(u_mp, rho_mp)
        if u == 0:
            d_u = {name: mpmath.mpf(0) for name in PROFILES}
        else:
            plus, minus = integrals(u_mp + h, rho_mp), integrals(u_mp - h, rho_mp)
            d_u = {name: (plus[name] - minus[name]) / (2 * h) for name in PROFILES}
        plus, minus = integrals(u_mp, rho_mp + h), integrals(u_mp, rho_mp - h)
        d_rho = {name: (plus[name] - minus[name]) / (2 * h) for name in PROFILES}
        row["d_u"] = _kept(d_u)
        row["d_rho"] = _kept(d_rho)
    return row


def _kept(values):
    return {
        name: mpmath.nstr(value, KEPT_DIGITS, strip_zeros=False) for name, value in values.items()
    }


def render(jobs: int = 1) -> str:
    return base.reference_document(case_reference, CASES, DPS, PROFILES, jobs)


def main(argv: list[str]) -> int:
    return write_rendered_with_jobs(render, argv)


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
