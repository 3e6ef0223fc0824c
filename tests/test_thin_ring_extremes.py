"""heyrovsky_magnification over the whole range of doubles, against the direct ring average in
mpmath (whose exponent range is unbounded), and its answer to radii that describe no ring."""

import math
import sys

import mpmath
import obrivane
import pytest
from profile_reference import ring_average
from tests_support_extremes import EXTREME_RING_CASES

LARGEST = sys.float_info.max


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
