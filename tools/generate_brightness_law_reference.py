"""Generate tests/brightness_law_reference.json: reference magnification integrals of the
brightness profiles mu^p (and mu ln mu) over a source, by a direct two-dimensional integral.

For a source of radius rho (Einstein radii) whose centre lies s source radii from the lens, and a
profile I(x) of the distance x from the centre (source radii), mu = sqrt(1 - x^2),

    M = integral_0^1 2 x I(x) R(x) dx,
    R(x) = (1/pi) integral_0^pi A(rho sqrt((x - s)^2 + 4 x s sin^2(psi/2))) dpsi,

R the mean of the point-lens magnification A(u) = (u^2 + 2)/(u sqrt(u^2 + 4)) over the circle of
radius x about the centre (polar coordinates about the source centre). M is the profile's flux
times its magnification (the flux of mu^p is 2/(p + 2), that of mu ln mu -2/9).

The circle mean is elliptic. With phi = psi/2, D = d^2 = a + b sin^2(phi), a = rho^2 (x - s)^2,
b = 4 rho^2 x s, A = (D + 2)/sqrt(D (D + 4)), and t = sin^2(phi),
    R = (1/pi) integral_0^1 (a + 2 + b t) dt / sqrt(t (1 - t) (a + b t) (a + 4 + b t)),
and t = 1/(1 + tau) turns the two integrals into Carlson's (homogeneity scales them):
    integral dt / sqrt(...) = 2 R_F(0, X, Y),  integral t dt / sqrt(...) = (2/3) P R_J(0, X, Y, P),
    X = (a + b)(a + 4), Y = a (a + b + 4), P = a (a + 4).
ring_mean_by_quadrature is the same mean by direct quadrature, to check this one
(tests/models/test_brightness_laws.py). The outer integral is mpmath's tanh-sinh quadrature at 30
digits, split at x = s, where R has a logarithmic singularity; it reuses the values of R across
profiles (the nodes of one interval are the same for every integrand). Values are kept to 25
digits.

Usage: python3 tools/generate_brightness_law_reference.py [OUTPUT] [--jobs N]
(default: print the JSON). A few seconds per case.
"""

from __future__ import annotations

import json
import sys
from concurrent.futures import ProcessPoolExecutor

import mpmath
from header_rendering import write_rendered_with_jobs

DPS = 30
KEPT_DIGITS = 25

# Profiles by name: the power p of mu, or "log" for mu ln mu.
PROFILES = {"0": 0, "0.5": 0.5, "1": 1, "2": 2, "log": "log", "0.3": 0.3, "2.7": 2.7}

LIMB = (1 - 1e-12, 1.0, 1 + 1e-12)
# (s, rho): the lens over the centre, inside, at and about the limb, just inside the switch to the
# far series (four radii) and beyond it, for source radii over the range of the accuracy bounds,
# among them the largest radius of each band of node counts (0.01, 0.1, 0.3, 1, 3, 10), and
# either side of where the angle integrals change rules (0.9 and 1.25 source radii).
CASES = (
    [(s, rho) for rho in (1e-5, 0.01, 0.5, 3.0) for s in (0.0, 0.5, *LIMB, 1.001, 1.7, 3.9, 4.2)]
    + [(s, rho) for rho in (1e-3, 0.1, 0.3, 1.0) for s in (0.0, 0.9, 0.999, *LIMB, 1.001, 2.5)]
    + [(s, rho) for rho in (10.0, 100.0, 1000.0) for s in (0.0, 0.6, 1.0, 1.5)]
    + [
        (s, rho)
        for rho in (1e-5, 0.01, 0.5, 3.0, 10.0)
        for s in (0.9, 0.9 * (1 + 1e-9), 1.25 * (1 - 1e-9), 1.25)
    ]
    + [(1e3, 1e-3), (1e6, 1e-5)]
    # Where an adaptive stop of the angle rule once left errors of 2e-13 and 7e-13.
    + [(0.9787501, 0.2), (0.9962501, 0.2)]
    # Within the bands either side of the limb, where the angle integrals take graded panels.
    + [(s, rho) for rho in (0.01, 1.0, 10.0) for s in (0.95, 1.021, 1.08, 1.15)]
    # Well inside, where the periodic trapezoidal rule in the angle takes from one to fifteen
    # intervals, and well outside, where the lines are taken in t.
    + [(s, rho) for rho in (0.01, 0.1, 1.0, 3.0) for s in (0.1, 0.3, 0.7, 0.85)]
    + [(s, rho) for rho in (0.3, 3.0) for s in (1.3, 2.0)]
)


def point_lens(u):
    u2 = u * u
    return (u2 + 2) / (u * mpmath.sqrt(u2 + 4))


def ring_mean(x, s, rho):
    if x == 0 or s == 0:
        return point_lens(rho * abs(x - s))
    a = (rho * (x - s)) ** 2
    if a == 0:
        # A node of the outer rule that rounds onto the circle through the lens, where the mean
        # is logarithmically infinite: its weight is below 1e-40, so it is left out.
        return mpmath.mpf(0)
    b = 4 * rho * rho * x * s
    X, Y, P = (a + b) * (a + 4), a * (a + b + 4), a * (a + 4)
    first = 2 * mpmath.elliprf(0, X, Y)
    second = mpmath.mpf(2) / 3 * P * mpmath.elliprj(0, X, Y, P)
    return ((a + 2) * first + b * second) / mpmath.pi


def ring_mean_by_quadrature(x, s, rho):
    if x == 0 or s == 0:
        return point_lens(rho * abs(x - s))
    d = x - s

    def integrand(psi):
        return point_lens(rho * mpmath.sqrt(d * d + 4 * x * s * mpmath.sin(psi / 2) ** 2))

    # The peak at psi = 0 has the width |d|/sqrt(x s): break points there and at ten-fold
    # multiples of it.
    points = [mpmath.mpf(0)]
    width = abs(d) / mpmath.sqrt(x * s)
    while width < mpmath.pi:
        if width > 0:
            points.append(width)
        width *= 10
    points.append(mpmath.pi)
    return mpmath.quad(integrand, points) / mpmath.pi


def brightness(profile, x):
    mu = mpmath.sqrt((1 - x) * (1 + x))
    if profile == "log":
        return mu * mpmath.log(mu) if mu > 0 else mpmath.mpf(0)
    return mu**profile


def case_integrals(case):
    s, rho = case
    with mpmath.workdps(DPS):
        s_mp, rho_mp = mpmath.mpf(s), mpmath.mpf(rho)
        cache = {}

        def ring(x):
            if x not in cache:
                cache[x] = ring_mean(x, s_mp, rho_mp)
            return cache[x]

        points = [mpmath.mpf(0), mpmath.mpf(1)]
        if 0 < s_mp < 1:
            points.insert(1, s_mp)
        values = {}
        for name, profile in PROFILES.items():
            integral = mpmath.quad(lambda x, p=profile: 2 * x * brightness(p, x) * ring(x), points)
            values[name] = mpmath.nstr(integral, KEPT_DIGITS, strip_zeros=False)
    return {"s": s, "rho": rho, "integrals": values}


def reference_document(case_row, cases, dps, profiles, jobs: int = 1) -> str:
    """The JSON of the rows case_row(case) of every case, computed by `jobs` worker processes,
    with the working precision and the profiles' names; progress on standard error. The
    generators of the other references of brightness profiles share it."""
    with ProcessPoolExecutor(max_workers=jobs) as pool:
        rows = []
        for row in pool.map(case_row, cases):
            rows.append(row)
            print(f"{len(rows)}/{len(cases)}", file=sys.stderr, flush=True)
    return reference_json(dps, list(profiles), rows)


def reference_json(dps, profiles, rows) -> str:
    """The document, one case to a line."""
    cases = ",\n".join("  " + json.dumps(row) for row in rows)
    head = f'{{\n "dps": {json.dumps(dps)},\n "profiles": {json.dumps(profiles)},\n'
    return head + f' "cases": [\n{cases}\n ]\n}}\n'


def render(jobs: int = 1) -> str:
    return reference_document(case_integrals, CASES, DPS, PROFILES, jobs)


def main(argv: list[str]) -> int:
    return write_rendered_with_jobs(render, argv)


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
