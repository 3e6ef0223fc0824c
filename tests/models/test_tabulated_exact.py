"""The integrated flux-map functions return the exact magnification of the linearly interpolated
table (zero outside its radii): checked against direct integrals of the interpolant, split at its
knots and at the ring through the lens, for tables with kinks and jumps and for smooth laws
sampled on many rows; the profile's moments and the far-field series against mpmath and the
near-field evaluation; invalid radii and extreme scales.

s is the separation of the source centre from the lens in stellar radii (the argument l) and rho
the source radius in Einstein radii (re = 1, rstar = rho).
"""

import math

import mpmath
import numpy as np
import obrivane
import pytest
import tabulated_reference
from profile_reference import Tabulated, profile_magnification, relative_error

INTEGRATED = [
    obrivane.integrated_flux_map_heyrovsky_magnification,
    obrivane.integrated_flux_map_witt_mao_magnification,
]
TOLERANCE = 1e-10

KINKED = ([0.0, 0.5, 1.0], [1.0, 0.8, 0.5])
ENDS_EARLY = ([0.0, 0.35, 0.7], [1.0, 0.9, 0.7])
STEP = ([0.0, 0.5, 0.5, 1.0], [1.0, 1.0, 0.6, 0.6])
BEYOND = ([-0.5, 0.6, 1.5], [1.0, 0.9, 0.7])


def smooth_law(rows, spacing):
    """The linear limb-darkening law I = 0.4 + 0.6 mu sampled on `rows` radii, evenly spaced or
    dense towards the limb (r_k = sin(pi k / (2 (rows - 1))))."""
    k = np.arange(rows)
    if spacing == "uniform":
        radii = k / (rows - 1)
    else:
        radii = np.sin(np.pi * k / (2 * (rows - 1)))
    radii[-1] = 1.0
    values = 0.4 + 0.6 * np.sqrt(np.maximum(1 - radii * radii, 0.0))
    return radii.tolist(), values.tolist()


# --- Tables with kinks and jumps against the integral over the source ---------------------

SOURCE_CASES = [
    *(
        (KINKED, 0.01, s)
        for s in [0.0, 1e-6, 0.25, 0.5, 0.5 + 1e-9, 1 - 1e-6, 1.0, 2.0, 3.999, 4.0]
    ),
    *((KINKED, 1.0, s) for s in [1e-3, 0.5, 0.9999, 1.0, 1.5]),
    *((KINKED, 10.0, s) for s in [0.0, 0.5, 1.0, 3.0]),
    *((ENDS_EARLY, 0.01, s) for s in [0.0, 0.35, 0.6, 0.7, 0.7 + 1e-7, 1.0, 1.3, 4.5]),
    *((ENDS_EARLY, 1.0, s) for s in [0.2, 0.7, 0.9]),
    *((STEP, 0.01, s) for s in [0.3, 0.5, 0.5 - 1e-8, 0.8]),
    *((STEP, 1.0, s) for s in [0.0, 0.5, 2.0]),
    *((BEYOND, 0.1, s) for s in [0.0, 0.6, 0.95, 1.0, 1.2]),
]


@pytest.mark.parametrize(("table", "rho", "s"), SOURCE_CASES)
def test_tables_with_kinks_and_jumps_against_the_source_integral(table, rho, s):
    expected = profile_magnification(s, 1 / rho, Tabulated(*table))
    for function in INTEGRATED:
        (value,) = function([s], 1.0, rho, *table)
        assert relative_error(value, expected) < TOLERANCE


# --- Smooth laws on many rows against the integral over the source radius -----------------


@pytest.mark.parametrize("rows", [10, 100, 1000])
@pytest.mark.parametrize("spacing", ["uniform", "limb"])
@pytest.mark.parametrize("rho", [0.01, 1.0])
def test_sampled_law_against_the_radial_integral(rows, spacing, rho):
    bl, bf = smooth_law(rows, spacing)
    # A knot on the ring through the lens, and knots a rounding step or a little more away.
    knot = bl[rows // 3]
    near_knot = [math.nextafter(knot, 0), math.nextafter(knot, 1), knot - 1e-12, knot + 1e-9]
    separations = [0.0, 1e-6, 0.2, knot, *near_knot, 0.999, 1.0, 1.001, 2.5, 3.99, 4.0, 6.0]
    values = obrivane.integrated_flux_map_witt_mao_magnification(separations, 1.0, rho, bl, bf)
    for s, value in zip(separations, values, strict=True):
        expected = tabulated_reference.magnification(s, rho, bl, bf)
        assert relative_error(value, expected) < TOLERANCE, s


@pytest.mark.parametrize("rho", [0.01, 0.5])
def test_dense_grid_near_the_centre_the_limb_and_the_series(rho):
    bl, bf = smooth_law(100, "limb")
    offsets = [10.0**-k for k in range(2, 13, 2)]
    separations = (
        offsets
        + [1 - d for d in offsets]
        + [1 + d for d in offsets]
        + [4 - d for d in offsets]
        + [4 + d for d in offsets]
    )
    values = obrivane.integrated_flux_map_heyrovsky_magnification(separations, 1.0, rho, bl, bf)
    for s, value in zip(separations, values, strict=True):
        expected = tabulated_reference.magnification(s, rho, bl, bf)
        assert relative_error(value, expected) < TOLERANCE, s


def test_the_families_are_one_computation():
    bl, bf = smooth_law(50, "limb")
    separations = [i / 17 for i in range(120)]
    assert obrivane.integrated_flux_map_heyrovsky_magnification(
        separations, 1.0, 0.07, bl, bf
    ) == obrivane.integrated_flux_map_witt_mao_magnification(separations, 1.0, 0.07, bl, bf)


# --- Moments and the series far from the lens ---------------------------------------------


def interpolant_moment(bl, bf, power):
    """int_0^1 x^power I(x) dx at 30 digits, split at the knots."""
    with mpmath.workdps(30):
        total = mpmath.mpf(0)
        for j in range(len(bl) - 1):
            x0, x1 = mpmath.mpf(bl[j]), mpmath.mpf(bl[j + 1])
            y0, y1 = mpmath.mpf(bf[j]), mpmath.mpf(bf[j + 1])
            a, b = max(x0, 0), min(x1, 1)
            if b <= a:
                continue
            slope = (y1 - y0) / (x1 - x0)
            line = (y0, slope, x0)
            total += mpmath.quad(
                lambda x, line=line: x**power * (line[0] + line[1] * (x - line[2])), [a, b]
            )
        return total


@pytest.mark.parametrize(
    "table", [KINKED, ENDS_EARLY, STEP, BEYOND, smooth_law(40, "limb"), ([0.0, 1.0], [1.0, 1.0])]
)
def test_moments_against_mpmath(testing_module, table):
    flux_moment = interpolant_moment(*table, 1)
    assert relative_error(testing_module.tabulated_flux_moment(*table), float(flux_moment)) < 1e-15
    weights = testing_module.tabulated_mean_value_weights(*table)
    assert len(weights) == 12
    for k, weight in enumerate(weights, start=1):
        expected = (k + 1) * interpolant_moment(*table, 2 * k + 1) / flux_moment
        assert relative_error(weight, float(expected)) < 1e-14, k


def test_uniform_weights_give_the_uniform_disk_series(testing_module):
    for u, a in [(4.0, 1.0), (0.3, 0.07), (1e3, 2.0), (1e-5, 2.5e-6)]:
        uniform = testing_module.uniform_disk_magnification_far(u, a)
        assert testing_module.weighted_disk_magnification_far(u, a, [1.0] * 12) == uniform


@pytest.mark.parametrize("table", [KINKED, ENDS_EARLY, smooth_law(100, "limb")])
@pytest.mark.parametrize("rho", [1e-3, 0.3, 5.0])
def test_far_series_against_the_near_evaluation(testing_module, table, rho):
    # Where both hold (the lens four source radii or more from the centre) they agree far below
    # the target; the functions switch from one to the other at four radii.
    for s in [4.0, 4.5, 6.0]:
        near = testing_module.tabulated_near_magnification(s, rho, *table)
        (far,) = obrivane.integrated_flux_map_witt_mao_magnification([s], 1.0, rho, *table)
        weights = testing_module.tabulated_mean_value_weights(*table)
        assert far == testing_module.weighted_disk_magnification_far(s * rho, rho, weights)
        assert relative_error(far, near) < 1e-12


# --- Invalid radii, odd tables and extreme scales ------------------------------------------


@pytest.mark.parametrize("function", INTEGRATED)
@pytest.mark.parametrize(
    ("re", "rstar"),
    [
        (-1.0, 1.0),
        (1.0, -1.0),
        (-1.0, -1.0),
        (math.nan, 1.0),
        (1.0, math.nan),
        (0.0, 1.0),
        (1.0, 0.0),
        (math.inf, 1.0),
        (1.0, math.inf),
        (-0.0, 1.0),
    ],
)
def test_radius_that_is_not_a_positive_length_gives_nan(function, re, rstar):
    values = function([0.0, 0.5, 2.0, 10.0], re, rstar, *KINKED)
    assert len(values) == 4
    assert all(math.isnan(v) for v in values)


@pytest.mark.parametrize("function", INTEGRATED)
@pytest.mark.parametrize(
    ("bl", "bf"),
    [
        ([0.0, math.nan, 1.0], [1.0, 0.9, 0.5]),
        ([0.0, 0.5, 1.0], [1.0, math.inf, 0.5]),
        ([0.0, 1.0], [0.0, 0.0]),
        ([1.5, 2.0], [1.0, 1.0]),
    ],
)
def test_table_without_light_on_the_source_gives_nan(function, bl, bf):
    assert all(math.isnan(v) for v in function([0.3, 2.0, 7.0], 1.0, 0.1, bl, bf))


def test_one_row_is_a_uniform_source():
    (value,) = obrivane.integrated_flux_map_witt_mao_magnification([0.4], 1.0, 0.2, [0.7], [3.0])
    assert relative_error(value, obrivane.witt_mao_magnification([0.4], 1.0, 0.2)[0]) < 1e-13


@pytest.mark.parametrize("function", INTEGRATED)
def test_huge_source_is_barely_magnified(function):
    # A - 1 = I(l) / (rho^2 int x I dx) to leading order; at rho = 1e80 it is below rounding.
    separations = [0.0, 0.5, 1.0, 1.5, 3.0, 10.0, 1e300]
    assert function(separations, 1.0, 1e80, *KINKED) == [1.0] * len(separations)
    assert function([0.5], 1e-200, 1e200, *KINKED) == [1.0]
    # Either side of the switch to the limiting form, with int x I dx = 0.5 (1.3 + 2.85) / 6.
    flux_moment = 0.5 * (1.3 + 2.85) / 6
    for rho in [2.0**25, 2.0**27]:
        (value,) = function([0.0], 1.0, rho, *KINKED)
        assert abs(value - (1 + 1 / (rho * rho * flux_moment))) <= 2 * 2.0**-52


@pytest.mark.parametrize("function", INTEGRATED)
def test_tiny_source_scales_as_one_over_rho(function):
    # Close to the lens A_ps = 1/r, so rho A depends on l alone once the source is small.
    separations = [0.0, 0.5, 1.0, 3.0, 10.0]
    reference = [v * 1e-10 for v in function(separations, 1.0, 1e-10, *KINKED)]
    for rho in [1e-13, 1e-100, 1e-300]:
        values = function(separations, 1.0, rho, *KINKED)
        for value, expected in zip(values, reference, strict=True):
            assert relative_error(value * rho, expected) < 1e-13
    # A ratio below the smallest double: the true values overflow, except far out.
    values = function([0.5, 1e250], 1e200, 1e-200, *KINKED)
    assert values[0] == math.inf
    assert relative_error(values[1], 1e150) < 1e-13


@pytest.mark.parametrize("function", INTEGRATED)
def test_separation_whose_square_overflows(function):
    assert function([1e200, 1.7e308], 1.0, 1.0, *KINKED) == [1.0, 1.0]
    (value,) = function([1e160], 1.0, 1e-160, *KINKED)
    assert relative_error(value, 3 / math.sqrt(5)) < 1e-14


def test_no_value_below_one_across_scales():
    rng = np.random.default_rng(20261208)
    bl, bf = smooth_law(30, "limb")
    separations = (10.0 ** rng.uniform(-300, 300, 200)).tolist() + rng.uniform(0, 5, 100).tolist()
    for log_rho in rng.uniform(-300, 300, 12):
        values = obrivane.integrated_flux_map_heyrovsky_magnification(
            separations, 1.0, 10.0**log_rho, bl, bf
        )
        assert all(v >= 1 - 1e-12 for v in values)
