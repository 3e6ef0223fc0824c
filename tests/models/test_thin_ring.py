"""heyrovsky_magnification: the magnification of a thin ring on the source, against the direct
average of the point-lens magnification over the ring.

s is the separation of the source centre from the lens in stellar radii (the argument l).
"""

import math

import obrivane
import pytest
from profile_reference import point_lens, relative_error, ring_average

# A magnification within this relative distance of the ring average; Heyrovsky's closed form
# costs a few units in the last place of K and Pi.
CLOSED_FORM_TOLERANCE = 2e-14


@pytest.mark.parametrize(
    ("s", "r", "re", "rstar"),
    [
        (2.0, 0.5, 1.0, 1.0),
        (0.3, 1.0, 2.0, 1.0),
        (5.0, 4.0, 0.5, 1.0),
        (0.05, 3.0, 1.0, 0.01),
        (40.0, 1.0, 3.0, 2.0),
    ],
)
def test_ring_average(s, r, re, rstar):
    value = obrivane.heyrovsky_magnification(s, r, re, rstar)
    assert relative_error(value, ring_average(s, r, re / rstar)) < CLOSED_FORM_TOLERANCE


@pytest.mark.parametrize(("s", "q"), [(1.0, 1.0), (2.5, 0.1), (1e-3, 4.0), (700.0, 30.0)])
def test_ring_through_the_lens_is_infinite(s, q):
    assert obrivane.heyrovsky_magnification(s, s, q, 1.0) == math.inf


def test_ring_of_radius_zero_about_the_lens_is_nan():
    assert math.isnan(obrivane.heyrovsky_magnification(0.0, 0.0, 1.0, 1.0))


# Near the lens, |r - s| < 1e-5 or < 0.001 (s + r): the digits the closed form loses to cancellation
# in 1 - n and 1 - m is recovered from the complements. The grid runs from s = 0 to 1000,
# q from 1e-3 to 100 and |r - s| from 1e-1 down to the spacing of doubles at s.
NEAR_LENS_CASES = [
    (s, s + sign * distance, q)
    for s in (0.0, 1e-4, 0.3, 1000.0)
    for q in (1e-3, 1.0, 100.0)
    for distance in (1e-1, 1e-5 * 0.999, 1e-9, 1e-15)
    for sign in (1, -1)
    if s + sign * distance >= 0
    and s + sign * distance != s
    and (distance < 1e-5 or distance < 0.001 * (2 * s + sign * distance))
]


@pytest.mark.parametrize(("s", "r", "q"), NEAR_LENS_CASES)
def test_near_the_lens(s, r, q):
    value = obrivane.heyrovsky_magnification(s, r, q, 1.0)
    assert relative_error(value, ring_average(s, r, q)) < 2e-15


# Inside the band only by its part relative to s + r: |r - s| lies between 0.001 s and
# 0.001 (s + r), where the closed form would lose about 1e-11 to cancellation.
@pytest.mark.parametrize(("s", "r"), [(1.0, 1.0015), (30.0, 30.045), (1.0, 0.9985), (30.0, 29.955)])
@pytest.mark.parametrize("q", [1e-3, 0.1, 1.0, 30.0])
def test_near_the_lens_by_the_relative_bound_alone(s, r, q):
    assert 0.001 * s < abs(r - s) < 0.001 * (s + r)
    value = obrivane.heyrovsky_magnification(s, r, q, 1.0)
    assert relative_error(value, ring_average(s, r, q)) < 2e-15


@pytest.mark.parametrize(
    ("s", "r", "q"),
    [
        # the expansion about s was 0.2 % off here
        (1e-4, 1e-4 + 1e-5 * 0.999, 1.0),
        # the closed form cancelled: 2e-5 off, and broke down 1e-6 closer
        (2.0, 2.0 + 1e-5, 0.1),
        (2.0, 2.0 + 9e-6, 0.1),
        # n rounded to exactly 1: "ellippi: n cannot be 1."
        (3e5, 3e5 + 1.5e-5, 1.0),
    ],
)
def test_where_the_closed_form_and_the_expansion_failed(s, r, q):
    value = obrivane.heyrovsky_magnification(s, r, q, 1.0)
    assert relative_error(value, ring_average(s, r, q)) < 2e-15


# Just outside the near-lens band, where the Einstein radius is not small against the ring's
# distance from the lens (2q >= |r - s|), the closed form stands as it is: its error there comes
# from rounding n and m near 1 (at most about 1e-16 / (1 - n), with 1 - n >= 1e-6).
@pytest.mark.parametrize(
    ("s", "r", "q"),
    [
        (s, s + sign * 1.001e-3 * 2 * s / (1 - sign * 0.0005), q)
        for s in (1.0, 30.0, 1000.0)
        for q in (1e-3, 1.0, 100.0)
        for sign in (1, -1)
    ]
    + [(0.001, 0.001 + 1.0001e-5, 1.0), (0.001, 0.001 - 1.0001e-5, 1.0)],
)
def test_just_outside_the_near_lens_band(s, r, q):
    value = obrivane.heyrovsky_magnification(s, r, q, 1.0)
    assert relative_error(value, ring_average(s, r, q)) < 1e-10


# A large source with the ring near, but outside, the near-lens band: the magnification exceeds
# 1 by far less than rounding, and the rounding of n near 1 (a relative 1e-16 / (1 - n)) once
# took it up to 4e-12 below 1. Now it is within a few units in the last place of the ring average
# and never more than that below 1.
LARGE_SOURCE_TOLERANCE = 2e-15


@pytest.mark.parametrize("rho", [1e6, 1e8, 1e10, 1e12])
@pytest.mark.parametrize("a", [1.001e-3, -1.001e-3, 3e-3, -1e-2, 0.1, -0.45])  # (r - s)/(r + s)
def test_large_source_near_the_ring(rho, a):
    s = 0.5
    r = s * (1 + a) / (1 - a)
    value = obrivane.heyrovsky_magnification(s, r, 1.0, rho)
    assert relative_error(value, ring_average(s, r, 1 / rho)) < LARGE_SOURCE_TOLERANCE
    assert value > 1 - LARGE_SOURCE_TOLERANCE


def test_large_source_near_the_ring_in_the_discrete_sum():
    # Rings either side of the lens, weights summing to 1: a mean, so not below 1 either.
    bl = [0.497, 0.499, 0.501, 0.503]
    (value,) = obrivane.discrete_flux_map_heyrovsky_magnification([0.5], 1.0, 1e10, bl, [0.25] * 4)
    expected = sum(ring_average(0.5, r, 1e-10) for r in bl) / 4
    assert relative_error(value, expected) < LARGE_SOURCE_TOLERANCE
    assert obrivane.heyrovsky_magnification(0.499, 0.5, 1.0, 1e10) > 1 - LARGE_SOURCE_TOLERANCE


@pytest.mark.parametrize("r", [1e-12, 1e-7, 9.9e-6, 1e-5, 0.5, 3.0])
@pytest.mark.parametrize("q", [1e-3, 1.0, 50.0])
def test_ring_about_the_lens_is_the_point_lens_value(r, q):
    # Every point of a ring centred on the lens lies at distance r from it.
    value = obrivane.heyrovsky_magnification(0.0, r, q, 1.0)
    assert relative_error(value, point_lens(r / q)) < 4e-15


@pytest.mark.parametrize(("s", "r"), [(2.0, 0.5), (0.3, 1.0), (1.0, 1.0 + 1e-5), (1.0, 1.0 + 1e-9)])
def test_no_lens_gives_one(s, r):
    assert obrivane.heyrovsky_magnification(s, r, 0.0, 1.0) == pytest.approx(1.0, rel=1e-14)


@pytest.mark.parametrize(("s", "r"), [(1e4, 0.5), (1e6, 1.0)])
def test_far_from_the_lens_tends_to_one(s, r):
    # 1 + 2/u^4 to leading order
    value = obrivane.heyrovsky_magnification(s, r, 1.0, 1.0)
    assert value == pytest.approx(1.0, rel=0, abs=3 / s**4 + 4e-16)


@pytest.mark.parametrize(
    ("s", "r", "re", "rstar"),
    [
        # s and r of opposite signs, outside and inside the near-lens band
        (1.0, -0.5, 1.0, 1.0),
        (-2.0, 3.0, 1.0, 1.0),
        (-1e-6, 1e-6, 1.0, 1.0),
        # rstar = 0 with re != 0: q is infinite
        (2.0, 0.5, 1.0, 0.0),
        (2.0, 2.0 + 1e-7, 1.0, 0.0),
        # non-finite inputs
        (math.nan, 0.5, 1.0, 1.0),
        (2.0, math.nan, 1.0, 1.0),
        (2.0, 0.5, math.nan, 1.0),
        (2.0, 0.5, 1.0, math.nan),
        (math.inf, 0.5, 1.0, 1.0),
        (2.0, math.inf, 1.0, 1.0),
        (math.inf, math.inf, 1.0, 1.0),
        (2.0, 0.5, math.inf, 1.0),
    ],
)
def test_no_ring_gives_nan(s, r, re, rstar):
    assert math.isnan(obrivane.heyrovsky_magnification(s, r, re, rstar))


def _closed_form(module, s, r, re, rstar):
    """The closed form with its evaluation order, through the module's own K and Pi."""
    q = re / rstar
    d = r - s
    q2 = q * q
    d2 = d * d
    four_q2 = q2 * 4
    k = (4 * q / (s + r)) * math.sqrt((s * r) / (d2 + four_q2))
    m = k * k
    n = ((s * 4) * r) / ((s + r) * (s + r))
    first_kind = module.ellipk(m)
    third_kind = module.ellippi(n, m)
    h = (4 / ((s + r) * math.sqrt(d2 + four_q2))) * ((q2 + q2) * first_kind + d2 * third_kind)
    return h / 6.283185307179586


@pytest.mark.parametrize(
    ("s", "r", "re", "rstar"),
    [
        (2.0, 0.5, 1.0, 1.0),
        (0.3, 1.0, 2.0, 1.0),
        # just outside the relative and the absolute bound of the near-lens band
        (1.0, 1.0 + 2.1e-3, 1.0, 1.0),
        (1.0, 1.0 - 2.1e-3, 1.0, 1.0),
        (1e-3, 1e-3 + 1e-5, 1.0, 1.0),
        (1e-3, 1e-3 - 1.0000001e-5, 1.0, 1.0),
        (1e-9, 0.7, 1e-3, 1.0),
        (12.0, 11.0, 7.0, 3.0),
        (3.0, 0.5, 0.0, 1.0),
    ],
)
def test_away_from_the_lens_the_closed_form_is_evaluated_as_written(
    testing_module, s, r, re, rstar
):
    distance = abs(r - s)
    assert distance >= 1e-5 and distance >= 0.001 * (s + r)
    expected = _closed_form(testing_module, s, r, re, rstar)
    assert obrivane.heyrovsky_magnification(s, r, re, rstar) == expected


def test_arguments_by_keyword():
    by_position = obrivane.heyrovsky_magnification(2.0, 0.5, 1.0, 1.0)
    assert obrivane.heyrovsky_magnification(rstar=1.0, re=1.0, r=0.5, l=2.0) == by_position
