"""The recipes of the documentation, run through their example scripts at small sizes and
checked against direct integrals over the source (tests/profile_reference.py)."""

import math

import numpy as np
import obrivane
import pytest
from example_loader import load_example
from profile_reference import LIMB_DARKENED, point_lens, profile_magnification


class LinearLaw:
    """I = 1 - c (1 - mu), for the direct integral."""

    kinks = ()

    def __init__(self, c):
        self.c = c

    def brightness(self, x2, one_minus_x2):
        return 1 - self.c + self.c * math.sqrt(max(one_minus_x2, 0.0))

    def flux(self):
        return math.pi * (1 - self.c / 3)


class QuadraticLaw:
    """I = 1 - a (1 - mu) - b (1 - mu)^2, for the direct integral."""

    kinks = ()

    def __init__(self, a, b):
        self.a, self.b = a, b

    def brightness(self, x2, one_minus_x2):
        w = 1 - math.sqrt(max(one_minus_x2, 0.0))
        return 1 - self.a * w - self.b * w * w

    def flux(self):
        # 2 pi int_0^1 I mu dmu in mu = sqrt(1 - x^2): pi (1 - a/3 - b/6).
        return math.pi * (1 - self.a / 3 - self.b / 6)


RHO = 0.05
SEPARATIONS = [0.3, 0.97, 1.5]


def test_event_light_curve_follows_the_event_geometry(capsys):
    example = load_example("event_light_curve")
    t0, u0, tE, rho = 100.0, 0.01, 20.0, 0.02
    t = np.array([t0 - 10.0, t0 - 0.1, t0, t0 + 0.1, t0 + 10.0])
    uniform = example.magnification(t, t0, u0, tE, rho)
    limb = example.magnification(t, t0, u0, tE, rho, u1=0.6)
    assert isinstance(uniform, np.ndarray) and uniform.dtype == np.float64
    np.testing.assert_array_equal(uniform, uniform[::-1])  # symmetric about t0
    # Far from the peak the source nearly looks like a point.
    u_far = math.hypot(u0, 10.0 / tE)
    assert uniform[0] == pytest.approx(
        profile_magnification(u_far / rho, 1 / rho, LinearLaw(0.0)), rel=1e-8
    )
    assert uniform[0] == pytest.approx(point_lens(u_far), rel=1e-3)
    # At the peak, against the direct integral over a source of radius rho.
    separation = u0 / rho
    assert uniform[2] == pytest.approx(
        profile_magnification(separation, 1 / rho, LinearLaw(0.0)), rel=1e-8
    )
    assert limb[2] == pytest.approx(
        profile_magnification(separation, 1 / rho, LIMB_DARKENED), rel=1e-6
    )
    example.main(5)
    rows = [line.split() for line in capsys.readouterr().out.splitlines()[2:]]
    assert len(rows) == 5 and all(len(row) == 4 for row in rows)


@pytest.fixture(scope="module")
def references():
    """Direct integrals for the uniform disk and the built-in law, at SEPARATIONS."""
    q = 1 / RHO
    return {
        "uniform": [profile_magnification(s, q, LinearLaw(0.0)) for s in SEPARATIONS],
        "builtin": [profile_magnification(s, q, LIMB_DARKENED) for s in SEPARATIONS],
    }


@pytest.mark.parametrize("c", [0.0, 0.25, 0.6, 0.85, 1.0])
def test_any_linear_coefficient_from_the_two_builtin_results(c, references):
    example = load_example("limb_darkening_coefficient")
    got = example.linear_limb_darkening(SEPARATIONS, 1.0, RHO, c)
    uniform = np.array(obrivane.witt_mao_magnification(SEPARATIONS, 1.0, RHO))
    builtin = np.array(obrivane.integrated_witt_mao_magnification(SEPARATIONS, 1.0, RHO))
    # The identity is exact, so its result is as good as its two inputs: its error is their
    # errors against the direct integrals, carried through its coefficients.
    error_uniform = np.abs(uniform - references["uniform"])
    error_builtin = np.abs(builtin - references["builtin"])
    weight_builtin = (4 * c / 3) / (1 - c / 3)
    weight_uniform = abs(1 - c - 2 * c / 3) / (1 - c / 3)
    for s, value, e_u, e_b in zip(SEPARATIONS, got, error_uniform, error_builtin, strict=True):
        expected = profile_magnification(s, 1 / RHO, LinearLaw(c))
        bound = weight_uniform * e_u + weight_builtin * e_b + 1e-9 * expected
        assert abs(value - expected) <= bound, (s, value, expected)
    if c == 0.0:
        np.testing.assert_array_equal(got, uniform)
    if c == 0.6:
        np.testing.assert_allclose(got, builtin, rtol=4e-15)


def test_linear_coefficient_agrees_with_a_tabulated_law():
    example = load_example("limb_darkening_coefficient")
    separations = [0.5, 1.2, 3.0]
    exact = example.linear_limb_darkening(separations, 1.0, RHO, 0.45)
    table = example.tabulated_linear_law(separations, 1.0, RHO, 0.45, rows=801)
    np.testing.assert_allclose(table, exact, rtol=1e-6)


def test_quadratic_reference_is_the_source_integral():
    example = load_example("quadratic_law")
    for s in (0.4, 1.3):
        expected = profile_magnification(s, 1 / RHO, QuadraticLaw(example.A, example.B))
        assert example.reference(s, 1.0, RHO) == pytest.approx(expected, rel=1e-9)


def test_quadratic_accuracy_improves_with_rows_and_with_limb_dense_rows():
    example = load_example("quadratic_law")
    table = example.accuracy_table(rows=(8, 32, 128), separations=(0.5, 0.98, 2.0))
    uniform = [row[1] for row in table]
    limb_dense = [row[2] for row in table]
    assert uniform == sorted(uniform, reverse=True)
    assert limb_dense == sorted(limb_dense, reverse=True)
    assert all(d < u for u, d in zip(uniform, limb_dense, strict=True))
    assert limb_dense[-1] < 1e-4


def test_rows_of_both_samplings_span_the_source():
    example = load_example("quadratic_law")
    for rows in (example.uniform_rows(9), example.limb_dense_rows(9)):
        assert rows[0] == 0.0 and rows[-1] == 1.0 and np.all(np.diff(rows) > 0)
    dense = example.limb_dense_rows(9)
    assert np.diff(dense)[-1] < np.diff(dense)[0]


def test_fit_recovers_the_simulated_event():
    example = load_example("fit_event")
    t, observed, sigma = example.simulate(240, seed=7)
    result, errors = example.fit(t, observed, sigma)
    assert result.success
    chi2 = 2 * result.cost
    assert chi2 / (len(t) - 6) == pytest.approx(1.0, abs=0.35)
    for name, value, error in zip(example.NAMES, result.x, errors, strict=True):
        assert abs(value - example.TRUE[name]) < 5 * error, name


def test_numpy_results_convert_without_change(capsys):
    example = load_example("numpy_results")
    separations = np.linspace(0.0, 4.0, 9)
    array = example.as_array(separations, 1.0, RHO)
    assert array.dtype == np.float64
    assert array.tolist() == obrivane.witt_mao_magnification(separations.tolist(), 1.0, RHO)
    grid = example.as_grid(separations, [1.0, 2.0], [0.01, 0.05, 0.1])
    assert grid.shape == (6, 9)
    np.testing.assert_array_equal(grid[5], obrivane.witt_mao_magnification(separations, 2.0, 0.1))
    example.main(2000)
    lines = capsys.readouterr().out.splitlines()
    assert len(lines) == 6
    assert lines[2].split()[-1] == "1.00"
