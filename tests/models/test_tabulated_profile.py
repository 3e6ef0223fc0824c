"""The flux-map functions: a source whose brightness profile is given as a table of radii bl and
brightness values bf, as a weighted sum of thin rings or as the profile-weighted integrals with
the table interpolated linearly (zero outside its radii).

s is the separation of the source centre from the lens in stellar radii (the argument l).
"""

import math

import numpy as np
import obrivane
import pytest
from profile_reference import (
    Tabulated,
    profile_magnification,
    relative_error,
    uniform_disk_magnification,
)

INTEGRATED = [
    obrivane.integrated_flux_map_heyrovsky_magnification,
    obrivane.integrated_flux_map_witt_mao_magnification,
]
ALL = [obrivane.discrete_flux_map_heyrovsky_magnification, *INTEGRATED]
BUILT_IN = dict(
    zip(
        INTEGRATED,
        [obrivane.integrated_heyrovsky_magnification, obrivane.integrated_witt_mao_magnification],
        strict=True,
    )
)


# Both integrated functions return the exact magnification of the interpolated table; the
# references below are good to about 1e-13.
TOLERANCE = 1e-10


def raised_by(call):
    try:
        call()
    except BaseException as failure:  # noqa: BLE001 - the exception is what we are after
        return failure
    raise AssertionError("nothing raised")


# --- The length check ---------------------------------------------------------------------


@pytest.mark.parametrize("function", ALL)
@pytest.mark.parametrize("separations", [[], [2.0, 0.5]])
def test_unequal_table_lengths(function, separations):
    failure = raised_by(lambda: function(separations, 1.0, 1.0, [0.1, 0.2, 0.3], [1.0, 0.5]))
    assert type(failure).__name__ == "PanicException"
    assert type(failure).__module__ == "pyo3_runtime"
    assert not isinstance(failure, Exception)
    assert str(failure) == "assertion `left == right` failed\n  left: 3\n right: 2"
    assert failure.args == ("assertion `left == right` failed\n  left: 3\n right: 2",)


@pytest.mark.parametrize("function", ALL)
def test_every_argument_is_converted_before_the_length_check(function):
    with pytest.raises(TypeError, match=r"^argument 'bf': "):
        function([2.0], 1.0, 1.0, [0.1, 0.2, 0.3], [1.0, "bright"])
    with pytest.raises(TypeError, match=r"^argument 'bl': 'float' object cannot be cast as"):
        function([2.0], 1.0, 1.0, 0.5, [1.0, 0.5])
    with pytest.raises(TypeError, match=r"^argument 'bf': Can't extract `str` to `Vec`$"):
        function([], 1.0, 1.0, [0.1], "1")


@pytest.mark.parametrize("function", ALL)
def test_arguments_by_keyword(function):
    by_position = function([2.0, 0.4], 1.0, 0.5, [0.0, 1.0], [1.0, 0.5])
    assert function(bf=[1.0, 0.5], bl=[0.0, 1.0], rstar=0.5, re=1.0, l=[2.0, 0.4]) == by_position


# --- The discrete sum ---------------------------------------------------------------------


def test_discrete_sum_of_one_ring():
    (value,) = obrivane.discrete_flux_map_heyrovsky_magnification([2.0], 1.0, 1.0, [0.5], [2.0])
    assert value == 2 * obrivane.heyrovsky_magnification(2.0, 0.5, 1.0, 1.0)


def test_discrete_sum_adds_the_rings_in_table_order():
    separations = [0.0, 0.45, 1.3, 7.0]
    bl = [0.1, 0.35, 0.6, 0.9, 1.0]
    bf = [1.0, 0.9, 0.75, 0.5, 0.3]
    values = obrivane.discrete_flux_map_heyrovsky_magnification(separations, 2.0, 0.7, bl, bf)
    for s, value in zip(separations, values, strict=True):
        total = 0.0
        for radius, weight in zip(bl, bf, strict=True):
            total = total + obrivane.heyrovsky_magnification(s, radius, 2.0, 0.7) * weight
        assert value == total


def test_discrete_sum_takes_the_rows_in_any_order():
    # A weighted sum of rings: shuffled rows, decreasing radii included, change only rounding.
    separations = [0.0, 0.45, 1.3, 7.0]
    bl = [0.1, 0.35, 0.6, 0.9, 1.0]
    bf = [1.0, 0.9, 0.75, 0.5, 0.3]
    ordered = obrivane.discrete_flux_map_heyrovsky_magnification(separations, 2.0, 0.7, bl, bf)
    for order in ([4, 3, 2, 1, 0], [2, 0, 4, 1, 3]):
        shuffled = obrivane.discrete_flux_map_heyrovsky_magnification(
            separations, 2.0, 0.7, [bl[j] for j in order], [bf[j] for j in order]
        )
        assert shuffled == pytest.approx(ordered, rel=1e-15)


@pytest.mark.parametrize(("bl", "bf"), [([], []), ([0.5], [1.0]), ([0.0, 1.0], [1.0, 0.4])])
def test_discrete_sum_of_no_separations(bl, bf):
    assert obrivane.discrete_flux_map_heyrovsky_magnification([], 1.0, 1.0, bl, bf) == []


def test_discrete_sum_over_an_empty_table_is_zero():
    assert obrivane.discrete_flux_map_heyrovsky_magnification([2.0, 0.5], 1.0, 1.0, [], []) == [
        0.0,
        0.0,
    ]


def test_discrete_sum_is_not_normalised():
    bl, bf = [0.2, 0.5, 0.8], [1.0, 0.8, 0.5]
    (once,) = obrivane.discrete_flux_map_heyrovsky_magnification([1.5], 1.0, 1.0, bl, bf)
    (thrice,) = obrivane.discrete_flux_map_heyrovsky_magnification(
        [1.5], 1.0, 1.0, bl, [3 * f for f in bf]
    )
    assert thrice == pytest.approx(3 * once, rel=1e-15)


def test_discrete_sum_with_a_ring_where_n_rounds_to_one():
    # r - s = 1.5e-5 at s = 3e5: n = 4 s r/(s + r)^2 rounds to 1 in the closed form; near the
    # lens the ring is evaluated without it, so the sum is the magnification, not an error.
    s = 3e5
    bl, bf = [0.5, s + 1.5e-5, s + 1.0], [1.0, 1.0, 1.0]
    (value,) = obrivane.discrete_flux_map_heyrovsky_magnification([s], 1.0, 1.0, bl, bf)
    rings = [obrivane.heyrovsky_magnification(s, r, 1.0, 1.0) for r in bl]
    assert all(math.isfinite(ring) for ring in rings)
    assert value == (rings[0] + rings[1]) + rings[2]


def test_discrete_sum_carries_nan_from_a_ring_that_cannot_be_evaluated():
    # A negative table radius: no such ring, at any separation.
    values = obrivane.discrete_flux_map_heyrovsky_magnification(
        [2.0, 0.0], 1.0, 1.0, [-0.5, 0.5], [1.0, 1.0]
    )
    assert math.isnan(values[0])
    assert math.isnan(values[1])
    assert all(
        math.isfinite(v)
        for v in obrivane.discrete_flux_map_heyrovsky_magnification(
            [2.0, 0.0], 1.0, 1.0, [0.25, 0.5], [1.0, 1.0]
        )
    )


def test_discrete_sum_with_a_ring_through_the_lens_is_infinite():
    values = obrivane.discrete_flux_map_heyrovsky_magnification(
        [0.5, 2.0], 1.0, 1.0, [0.25, 0.5], [1.0, 1.0]
    )
    assert values[0] == math.inf
    assert math.isfinite(values[1])


# --- The integrated functions -------------------------------------------------------------


@pytest.mark.parametrize("function", INTEGRATED)
def test_integrated_over_an_empty_table_is_nan(function):
    # No profile, no flux: 0/0.
    assert all(math.isnan(v) for v in function([2.0, 0.5], 1.0, 1.0, [], []))


@pytest.mark.parametrize("function", INTEGRATED)
@pytest.mark.parametrize(("bl", "bf"), [([], []), ([0.0, 1.0], [1.0, 0.4])])
def test_integrated_with_no_separations(function, bl, bf):
    assert function([], 1.0, 1.0, bl, bf) == []


@pytest.mark.parametrize("function", INTEGRATED)
@pytest.mark.parametrize(
    ("s", "rho"), [(0.3, 1.0), (0.5, 1e-3), (1.0, 0.05), (2.0, 1.0), (6.0, 4.0)]
)
def test_uniform_table_gives_the_uniform_disk(function, s, rho):
    (value,) = function([s], 1.0, rho, [0.0, 1.0], [1.0, 1.0])
    (uniform,) = obrivane.witt_mao_magnification([s], 1.0, rho)
    assert relative_error(value, uniform_disk_magnification(s, 1 / rho)) < TOLERANCE
    assert relative_error(value, uniform) < 1e-11


@pytest.mark.parametrize("function", INTEGRATED)
def test_normalisation_is_the_exact_flux_of_the_table(function):
    # For I = 1 the flux is exactly pi, so the uniform table gives the uniform disk to rounding
    # (the cancellation-free disk magnification, not the closed form's general branch).
    separations = [0.3, 2.0]
    by_table = function(separations, 1.0, 1.0, [0.0, 1.0], [1.0, 1.0])
    for s, value in zip(separations, by_table, strict=True):
        assert relative_error(value, uniform_disk_magnification(s, 1.0)) < 1e-14


@pytest.mark.parametrize("function", INTEGRATED)
def test_scale_of_the_brightness_does_not_matter(function):
    separations = [0.0, 0.3, 1.0, 2.5]
    bl, bf = [0.0, 0.3, 0.7, 1.0], [1.0, 0.95, 0.8, 0.45]
    once = function(separations, 1.0, 0.2, bl, bf)
    scaled = function(separations, 1.0, 0.2, bl, [7.5 * f for f in bf])
    assert scaled == pytest.approx(once, rel=1e-14)


# Profiles for the comparison with the integral over the source: linear in x (no kink inside the
# source), and continuous with kinks at interior knots.
LINEAR = ([0.0, 1.0], [1.0, 0.5])
KINKED = ([0.0, 0.35, 0.7, 1.0], [1.0, 0.92, 0.75, 0.35])


@pytest.fixture(scope="module")
def reference():
    cache = {}

    def tabulated(table, s, rho):
        key = (table, s, rho)
        if key not in cache:
            cache[key] = profile_magnification(s, 1 / rho, Tabulated(*table))
        return cache[key]

    return tabulated


SEPARATIONS = [0.0, 0.2, 0.5, 0.9999, 1.0, 1.3, 3.0]


@pytest.mark.parametrize("function", INTEGRATED)
@pytest.mark.parametrize("rho", [2e-3, 1.0, 8.0])
@pytest.mark.parametrize("s", SEPARATIONS)
def test_linear_table_against_the_source_integral(reference, function, rho, s):
    (value,) = function([s], 1.0, rho, *LINEAR)
    table = (tuple(LINEAR[0]), tuple(LINEAR[1]))
    assert relative_error(value, reference(table, s, rho)) < TOLERANCE


@pytest.mark.parametrize("function", INTEGRATED)
@pytest.mark.parametrize("rho", [2e-3, 1.0])
@pytest.mark.parametrize("s", SEPARATIONS)
def test_kinked_table_against_the_source_integral(reference, function, rho, s):
    (value,) = function([s], 1.0, rho, *KINKED)
    table = (tuple(KINKED[0]), tuple(KINKED[1]))
    assert relative_error(value, reference(table, s, rho)) < TOLERANCE


@pytest.mark.parametrize("rho", [2e-3, 0.5, 5.0])
def test_the_families_agree_on_a_table(rho):
    separations = [i / 53 for i in range(1, 160)]
    rings = obrivane.integrated_flux_map_heyrovsky_magnification(separations, 1.0, rho, *KINKED)
    disks = obrivane.integrated_flux_map_witt_mao_magnification(separations, 1.0, rho, *KINKED)
    assert disks == rings


def test_zero_outside_the_tabulated_radii(reference):
    # A bright annulus between 0.2 and 0.8 stellar radii and nothing else: the brightness jumps
    # at both ends of the table.
    annulus = ((0.2, 0.8), (1.0, 1.0))
    for function in INTEGRATED:
        values = function([0.5, 1.0], 1.0, 1.0, *annulus)
        for s, value in zip([0.5, 1.0], values, strict=True):
            expected = reference(annulus, s, 1.0)
            assert relative_error(value, expected) < TOLERANCE
            assert relative_error(uniform_disk_magnification(s, 1.0), expected) > 5e-2


@pytest.mark.parametrize("function", INTEGRATED)
@pytest.mark.parametrize("rho", [1e-3, 0.1, 3.0])
def test_fine_table_of_the_built_in_law(function, rho):
    # Knots evenly spaced in the angle asin(x), so that they crowd towards the limb where the law
    # bends; its interpolation differs from the law by at most a relative epsilon, and a
    # magnification is a brightness-weighted mean of positive ring magnifications, so the two
    # differ by at most 2 epsilon / (1 - epsilon).
    bl = np.sin(np.linspace(0.0, math.pi / 2, 801))
    bf = 1 + (-0.6) * (1 - np.sqrt(np.maximum(1 - bl * bl, 0.0)))
    x = np.linspace(0.0, 1.0, 400001)
    law = 1 + (-0.6) * (1 - np.sqrt(1 - x * x))
    epsilon = float(np.max(np.abs(np.interp(x, bl, bf) / law - 1)))
    assert epsilon < 3e-4

    separations = [0.0, 0.4, 0.999, 1.0, 1.7, 10.0]
    tabulated = function(separations, 1.0, rho, bl.tolist(), bf.tolist())
    built_in = BUILT_IN[function](separations, 1.0, rho)
    for value, expected in zip(tabulated, built_in, strict=True):
        assert abs(value / expected - 1) <= 2 * epsilon / (1 - epsilon)


# Radii out of order describe no profile. Every path of the integrated functions (the lens near
# the source, far from it, a source too large or too small for the disk magnification) gives NaN.
@pytest.mark.parametrize("function", INTEGRATED)
@pytest.mark.parametrize(
    ("bl", "bf"),
    [
        ([0.0, 0.6, 0.3, 1.0], [1.0, 0.9, 0.8, 0.5]),  # one pair swapped
        ([1.0, 0.5, 0.0], [0.5, 0.8, 1.0]),  # decreasing throughout
        ([0.0, 0.5, math.nextafter(0.5, 0.0), 1.0], [1.0, 0.9, 0.9, 0.5]),  # back by one ulp
        ([0.0, 1.0, 0.999], [1.0, 0.5, 0.5]),  # the last row back inside
        ([0.2, 0.1], [1.0, 1.0]),  # two rows
    ],
)
@pytest.mark.parametrize("rho", [1e-30, 0.5, 1e9])
def test_radii_out_of_order_give_nan(function, bl, bf, rho):
    separations = [0.0, 0.5, 1.0, 3.0, 10.0, 1e4]
    assert all(math.isnan(v) for v in function(separations, 1.0, rho, bl, bf))


# Equal neighbouring radii are a jump of the profile, here from 1 to 0.5 at half the radius.
@pytest.mark.parametrize("function", INTEGRATED)
@pytest.mark.parametrize("s", [0.0, 0.5, 1.0, 2.0])
def test_repeated_radius_is_a_jump(reference, function, s):
    step = ((0.0, 0.5, 0.5, 1.0), (1.0, 1.0, 0.5, 0.5))
    (value,) = function([s], 1.0, 1.0, *step)
    assert relative_error(value, reference(step, s, 1.0)) < TOLERANCE


# A single row is its brightness at every radius of the disk, wherever its radius lies (the
# interpolation of one point is that value everywhere): the uniform disk. A zero row has no flux.
@pytest.mark.parametrize("function", INTEGRATED)
@pytest.mark.parametrize(
    ("radius", "brightness"), [(0.0, 1.0), (0.4, 2.5), (1.0, 1.0), (7.0, -3.0)]
)
@pytest.mark.parametrize("rho", [1e-3, 1.0])
def test_one_row_is_the_uniform_disk(function, radius, brightness, rho):
    separations = [0.0, 0.6, 1.0, 2.0]
    values = function(separations, 1.0, rho, [radius], [brightness])
    for s, value in zip(separations, values, strict=True):
        assert relative_error(value, uniform_disk_magnification(s, 1 / rho)) < TOLERANCE


@pytest.mark.parametrize("function", INTEGRATED)
def test_one_row_of_no_brightness_is_nan(function):
    assert all(math.isnan(v) for v in function([0.0, 0.6, 2.0], 1.0, 1.0, [0.5], [0.0]))


@pytest.mark.parametrize("function", INTEGRATED)
@pytest.mark.parametrize("s", [math.nan, math.inf, -0.5])
def test_separation_that_cannot_be_computed_is_nan(function, s):
    values = function([2.0, s], 1.0, 1.0, [0.0, 1.0], [1.0, 0.5])
    assert math.isfinite(values[0])
    assert math.isnan(values[1])
