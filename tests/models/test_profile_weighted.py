"""integrated_heyrovsky_magnification and integrated_witt_mao_magnification: the magnification of
a limb-darkened source, against a direct two-dimensional integral of the point-lens
magnification over the source weighted by the brightness.

s is the separation of the source centre from the lens in stellar radii (the argument l).
"""

import functools
import math
import random

import mpmath
import obrivane
import pytest
from pool_runs import outputs_with_pool_sizes
from profile_reference import (
    profile_magnification,
    relative_error,
    ring_average,
    uniform_disk_magnification,
)

FAMILIES = [obrivane.integrated_heyrovsky_magnification, obrivane.integrated_witt_mao_magnification]

# Separations in stellar radii: the lens over the centre, inside the source, about the limb, at
# the switch to the far series (four source radii) and far away.
LIMB = [1 + sign * offset for offset in (1e-12, 1e-9, 1e-6, 1e-3) for sign in (1, -1)]
SEPARATIONS = [0.0, 1e-12, 3e-5, 1e-3, 0.3, 0.5, 0.99995, 1.0, 1.2, 2.0, 3.999, 4.001, 5.0] + LIMB
SOURCE_RADII = [1e-4, 1e-3, 0.05, 0.3, 1.0, 3.0, 10.0]
# Far from the source: u/rho = s from 10 to 10^4.
FAR = [(10.0, 1.0), (10.0, 0.1), (0.1, 1e-3), (10.0, 1e-3), (10.0, 1e-2), (1.0, 1e-4)]
LARGE_SOURCES = [30.0, 300.0, 1000.0]

TOLERANCE = 1e-12
# Within 1e-6 of the limb the double-precision source integral of the reference is itself good to
# only about 1e-12 (1.04e-12 at rho = 0.05, l = 1 +- 1e-9, against the closed form of the uniform
# part and a 200 x 200-node line integral of the rest).
NEAR_LIMB_TOLERANCE = 2e-12


def tolerance(s):
    return NEAR_LIMB_TOLERANCE if 0 < abs(s - 1) <= 1e-6 else TOLERANCE


LARGE_SOURCE_TOLERANCE = 1e-10


@pytest.fixture(scope="module")
def reference():
    cache = {}

    def limb_darkened(s, rho):
        if (s, rho) not in cache:
            cache[(s, rho)] = profile_magnification(s, 1 / rho)
        return cache[(s, rho)]

    return limb_darkened


CASES = [(s, rho) for rho in SOURCE_RADII for s in SEPARATIONS] + [(u / rho, rho) for u, rho in FAR]


@pytest.mark.parametrize("family", FAMILIES)
@pytest.mark.parametrize("rho", SOURCE_RADII)
def test_against_the_source_integral(reference, family, rho):
    separations = SEPARATIONS + [u / rho for u, far_rho in FAR if far_rho == rho]
    values = family(separations, 1.0, rho)
    for s, value in zip(separations, values, strict=True):
        assert relative_error(value, reference(s, rho)) < tolerance(s), (s, rho)


@pytest.mark.parametrize("family", FAMILIES)
@pytest.mark.parametrize("rho", LARGE_SOURCES)
def test_large_sources_against_the_source_integral(reference, family, rho):
    separations = [0.0, 0.4, 1.0 - 1e-6, 1.0, 1.0 + 1e-6, 1.5, 3.0, 4.5]
    values = family(separations, 1.0, rho)
    for s, value in zip(separations, values, strict=True):
        assert relative_error(value, reference(s, rho)) < LARGE_SOURCE_TOLERANCE, (s, rho)


def ring_family_integral(s, rho):
    """integral_0^1 2 pi x I(x) A_ring(x) dx / (0.8 pi), the ring averages and the radial
    integral both by mpmath, split at the ring through the lens."""
    with mpmath.workdps(20):

        def integrand(x):
            return (
                2
                * mpmath.pi
                * x
                * (0.4 + 0.6 * mpmath.sqrt(1 - x * x))
                * ring_average(s, x, 1 / rho)
            )

        points = [0, s, 1] if 0 < s < 1 else [0, 1]
        return mpmath.quad(integrand, points) / (0.8 * mpmath.pi)


@pytest.mark.parametrize(("s", "rho"), [(0.0, 0.5), (0.5, 1.0), (1.5, 1.0)])
def test_against_the_ring_family_integral(s, rho):
    expected = ring_family_integral(s, rho)
    for family in FAMILIES:
        (value,) = family([s], 1.0, rho)
        assert relative_error(value, expected) < TOLERANCE


@pytest.mark.parametrize("rho", [1e-4, 2e-3, 0.3, 4.0, 30.0])
def test_the_families_agree(rho):
    separations = [i / 97 for i in range(0, 500)] + LIMB
    rings = obrivane.integrated_heyrovsky_magnification(separations, 1.0, rho)
    disks = obrivane.integrated_witt_mao_magnification(separations, 1.0, rho)
    for ring, disk in zip(rings, disks, strict=True):
        assert abs(disk / ring - 1) <= 1e-12


@pytest.mark.parametrize("family", FAMILIES)
@pytest.mark.parametrize("rho", [1e-4, 0.01, 0.3, 3.0])
def test_continuous_across_the_series_switch(family, rho):
    # On either side of four source radii the evaluations differ (lines through the lens inside,
    # the weighted series outside); the magnification falls smoothly through the switch.
    below, at, above = family([4 - 1e-9, 4.0, 4 + 1e-9], 1.0, rho)
    assert below > at > above
    assert abs(below / above - 1) < 1e-8


@pytest.mark.parametrize("family", FAMILIES)
def test_limb_darkening_brightens_the_centre_and_dims_the_limb(family):
    # Limb darkening concentrates the light towards the centre: a lens over the centre magnifies
    # more than for a uniform source, a lens outside the limb less (at s = 2, rho = 1 the source
    # integrals give 1.07491 against 1.07665).
    centre, outside = family([0.0, 2.0], 1.0, 1.0)
    assert centre > uniform_disk_magnification(0.0, 1.0) * (1 + 1e-3)
    assert outside < uniform_disk_magnification(2.0, 1.0) * (1 - 1e-3)


@pytest.mark.parametrize("family", FAMILIES)
def test_empty_separations(family):
    assert family([], 1.0, 1.0) == []


@pytest.mark.parametrize("family", FAMILIES)
def test_separations_keep_their_order(family):
    separations = [3.0, 0.2, 1.0, 0.0, 0.7]
    together = family(separations, 1.0, 0.5)
    one_by_one = [family([s], 1.0, 0.5)[0] for s in separations]
    assert together == one_by_one


@pytest.mark.parametrize("family", FAMILIES)
@pytest.mark.parametrize("s", [math.nan, math.inf, -math.inf, -0.5, -1e-7])
def test_separation_that_cannot_be_computed_is_nan(family, s):
    values = family([2.0, s, 0.5], 1.0, 1.0)
    assert math.isnan(values[1])
    assert values[0] == family([2.0], 1.0, 1.0)[0]
    assert values[2] == family([0.5], 1.0, 1.0)[0]


@pytest.mark.parametrize("family", FAMILIES)
def test_point_source_radius_zero_is_nan(family):
    assert all(math.isnan(v) for v in family([0.0, 0.5, 2.0], 1.0, 0.0))


@pytest.mark.parametrize("family", FAMILIES)
@pytest.mark.parametrize(
    ("re", "rstar"),
    [
        (0.0, 1.0),
        (-1.0, 1.0),
        (1.0, -1.0),
        (-1.0, -1.0),
        (math.nan, 1.0),
        (1.0, math.nan),
        (math.inf, 1.0),
        (1.0, math.inf),
        (-0.0, 1.0),
    ],
)
def test_radii_that_describe_no_source_give_nan(family, re, rstar):
    assert all(math.isnan(v) for v in family([0.0, 0.5, 1.0, 2.0, 50.0], re, rstar))


@pytest.mark.parametrize("family", FAMILIES)
@pytest.mark.parametrize("rho", [1e-300, 1e-120, 1e-70, 1e-20])
def test_tiny_sources_scale_as_the_inverse_radius(family, rho):
    # Well inside the Einstein radius A(r) = (1/r)(1 + O(r^2)): the magnification times rho
    # depends on the separation in source radii only.
    separations = [0.0, 0.5, 1.0, 2.0, 10.0, 1e3]
    scaled = [value * rho for value in family(separations, 1.0, rho)]
    assert scaled == pytest.approx([v * 1e-8 for v in family(separations, 1.0, 1e-8)], rel=1e-14)


@pytest.mark.parametrize("family", FAMILIES)
@pytest.mark.parametrize("rho", [1e5, 1e8, 1e9, 1e80, 1e300])
def test_huge_sources_are_barely_magnified(family, rho):
    # The excess over 1 is about 2.5/rho^2 with the lens on the source, less beyond.
    for s, value in zip(
        [0.0, 0.5, 1.0, 1.5, 3.0], family([0.0, 0.5, 1.0, 1.5, 3.0], 1.0, rho), strict=True
    ):
        assert 1 <= value <= 1 + 3 / rho / rho + 2.3e-16, (s, value)


@pytest.mark.parametrize("family", FAMILIES)
def test_separations_beyond_any_square(family):
    # l^2 or u^2 overflow: the point-lens magnification is 1 there to all digits.
    values = family([1e155, 1e200, 1.7976931348623157e308], 1.0, 1.0)
    assert values == [1.0, 1.0, 1.0]
    # u = 1 Einstein radius for a tiny source far away: 3/sqrt(5).
    (value,) = family([1e300], 1.0, 1e-300)
    assert value == pytest.approx(3 / math.sqrt(5), rel=1e-13)


_PROGRAM = """
import obrivane
separations = [i / 37 for i in range(120)] + [1.0, 0.5, 2.0, 1e-9]
table = ([0.0, 0.4, 1.0], [1.0, 0.9, 0.5])
results = [
    obrivane.integrated_heyrovsky_magnification(separations, 1.0, 0.3),
    obrivane.integrated_witt_mao_magnification(separations, 1.0, 0.3),
    obrivane.integrated_flux_map_heyrovsky_magnification(separations, 1.0, 0.3, *table),
    obrivane.integrated_flux_map_witt_mao_magnification(separations, 1.0, 0.3, *table),
]
print([[v.hex() for v in values] for values in results])
"""


def test_results_do_not_depend_on_the_pool_size():
    first, *others = outputs_with_pool_sizes(_PROGRAM)
    assert first and all(output == first for output in others)


def test_never_below_one_for_valid_input():
    # Any weighted mean of the point-lens magnification is at least 1; radii and separations over
    # the whole double range, both built-in functions (they share one evaluation).
    generator = random.Random(10)
    for _ in range(150):
        rstar = 10 ** generator.uniform(-300, 300)
        re = 10 ** generator.uniform(-300, 300)
        separations = [10 ** generator.uniform(-6, 6) for _ in range(12)] + [0.0, 1.0, 4.0]
        for family in FAMILIES:
            for value in family(separations, re, rstar):
                assert value >= 1 - 1e-12, (re, rstar, separations)


@pytest.mark.parametrize("family", FAMILIES)
def test_radii_whose_ratio_underflows(family):
    # rstar/re = 1e-400: A = 1/u to all digits, finite only where u = l rstar/re is.
    got = family([0.0, 1.0, 1e20, 1e300, 2e300], 1e200, 1e-200)
    assert got[:3] == [math.inf] * 3
    assert got[3] == pytest.approx(1e100, rel=1e-15) and got[4] == pytest.approx(5e99, rel=1e-15)


@functools.cache
def weighted_mean_value_series(u, rho, terms=8):
    """Mean of the point-lens magnification A over the limb-darkened disk far from the lens, by
    the mean-value expansion sum_k c_k (rho^2/4)^k / (k!)^2 Laplacian^k A(u), with the moments
    c_k = integral y^(2k) I(y) y dy / integral I(y) y dy by quadrature. As a function of t = r^2
    the Laplacian is 4 d/dt (t d/dt), applied exactly to the Taylor polynomial of A about u^2."""
    with mpmath.workdps(50):
        t0 = mpmath.mpf(u) ** 2
        coefficients = mpmath.taylor(lambda t: (t + 2) / mpmath.sqrt(t * (t + 4)), t0, 2 * terms)

        def laplacian(c):
            # g = sum c_j s^j with t = t0 + s: 4 (t g')' = 4 (g' + t0 g'' + s g'').
            first = [(j + 1) * c[j + 1] for j in range(len(c) - 1)]
            second = [(j + 1) * first[j + 1] for j in range(len(first) - 1)]
            shifted = [0] + second  # s g''
            return [4 * (first[j] + t0 * second[j] + shifted[j]) for j in range(len(second))]

        def brightness_moment(k):
            return mpmath.quad(
                lambda y: y ** (2 * k + 1) * (0.4 + 0.6 * mpmath.sqrt(1 - y * y)), [0, 1]
            )

        flux = brightness_moment(0)
        total, c = mpmath.mpf(0), coefficients
        for k in range(terms):
            total += (
                brightness_moment(k)
                / flux
                * (mpmath.mpf(rho) ** 2 / 4) ** k
                / mpmath.factorial(k) ** 2
                * c[0]
            )
            c = laplacian(c)
        return total


@pytest.mark.parametrize("family", FAMILIES)
@pytest.mark.parametrize("rho", [1e-3, 0.3, 3.0])
def test_far_series_to_a_few_ulps(family, rho):
    # Beyond four source radii the evaluation is exact to rounding.
    separations = [4.5, 6.0, 10.0, 30.0, 100.0, 1e3, 1e4]
    for s, value in zip(separations, family(separations, 1.0, rho), strict=True):
        expected = weighted_mean_value_series(s * rho, rho, terms=14 if s < 10 else 8)
        assert relative_error(value, expected) < 3e-15, (s, rho)
