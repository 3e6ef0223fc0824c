"""The tanh-sinh integrator: stopping levels and evaluation counts, agreement with the tanh-sinh
sum recomputed from its definition at high precision, and the handling of the integrand."""

import gc
import math
import sys

import mpmath
import pytest
from conftest import ulp_error

LEVEL_OF_EVALUATIONS = {25: 3, 49: 4, 97: 5, 193: 6, 385: 7}


def integrate(testing_module, integrand, a, b, target):
    return testing_module.integrate(integrand, a, b, target)


def nearest_double(value: mpmath.mpf) -> float:
    with mpmath.workprec(53):
        return float(+value)


def level_estimates(integrand, a, b, last_level, *, rounded_points=False):
    """Tanh-sinh estimates of the integral over [a, b] after levels 0 .. last_level, from the
    definition: h * sum over t = j*h, |t| <= 3, of w(t) f(M + H x(t)), with x(t) = tanh(pi/2
    sinh t) and w(t) = pi/2 cosh t / cosh^2(pi/2 sinh t); level 0 is the midpoint term with
    h = 2. With rounded_points the integrand is evaluated where binary64 arithmetic places the
    point (abscissa rounded to the nearest double), which matters for end-point singularities."""
    with mpmath.workdps(40):
        a_mp, b_mp = mpmath.mpf(a), mpmath.mpf(b)
        half_width, midpoint = (b_mp - a_mp) / 2, (a_mp + b_mp) / 2
        finest = mpmath.mpf(2) ** -(last_level - 1)
        values = {0: integrand(midpoint)}  # keyed by j, t = j * finest
        for j in range(1, int(3 / finest) + 1):
            t = j * finest
            u = mpmath.pi / 2 * mpmath.sinh(t)
            abscissa = mpmath.tanh(u)
            if rounded_points:
                abscissa = mpmath.mpf(nearest_double(abscissa))
            weight = mpmath.pi / 2 * mpmath.cosh(t) / mpmath.cosh(u) ** 2
            values[j] = weight * (
                integrand(midpoint + half_width * abscissa)
                + integrand(midpoint - half_width * abscissa)
            )
        estimates = [half_width * mpmath.pi * values[0]]
        for level in range(1, last_level + 1):
            stride = 2 ** (last_level - level)
            step = mpmath.mpf(2) ** -(level - 1)
            total = mpmath.pi / 2 * values[0] + sum(
                values[j] for j in range(stride, len(values), stride)
            )
            estimates.append(half_width * step * total)
        return estimates


SMOOTH_CASES = [
    # (name, integrand in binary64, integrand for mpmath, a, b)
    ("exp", math.exp, mpmath.exp, 0.0, 1.0),
    ("cos", math.cos, mpmath.cos, -1.0, 2.0),
    ("lorentzian", lambda x: 1.0 / (1.0 + x * x), lambda x: 1 / (1 + x * x), 0.0, 1.0),
    ("cubic", lambda x: x * x * x, lambda x: x**3, 0.0, 1.0),
    ("sqrt", math.sqrt, mpmath.sqrt, 0.0, 1.0),
    ("exp_wide", math.exp, mpmath.exp, -3.0, 5.0),
]

SINGULAR_CASES = [
    ("inverse_sqrt", lambda x: 1.0 / math.sqrt(x), lambda x: 1 / mpmath.sqrt(x), 0.0, 1.0),
    ("log", math.log, mpmath.log, 0.0, 1.0),
]


@pytest.mark.parametrize(("name", "f", "f_mp", "a", "b"), SMOOTH_CASES)
def test_matches_the_tanh_sinh_sum_of_the_definition(testing_module, name, f, f_mp, a, b):
    integral, _, evaluations = integrate(testing_module, f, a, b, 1e-16)
    level = LEVEL_OF_EVALUATIONS[evaluations]
    reference = level_estimates(f_mp, a, b, level)[-1]
    assert ulp_error(integral, reference) <= 3.0, name


@pytest.mark.parametrize(("name", "f", "f_mp", "a", "b"), SINGULAR_CASES)
def test_end_point_singularity_matches_the_sum_at_binary64_points(
    testing_module, name, f, f_mp, a, b
):
    integral, _, evaluations = integrate(testing_module, f, a, b, 1e-16)
    assert evaluations == 385
    reference = level_estimates(f_mp, a, b, 7, rounded_points=True)[-1]
    assert ulp_error(integral, reference) <= 3.0, name


@pytest.mark.parametrize(
    ("name", "expected", "f"),
    [
        ("one", 1.0, lambda x: 1.0),
        ("x", 0.5, lambda x: x),
        ("sqrt", 2.0 / 3.0, math.sqrt),
    ],
)
def test_full_table_falls_short_in_the_fourteenth_digit(testing_module, name, expected, f):
    # The table stops at t = 3, so the tails beyond the outermost points (about 2e-14 from
    # each end) are missing whatever the target.
    integral, error_estimate, evaluations = integrate(testing_module, f, 0.0, 1.0, 1e-16)
    assert evaluations == 385
    shortfall = (expected - integral) / expected
    assert 1e-14 <= shortfall < 1e-13, name
    assert 1e-15 < error_estimate < 1e-13, name


def test_inverse_sqrt_falls_short_in_the_seventh_digit(testing_module):
    points = []

    def inverse_sqrt(x):
        points.append(x)
        return 1.0 / math.sqrt(x)

    integral, _, evaluations = integrate(testing_module, inverse_sqrt, 0.0, 1.0, 1e-16)
    assert evaluations == 385 == len(points)
    assert all(0.0 < x < 1.0 for x in points)
    assert 1e-7 <= (2.0 - integral) / 2.0 < 1e-6


@pytest.mark.parametrize(
    ("f", "target", "evaluations"),
    [
        (lambda x: 1.0, 1e-3, 25),
        (lambda x: x * x, 1e-6, 49),
        (lambda x: 1.0, 1e-16, 385),
    ],
)
def test_stopping_level(testing_module, f, target, evaluations):
    assert integrate(testing_module, f, 0.0, 1.0, target)[2] == evaluations


@pytest.mark.parametrize("value", [math.nan, math.inf, -math.inf, 0.0])
@pytest.mark.parametrize("target", [1e-16, 0.0, -1.0])
def test_zero_difference_stops_at_level_three(testing_module, value, target):
    # Every value is dropped (or zero), so the difference at level 3 is exactly zero, which
    # stops the rule whatever the target, even one no estimate could ever fall below.
    assert integrate(testing_module, lambda x: value, 0.0, 1.0, target) == (0.0, 0.0, 25)


@pytest.mark.parametrize("value", [math.inf, -math.inf, math.nan])
def test_non_finite_values_are_dropped_point_by_point(testing_module, value):
    # A non-finite value at one evaluation point weighs exactly like a zero there.
    pole = 0.5 + 0.5 * 0.9513679640727469

    def with_pole(x):
        return value if x == pole else math.exp(x)

    def with_zero(x):
        return 0.0 if x == pole else math.exp(x)

    with_pole_result = integrate(testing_module, with_pole, 0.0, 1.0, 1e-16)
    assert with_pole_result == integrate(testing_module, with_zero, 0.0, 1.0, 1e-16)
    assert with_pole_result != integrate(testing_module, math.exp, 0.0, 1.0, 1e-16)


def lorentzian(width):
    return (lambda x: 1.0 / (width + x * x)), (lambda x: 1 / (mpmath.mpf(width) + x * x))


@pytest.mark.parametrize(
    ("name", "f", "f_mp", "a", "b", "target"),
    [
        # Targets chosen so that the rule stops where the differences are far above rounding.
        ("exp", math.exp, mpmath.exp, 0.0, 1.0, 1e-6),
        ("cos", math.cos, mpmath.cos, -1.0, 2.0, 1e-7),
        ("lorentzian", *lorentzian(1.0), 0.0, 1.0, 1e-7),
        # Ratio 2.23 at level 4: just outside the quadratic window.
        ("lorentzian_0.2", *lorentzian(0.2), 0.0, 1.0, 1e-5),
        # Ratio 1.886 at level 5: just below the quadratic window.
        ("lorentzian_0.1", *lorentzian(0.1), 0.0, 1.0, 1e-10),
        # Ratio 1.933 at level 4: quadratic convergence, squared difference as estimate.
        (
            "inverse_fourth_root",
            lambda x: x**-0.25,
            lambda x: x ** mpmath.mpf(-0.25),
            0.0,
            1.0,
            1e-12,
        ),
        (
            "gaussian",
            lambda x: math.exp(-100.0 * (x - 0.3) ** 2),
            lambda x: mpmath.exp(-100 * (x - mpmath.mpf(0.3)) ** 2),
            0.0,
            1.0,
            1e-4,
        ),
        ("sqrt", math.sqrt, mpmath.sqrt, 0.0, 1.0, 1e-4),
        # The level-3 difference lies between the effective target (target / 4) / H and twice it.
        ("sqrt", math.sqrt, mpmath.sqrt, 0.0, 1.0, 2.4e-5),
        ("sqrt", math.sqrt, mpmath.sqrt, 0.0, 4.0, 1.72e-4),
        (
            "inverse_sqrt",
            lambda x: 1.0 / math.sqrt(x),
            lambda x: 1 / mpmath.sqrt(x),
            0.0,
            1.0,
            1e-3,
        ),
        # Never below the target: the level-7 estimate with its last difference.
        (
            "inverse_sqrt",
            lambda x: 1.0 / math.sqrt(x),
            lambda x: 1 / mpmath.sqrt(x),
            0.0,
            1.0,
            1e-7,
        ),
    ],
)
def test_stopping_rule_against_reference_differences(testing_module, name, f, f_mp, a, b, target):
    # Independent prediction of the stopping level and error estimate from the exact level
    # estimates I_k: the difference at level k is |I_(k-1) - I_k| / H; from level 3 on, a ratio
    # of logarithms of successive differences in (1.9, 2.1) means quadratic convergence and the
    # squared difference is the estimate, otherwise the difference itself; the rule stops once
    # the estimate is below target / (4 H), and otherwise returns the level-7 estimate.
    estimates = level_estimates(f_mp, a, b, 7, rounded_points=True)
    half_width = (b - a) / 2
    scaled_target = target / (4 * half_width)
    differences = [abs(estimates[k - 1] - estimates[k]) / half_width for k in range(1, 8)]
    expected_level = 7
    for level in range(3, 8):
        difference, previous = differences[level - 1], differences[level - 2]
        ratio = mpmath.log(difference) / mpmath.log(previous)
        assert abs(ratio - 1.9) > 0.01 and abs(ratio - 2.1) > 0.01, "borderline case"
        quadratic = 1.9 < ratio < 2.1
        error = difference**2 if quadratic else difference
        assert abs(error / scaled_target - 1) > 0.01, "borderline case"
        if error < scaled_target:
            expected_level = level
            break

    integral, error_estimate, evaluations = integrate(testing_module, f, a, b, target)
    assert LEVEL_OF_EVALUATIONS[evaluations] == expected_level, name
    # The binary64 difference carries the rounding of the level sums, a few ulps of I / H.
    difference_slack = 8 * math.ulp(abs(integral / half_width))
    tolerance = half_width * difference_slack * (2 * float(difference) if quadratic else 1.0)
    assert error_estimate == pytest.approx(float(half_width * error), rel=0.0, abs=tolerance)


def table_abscissas():
    from test_quadrature_table import committed_levels

    return [abscissa for level in committed_levels() for _, abscissa in level]


@pytest.mark.parametrize(("a", "b"), [(0.0, 1.0), (-2.0, 3.0)])
def test_evaluation_order_and_points(testing_module, a, b):
    points = []

    def record(x):
        points.append(x)
        return 1.0 + x

    _, _, evaluations = integrate(testing_module, record, a, b, 1e-16)
    half_width, midpoint = (b - a) * 0.5, (a + b) * 0.5
    expected = [midpoint + half_width * 0.0]
    for abscissa in table_abscissas():
        expected += [midpoint + half_width * abscissa, midpoint - half_width * abscissa]
    assert evaluations == len(points)
    assert points == expected[:evaluations]
    assert all(a < x < b for x in points)


def test_builtin_integrands_agree_with_python_callables(testing_module):
    cases = {
        "one": lambda x: 1.0,
        "x": lambda x: x,
        "x_squared": lambda x: x * x,
        "sqrt": math.sqrt,
        "inverse_sqrt": lambda x: 1.0 / math.sqrt(x),
        "nan": lambda x: math.nan,
    }
    for name, f in cases.items():
        for target in (1e-3, 1e-16):
            assert testing_module.integrate_builtin(name, 0.0, 1.0, target) == integrate(
                testing_module, f, 0.0, 1.0, target
            ), name


class Boom(Exception):
    pass


def test_exception_in_integrand_is_raised_after_integration(testing_module):
    calls = []
    failure = Boom("integrand failed")
    baseline = sys.getrefcount(failure)

    def fails_on_tenth_call(x):
        calls.append(x)
        if len(calls) == 10:
            raise failure
        return x

    baseline_callable = sys.getrefcount(fails_on_tenth_call)
    with pytest.raises(Boom) as caught:
        integrate(testing_module, fails_on_tenth_call, 0.0, 1.0, 1e-16)
    assert caught.value is failure
    assert len(calls) == 10  # Python is not called again once it has raised
    del caught
    failure.__traceback__ = None
    gc.collect()
    assert sys.getrefcount(failure) == baseline
    assert sys.getrefcount(fails_on_tenth_call) == baseline_callable


@pytest.mark.parametrize(
    ("returned", "exception"),
    [("text", TypeError), (None, TypeError), (1j, TypeError)],
)
def test_non_float_result_raises(testing_module, returned, exception):
    with pytest.raises(exception):
        integrate(testing_module, lambda x: returned, 0.0, 1.0, 1e-16)


def test_integer_results_are_accepted(testing_module):
    assert integrate(testing_module, lambda x: 1, 0.0, 1.0, 1e-3) == integrate(
        testing_module, lambda x: 1.0, 0.0, 1.0, 1e-3
    )


@pytest.mark.parametrize("target", [1e-2, 1e-4, 1e-8, 1e-12, 0.0])
@pytest.mark.parametrize(
    ("c0", "c1", "a", "b"), [(1.0, 0.0, 0.0, 1.0), (2.0, 3.0, -1.0, 2.5), (-0.5, 7.0, 3.0, 3.5)]
)
def test_integral_to_the_ends_is_exact_for_lines(testing_module, target, c0, c1, a, b):
    # integrate() alone is off by up to a relative 4e-14 for an integrand that does not vanish at
    # the ends (its weights do not sum to 2); integrate_to_the_ends makes that good at every level
    # the targets reach (25 to 385 points).
    integral, _ = testing_module.integrate_line_to_the_ends(c0, c1, a, b, target)
    exact = c0 * (b - a) + c1 * (b * b - a * a) / 2
    assert abs(integral - exact) <= 4 * math.ulp(exact)
