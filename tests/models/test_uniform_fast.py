"""The uniform-disk magnification from Bulirsch's two-integral form (uniform_disk_fast.cpp, the
kernel behind uniform_disk_magnification_accurate) against the Witt-Mao closed form evaluated by
mpmath at 50 digits and more, against a direct integration of the point-lens magnification over
the disk, at its limits, and for invalid geometry. Errors are relative, in units of the machine
epsilon 2^-52 (about one ulp); the bound everywhere is 1e-14, about 45 of them."""

import math
import random

import mpmath as mp
import pytest

EPSILON = 2.0**-52
LARGEST = 1.7976931348623157e308


def witt_mao(u: float, rho: float):
    """The closed form with mpmath's K, E and Pi at 50 digits, plus the digits lost to 1 - n =
    (u - rho)^2/(u + rho)^2 near the limb and to the cancellation of its terms, about (u/rho)^2,
    far from it; at u = 0 and on the limb, their limits."""
    if u == 0:
        with mp.workdps(50):
            rho = mp.mpf(rho)
            return mp.sqrt(rho * rho + 4) / rho
    lost = 2 * abs(math.log10(abs(u + rho) / abs(u - rho))) if u != rho else 0
    lost += 2 * max(0.0, math.log10(u / rho))
    with mp.workdps(50 + int(lost)):
        u, rho = mp.mpf(u), mp.mpf(rho)
        if u == rho:
            return (2 / rho + (rho**2 + 1) / rho**2 * 2 * mp.atan(rho)) / mp.pi
        d, s = u - rho, u + rho
        n = 4 * u * rho / s**2
        m = 4 * n / (4 + d**2)
        root = mp.sqrt(4 + d**2)
        return (
            s * root / (2 * rho**2) * mp.ellipe(m)
            - d * (8 + u**2 - rho**2) / (2 * rho**2 * root) * mp.ellipk(m)
            + 2 * d**2 * (1 + rho**2) / (rho**2 * s * root) * mp.ellippi(n, m)
        ) / mp.pi


def error_in_epsilons(actual: float, expected) -> float:
    if float(expected) > LARGEST:
        return 0.0 if actual == math.inf else math.inf
    # At 30 digits, whatever precision other tests left mpmath at: the difference keeps its digits.
    with mp.workdps(30):
        return float(abs(mp.mpf(actual) - expected) / expected) / EPSILON


# ---------------------------------------------------------------------------------------------
# Accuracy band by band, each at its worst points, over the radii 1e-6 to 1e3; each bound is the
# measured worst over the grid, rounded up (a seeded random sweep below covers what lies between).

RADII = [1e-6, 1e-4, 0.01, 0.1, 0.5, 1.0, 2.0, 10.0, 100.0, 1e3]

BANDS = {
    # Around the lens and inside the limb both integrands are positive: no cancellation at all.
    "centre": ([0.0, 1e-15, 1e-9, 1e-5, 0.01, 0.1], 3),
    "inside": ([0.3, 0.5, 0.7, 0.9, 0.99], 3),
    # The limb: the Pi term's n -> 1 limit, from both sides and on it.
    "limb": (
        [1 - 1e-3, 1 - 1e-6, 1 - 1e-9, 1 - 1e-12, 1 - 2**-52, 1.0]
        + [1 + 2**-52, 1 + 1e-12, 1 + 1e-9, 1 + 1e-6, 1 + 1e-3],
        4,
    ),
    "outside": ([1.01, 1.1, 1.5, 2.0], 5),
    # Beyond 2 rho the two integrals cancel, by a factor up to about 8 at the switch.
    "cancelling": ([2.5, 3.0, 3.5, 3.9, 4 - 1e-9, 4 - 2**-50], 9),
    # The mean-value series beyond the switch.
    "far": ([4.0, 4 + 1e-9, 4.5, 10.0, 100.0, 1e4], 2),
}


@pytest.mark.parametrize("band", list(BANDS))
@pytest.mark.parametrize("rho", RADII)
def test_band(testing_module, band, rho):
    separations, bound = BANDS[band]
    for x in separations:
        u = x * rho
        actual = testing_module.uniform_disk_magnification_fast(u, rho)
        assert error_in_epsilons(actual, witt_mao(u, rho)) <= bound, (u, rho)


def sweep_points(count: int, seed: int):
    """Log-uniform radii; half the separations where the integrals cancel, a third within a
    factor 10^-15 to 0.5 of the limb, the rest inside twice the radius."""
    rng = random.Random(seed)
    points = []
    for _ in range(count):
        rho = 10.0 ** rng.uniform(-6, 3)
        kind = rng.random()
        if kind < 0.5:
            x = rng.uniform(2, 4)
        elif kind < 0.8:
            x = 1 + rng.choice([-1, 1]) * 10.0 ** rng.uniform(-15, -0.3)
        else:
            x = rng.uniform(0, 2)
        points.append((x * rho, rho))
    return points


def test_random_sweep(testing_module):
    # Over 16000 such points (two other seeds) the worst was 13.3 epsilons, near u = 4 rho; 1e-14
    # is 45.
    worst = max(
        error_in_epsilons(testing_module.uniform_disk_magnification_fast(u, rho), witt_mao(u, rho))
        for u, rho in sweep_points(150, 21)
    )
    assert worst <= 1e-14 / EPSILON


def test_profile_models_use_it(testing_module):
    # The cancellation-free evaluation of the profile models is this kernel inside four radii.
    for rho in (1e-3, 0.7, 50.0):
        for x in (0.0, 0.4, 1.0, 1 + 1e-10, 3.2):
            u = x * rho
            fast = testing_module.uniform_disk_magnification_fast(u, rho)
            assert testing_module.uniform_disk_magnification_accurate(u, rho) == fast


# ---------------------------------------------------------------------------------------------
# Physics: the mean of the point-lens magnification over the disk, integrated directly.


def disk_average(u: float, rho: float):
    """Mean of A(r) = (r^2 + 2)/(r sqrt(r^2 + 4)) over the disk, in polar coordinates about the
    lens: the circle of radius r lies in the disk over an angle 2 pi for r < rho - u and
    2 acos((r^2 + u^2 - rho^2)/(2 r u)) for |u - rho| < r < u + rho."""
    with mp.workdps(25):
        u, rho = mp.mpf(u), mp.mpf(rho)

        def weighted(r):
            return (r * r + 2) / mp.sqrt(r * r + 4)

        def arc(r):
            cosine = (r * r + u * u - rho * rho) / (2 * r * u)
            return weighted(r) * 2 * mp.acos(max(-1, min(1, cosine)))

        inner = abs(u - rho)
        total = 2 * mp.pi * mp.quad(weighted, [0, inner]) if u < rho else mp.mpf(0)
        total += mp.quad(arc, [inner, (inner + u + rho) / 2, u + rho])
        return total / (mp.pi * rho * rho)


@pytest.mark.parametrize("u, rho", [(0.05, 0.1), (0.1, 0.1), (0.37, 0.1), (1.2, 1.5), (2.5, 0.8)])
def test_against_direct_integration(testing_module, u, rho):
    actual = testing_module.uniform_disk_magnification_fast(u, rho)
    assert error_in_epsilons(actual, disk_average(u, rho)) <= 16


# ---------------------------------------------------------------------------------------------
# Limits: tiny and huge sources, and invalid geometry.

TINY = [5e-324, 1e-310, 1e-200, 2.0**-200, math.nextafter(2.0**-200, 0.0), 1e-100, 1e-30]


@pytest.mark.parametrize("rho", TINY)
@pytest.mark.parametrize("x", [0.0, 0.5, 1.0, 1 + 1e-9, 2.0, 3.9, 8.0])
def test_tiny_sources(testing_module, rho, x):
    # Scaled by a power of two to 2^-200 and back, exactly; the 1/size law holds to O(rho^2).
    u = x * rho
    if u == 0 and x != 0:
        return
    assert (
        error_in_epsilons(testing_module.uniform_disk_magnification_fast(u, rho), witt_mao(u, rho))
        <= 16
    )


@pytest.mark.parametrize("x", [0.0, 1e-30, 0.5, 1.0, 1 + 1e-12, 2.0, 4.0, 10.0])
def test_tiny_separations_far_from_tiny_sources(testing_module, x):
    # u below 2^-200 with the disk clear of the lens: the series at a scaled separation.
    rho = 1e-250
    u = max(x, 4.5) * rho
    assert (
        error_in_epsilons(testing_module.uniform_disk_magnification_fast(u, rho), witt_mao(u, rho))
        <= 4
    )


@pytest.mark.parametrize("rho", [1e4, 1e6, 1e8, 1e9, math.nextafter(1e9, 2e9)])
@pytest.mark.parametrize("x", [0.0, 0.5, 1.0, 1 + 1e-9, 2.0, 3.5, 5.0])
def test_large_sources(testing_module, rho, x):
    # The magnification tends to 1 + 2/rho^2; beyond 1e9 that rounds to 1.
    u = x * rho
    actual = testing_module.uniform_disk_magnification_fast(u, rho)
    assert actual >= 1
    assert error_in_epsilons(actual, witt_mao(u, rho)) <= 4


@pytest.mark.parametrize("rho", [1e12, 1e100, LARGEST])
@pytest.mark.parametrize("u", [0.0, 1e12, 1e300, math.inf])
def test_indistinguishable_sources(testing_module, rho, u):
    assert testing_module.uniform_disk_magnification_fast(u, rho) == 1.0


@pytest.mark.parametrize("rho", [1e-300, 0.1, 1e8])
def test_infinite_separation(testing_module, rho):
    assert testing_module.uniform_disk_magnification_fast(math.inf, rho) == 1.0


@pytest.mark.parametrize(
    "u, rho",
    [
        (-1e-300, 0.1),
        (-1.0, 0.1),
        (-math.inf, 0.1),
        (math.nan, 0.1),
        (0.1, 0.0),
        (0.0, 0.0),
        (0.1, -0.0),
        (0.1, -0.1),
        (0.1, math.inf),
        (math.inf, math.inf),
        (0.1, -math.inf),
        (0.1, math.nan),
        (math.inf, math.nan),
    ],
)
def test_invalid_geometry_gives_nan(testing_module, u, rho):
    assert math.isnan(testing_module.uniform_disk_magnification_fast(u, rho))
