"""heyrovsky_magnification over the whole range of doubles, against the direct ring average in
mpmath (whose exponent range is unbounded), and its answer to radii that describe no ring."""

import math
import random
import sys

import mpmath
import obrivane
import pytest
from hypothesis import assume, given
from hypothesis import strategies as st
from profile_reference import ring_average

LARGEST = sys.float_info.max

# Edges of the double range: huge and tiny scales, Einstein radii far larger or smaller than the
# ring, quotients re/rstar that overflow or underflow.
EXTREME_RING_CASES = [
    # 4 q^2 overflows: the closed form gave 0.0
    (0.956, 0.527, 2.06e154, 2.74),
    (1.0, 0.5, 1e300, 1e-10),  # q itself overflows, and so does the magnification
    (1e308, 0.9e308, 1e300, 1e-10),  # l + r overflows; q overflows, the magnification does not
    (1e308, 0.9e308, 1.0, 1.0),
    (1e-320, 3e-320, 1.0, 1.0),  # subnormal radii
    (1e-300, 2e-300, 1.0, 1.0),
    (1.0, 2.0, 1e-300, 1.0),  # q^2 underflows
    (1e200, 2e200, 1e-200, 1.0),
    (1e-200, 1.5e-200, 1e-200, 1.0),
    (3.0, 3.0 + 3e-9, 1e160, 1.0),  # near the lens with q^2 out of range
    (3.0, 3.0 + 3e-15, 1e-160, 1.0),
    (0.0, 1e-300, 1e300, 1.0),
    (1e-310, 0.0, 1.0, 1e10),
    (1.5, 1.5 * (1 + 2**-52), 1e-300, 1.0),
    (1e150, 1e-150, 1.0, 1.0),
    (5e-324, 1.0, 1.0, 1.0),
    (1.0, 0.5, 5e-324, 1.0),
    (1.0, 0.5, 1.0, 1.7e308),
]


def reference(s, r, re, rstar):
    with mpmath.workdps(30):
        return ring_average(s, r, mpmath.mpf(re) / mpmath.mpf(rstar))


@pytest.mark.parametrize(("s", "r", "re", "rstar"), EXTREME_RING_CASES)
def test_extreme_scales_against_the_ring_average(s, r, re, rstar):
    value = obrivane.heyrovsky_magnification(s, r, re, rstar)
    expected = reference(s, r, re, rstar)
    if expected > LARGEST:
        assert value == math.inf
    else:
        assert float(abs(value - expected) / expected) < 1e-14


@pytest.mark.parametrize(
    ("s", "r", "re", "rstar"),
    [
        # the closed form away from the lens, at scales where none of its steps overflows or
        # underflows: evaluated as written, bit for bit
        (1e100, 0.5e100, 3e100, 1.0),
        (1.3e150, 3e149, 1e140, 1.0),
        (7.0, 1.0, 1e-60, 1.0),
        (7.0, 1.0, 1e60, 1.0),
    ],
)
def test_closed_form_unchanged_where_its_steps_stay_in_range(testing_module, s, r, re, rstar):
    from test_thin_ring import _closed_form

    assert obrivane.heyrovsky_magnification(s, r, re, rstar) == _closed_form(
        testing_module, s, r, re, rstar
    )


@pytest.mark.parametrize(
    ("s", "r", "re", "rstar"),
    [
        (2.0, 0.5, -1.0, 1.0),
        (2.0, 0.5, 1.0, -1.0),
        (2.0, 0.5, -1.0, -1.0),
        (2.0, 2.0 + 1e-7, -1.0, 1.0),
        (2.0, -0.5, 1.0, 1.0),
        (-2.0, -0.5, 1.0, 1.0),
        (-2.0, 0.0, 1.0, 1.0),
        (-1.0, -1.0, 1.0, 1.0),
        (2.0, 0.5, math.nan, 1.0),
        (2.0, 0.5, 1.0, math.nan),
        (2.0, 0.5, 1.0, math.inf),
    ],
)
def test_radii_that_describe_no_ring_give_nan(s, r, re, rstar):
    assert math.isnan(obrivane.heyrovsky_magnification(s, r, re, rstar))


@pytest.mark.parametrize(("re", "rstar"), [(-1.0, 1.0), (1.0, -1.0), (-1.0, -1.0), (math.nan, 1.0)])
def test_the_discrete_sum_of_rings_follows(re, rstar):
    values = obrivane.discrete_flux_map_heyrovsky_magnification(
        [0.5, 2.0], re, rstar, [0.25, 0.75], [1.0, 0.5]
    )
    assert len(values) == 2
    assert all(math.isnan(v) for v in values)


def random_scale_cases(count):
    """Rings at random scales from 1e-300 to 1e300, a third of them near the lens, with Einstein
    and stellar radii drawn independently over the same range."""
    rng = random.Random(20261208)
    cases = []
    for _ in range(count):
        scale = 10 ** rng.uniform(-300, 300)
        s = scale * 10 ** rng.uniform(-3, 0) * rng.random()
        if rng.random() < 1 / 3:
            r = s * (1 + rng.choice([-1, 1]) * 10 ** rng.uniform(-9, -1))
        else:
            r = scale * 10 ** rng.uniform(-3, 0) * rng.random()
        cases.append((s, r, 10 ** rng.uniform(-300, 300), 10 ** rng.uniform(-300, 300)))
    return cases


@pytest.mark.parametrize(("s", "r", "re", "rstar"), random_scale_cases(40))
def test_random_scales_against_the_ring_average(s, r, re, rstar):
    value = obrivane.heyrovsky_magnification(s, r, re, rstar)
    expected = reference(s, r, re, rstar)
    if expected > LARGEST:
        assert value == math.inf
        return
    # The written closed form, used away from the lens, loses about 1e-16 / (1 - n) to the
    # rounding of n and m near 1, with 1 - n = ((r - s) / (r + s))^2.
    one_minus_n = ((r - s) / (r + s)) ** 2 if r + s > 0 else 1.0
    tolerance = 1e-14 + 1e-16 / one_minus_n if one_minus_n > 0 else 1e-14
    assert float(abs(value - expected) / expected) < tolerance


@given(
    st.floats(min_value=0.0, max_value=1e3),
    st.floats(min_value=0.0, max_value=1e3),
    st.floats(min_value=1e-3, max_value=1e3),
    st.integers(min_value=-1000, max_value=1000),
)
def test_scaling_every_length_by_a_power_of_two_changes_nothing(s, r, q, exponent):
    # The magnification depends on s/q and r/q alone; scaling s, r and re by 2^k is exact
    # wherever the scaled values stay normal doubles.
    scaled = [math.ldexp(x, exponent) for x in (s, r, q)]
    assume(all(x == 0 or sys.float_info.min <= x <= LARGEST for x in scaled))
    value = obrivane.heyrovsky_magnification(s, r, q, 1.0)
    rescaled = obrivane.heyrovsky_magnification(*scaled, 1.0)
    if math.isnan(value) or math.isinf(value):
        assert math.isnan(rescaled) if math.isnan(value) else rescaled == value
        return
    one_minus_n = ((r - s) / (r + s)) ** 2
    assert abs(rescaled - value) / value < 1e-14 + 2e-16 / one_minus_n
