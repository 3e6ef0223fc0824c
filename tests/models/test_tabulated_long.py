"""Long tables (a thousand rows and more) near the source, where the integrated flux-map functions
sum the table's changes of slope in groups of neighbouring knots: against the integral of the
interpolant over the source radius (tests/tabulated_reference.py), with separations on knots, a
rounding step beside them, and on the knots that bound the groups (the table's middle, quarters
and every 32nd knot); tables with kinks and jumps among many rows; and the same value whatever
the size of the worker pool.

s is the separation of the source centre from the lens in stellar radii (the argument l) and rho
the source radius in Einstein radii (re = 1, rstar = rho).
"""

import math

import numpy as np
import obrivane
import pytest
import tabulated_reference
from pool_runs import outputs_with_pool_sizes
from profile_reference import relative_error

TOLERANCE = 1e-10


def limb_law(rows, spacing):
    """I = 0.4 + 0.6 mu on `rows` radii, evenly spaced or dense towards the limb."""
    k = np.arange(rows)
    radii = k / (rows - 1) if spacing == "uniform" else np.sin(np.pi * k / (2 * (rows - 1)))
    radii[-1] = 1.0
    values = 0.4 + 0.6 * np.sqrt(np.maximum(1 - radii * radii, 0.0))
    return radii.tolist(), values.tolist()


def group_edges(bl):
    """Separations on and beside the knots where the groups of knots begin and end."""
    rows = len(bl)
    knots = [bl[rows // 2], bl[rows // 2 - 1], bl[rows // 4], bl[3 * rows // 4], bl[32], bl[64 * 5]]
    around = []
    for knot in knots:
        around += [knot, math.nextafter(knot, 0), math.nextafter(knot, 1), knot + 1e-7]
    return around


def check(separations, rho, bl, bf):
    for function in (
        obrivane.integrated_flux_map_witt_mao_magnification,
        obrivane.integrated_flux_map_heyrovsky_magnification,
    ):
        values = function(separations, 1.0, rho, bl, bf)
        for s, value in zip(separations, values, strict=True):
            expected = tabulated_reference.magnification(s, rho, bl, bf)
            assert relative_error(value, expected) < TOLERANCE, (s, rho)


@pytest.mark.parametrize("spacing", ["uniform", "limb"])
@pytest.mark.parametrize("rho", [0.01, 0.1, 1.0])
def test_thousand_rows_on_and_beside_the_group_edges(spacing, rho):
    bl, bf = limb_law(1000, spacing)
    separations = [0.0, 1e-9, 0.05, *group_edges(bl), 0.999, 1.0, 1.0 + 1e-9, 2.0, 3.999]
    check(separations, rho, bl, bf)


@pytest.mark.parametrize("rho", [0.01, 1.0])
def test_ten_thousand_rows(rho):
    bl, bf = limb_law(10000, "limb")
    check([0.0, bl[5000], math.nextafter(bl[2500], 0), 0.99999, 1.5], rho, bl, bf)


def kinked_table(rows):
    """Many rows with a jump (a repeated radius), a kink, and an end before the limb: 1 - 0.3 x
    up to 0.4, then 0.75 - 0.2 (x - 0.4) up to 0.6, then 0.71 - 0.9 (x - 0.6) up to 0.85."""
    third = rows // 3
    inner = np.linspace(0.0, 0.4, third)
    middle = np.linspace(0.4, 0.6, third)
    outer = np.linspace(0.6, 0.85, rows - 2 * third)[1:]
    bl = [*inner, *middle, *outer]
    bf = [
        *(1 - 0.3 * inner),
        *(0.75 - 0.2 * (middle - 0.4)),
        *(0.71 - 0.9 * (outer - 0.6)),
    ]
    return [float(x) for x in bl], [float(y) for y in bf]


@pytest.mark.parametrize("rho", [0.01, 0.3, 3.0])
def test_many_rows_with_kinks_and_jumps(rho):
    bl, bf = kinked_table(1500)
    separations = [0.0, 0.2, 0.4, math.nextafter(0.4, 1), 0.6, 0.6 - 1e-10, 0.85, 0.86, 1.0, 2.5]
    check(separations, rho, bl, bf)


def test_table_starting_inside_the_source():
    # Dark below x = 0.1: the profile jumps there and at the limb.
    radii = np.linspace(0.1, 1.0, 800)
    bl, bf = radii.tolist(), (1.2 - 0.5 * radii).tolist()
    check([0.0, 0.05, 0.1, 0.1 + 1e-12, 0.55, 1.0, 1.7], 0.05, bl, bf)


@pytest.mark.parametrize("rho", [1e-4, 0.1, 10.0, 100.0])
def test_long_table_agrees_with_the_piece_by_piece_sum(testing_module, rho):
    # The pieces one by one (the evaluation used for short tables) on a dense grid of
    # separations, among them the whole band of large sources whose rims' branch points
    # (2/rho off the real axis) come close to the source.
    bl, bf = limb_law(2000, "limb")
    separations = [i / 250 for i in range(1000)]
    values = obrivane.integrated_flux_map_witt_mao_magnification(separations, 1.0, rho, bl, bf)
    for s, value in zip(separations, values, strict=True):
        expected = testing_module.tabulated_near_magnification(s, rho, bl, bf)
        assert relative_error(value, expected) < 1e-11, s


_PROGRAM = """
import numpy as np
import obrivane
rows = 3000
k = np.arange(rows)
radii = np.sin(np.pi * k / (2 * (rows - 1)))
bl = radii.tolist()
bf = (0.4 + 0.6 * np.sqrt(np.maximum(1 - radii * radii, 0.0))).tolist()
separations = [i / 97 for i in range(400)]
values = obrivane.integrated_flux_map_heyrovsky_magnification(separations, 1.0, 0.2, bl, bf)
print([v.hex() for v in values])
"""


def test_long_table_does_not_depend_on_the_pool_size():
    first, *others = outputs_with_pool_sizes(_PROGRAM)
    assert first and all(output == first for output in others)


@pytest.mark.parametrize("rows", [1000, 10_000])
@pytest.mark.parametrize("rho", [1e3, 1e5])
def test_long_limb_crowded_table_never_below_one(rows, rho):
    # A large source seen from a few source radii away magnifies by less than rounding; the steep
    # slopes of a limb-crowded table must not take the mean below 1.
    bl, bf = limb_law(rows, "limb")
    separations = list(np.linspace(3.0, 3.999, 40))
    for function in (
        obrivane.integrated_flux_map_witt_mao_magnification,
        obrivane.integrated_flux_map_heyrovsky_magnification,
    ):
        assert all(value >= 1 for value in function(separations, 1.0, rho, bl, bf))
