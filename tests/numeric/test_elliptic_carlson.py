"""Carlson's symmetric elliptic integrals R_C, R_F, R_D, R_J and R_G against mpmath at 40 digits
and against the published test values of Carlson (1995).

Random sweeps state the relative error in units of the machine epsilon 2**-52 (which equals the
error in ulps for results in [1, 2) and is up to half of it elsewhere); single values are checked
in ulps of the exact result."""

import math
import random

import mpmath
import pytest
from conftest import ulp_error

mpmath.mp.dps = 40
EPSILON = 2.0**-52
SAMPLES = 300
NAN = math.nan
INF = math.inf

RF_DOMAIN = "elliprf: x, y, and z must be non-negative, and at most one can be zero."
RJ_DOMAIN = "elliprj: x, y, and z must be non-negative, and at most one can be zero."
RD_DOMAIN = "elliprd: x and y must be non-negative, and at most one can be zero."


def relative_error_in_epsilons(actual: float, exact) -> float:
    return float(abs((mpmath.mpf(actual) - exact) / exact)) / EPSILON


def log_uniform(rng: random.Random) -> float:
    return 10.0 ** rng.uniform(-3, 3)


# ---------------------------------------------------------------------------------------------
# Messages, in the order the checks are made.

MESSAGES = [
    ("elliprc", (-1.0, 1.0), "elliprc: x must be non-negative."),
    ("elliprc", (-1.0, 0.0), "elliprc: x must be non-negative."),
    ("elliprc", (1.0, 0.0), "elliprc: y must be non-zero."),
    ("elliprc", (0.0, -0.0), "elliprc: y must be non-zero."),
    ("elliprf", (-1.0, 1.0, 1.0), RF_DOMAIN),
    ("elliprf", (1.0, 1.0, -1e-300), RF_DOMAIN),
    ("elliprf", (0.0, 0.0, 1.0), RF_DOMAIN),
    ("elliprf", (1.0, 0.0, 0.0), RF_DOMAIN),
    ("elliprf", (0.0, 1.0, 0.0), RF_DOMAIN),
    ("elliprf", (0.0, 0.0, 0.0), RF_DOMAIN),
    ("elliprf", (1e-300, 1.0, 1e300), "elliprf: Failed to converge."),
    ("elliprf", (NAN, 1.0, 2.0), "elliprf: Failed to converge."),
    ("elliprf", (1.0, 2.0, NAN), "elliprf: Failed to converge."),
    ("elliprd", (-1.0, 1.0, 1.0), RD_DOMAIN),
    ("elliprd", (1.0, -1.0, -1.0), RD_DOMAIN),
    ("elliprd", (0.0, 0.0, 1.0), RD_DOMAIN),
    ("elliprd", (1.0, 1.0, 0.0), "elliprd: z must be positive"),
    ("elliprd", (1.0, 1.0, -2.0), "elliprd: z must be positive"),
    ("elliprd", (NAN, 1.0, 2.0), "elliprd: Failed to converge."),
    ("elliprd", (1.0, 2.0, NAN), "elliprd: Failed to converge."),
    ("elliprj", (-1.0, 1.0, 1.0, 1.0), RJ_DOMAIN),
    ("elliprj", (0.0, 0.0, 1.0, 1.0), RJ_DOMAIN),
    ("elliprj", (1.0, 0.0, 0.0, 1.0), RJ_DOMAIN),
    ("elliprj", (0.0, 0.0, 1.0, 0.0), RJ_DOMAIN),
    ("elliprj", (1.0, 2.0, 3.0, 0.0), "elliprj: p must be non-zero"),
    ("elliprj", (1.0, 2.0, 3.0, -0.0), "elliprj: p must be non-zero"),
    ("elliprj", (NAN, 1.0, 2.0, 3.0), "elliprj: Fail to converge"),
    ("elliprj", (1.0, 2.0, 3.0, NAN), "elliprj: Fail to converge"),
    ("elliprg", (-1.0, 1.0, 1.0), "elliprg: x, y, and z must be non-negative."),
    ("elliprg", (1.0, 1.0, -1.0), "elliprg: x, y, and z must be non-negative."),
]


@pytest.mark.parametrize("name, arguments, message", MESSAGES)
def test_message(testing_module, name, arguments, message):
    with pytest.raises(RuntimeError) as raised:
        getattr(testing_module, name)(*arguments)
    assert str(raised.value) == message
    assert type(raised.value) is RuntimeError


@pytest.mark.parametrize("arguments", [(NAN, 1.0), (1.0, NAN), (NAN, -1.0)])
def test_elliprc_passes_nan_through(testing_module, arguments):
    assert math.isnan(testing_module.elliprc(*arguments))


# ---------------------------------------------------------------------------------------------
# Published test values (Carlson 1995, Numer. Algorithms 10, 13-26), printed to 14 digits.

PUBLISHED = [
    ("elliprf", (1.0, 2.0, 0.0), "1.3110287771461"),
    ("elliprf", (2.0, 3.0, 4.0), "0.58408284167715"),
    ("elliprc", (0.0, 0.25), "3.1415926535898"),
    ("elliprc", (2.25, 2.0), "0.69314718055995"),
    ("elliprc", (0.25, -2.0), "0.23104906018665"),
    ("elliprj", (0.0, 1.0, 2.0, 3.0), "0.77688623778582"),
    ("elliprj", (2.0, 3.0, 4.0, 5.0), "0.14297579667157"),
    ("elliprj", (2.0, 3.0, 4.0, -0.5), "0.24723819703052"),
    ("elliprj", (2.0, 3.0, 4.0, -5.0), "-0.12711230042964"),
    ("elliprd", (0.0, 2.0, 1.0), "1.7972103521034"),
    ("elliprd", (2.0, 3.0, 4.0), "0.16510527294261"),
    ("elliprg", (0.0, 16.0, 16.0), "3.1415926535898"),
    ("elliprg", (2.0, 3.0, 4.0), "1.7255030280692"),
    ("elliprg", (0.0, 0.0796, 4.0), "1.0284758090288"),
]


def mpmath_reference(name: str, arguments):
    """mpmath's value; for p < 0 or y < 0 the real part is the Cauchy principal value."""
    return mpmath.re(getattr(mpmath, name)(*arguments))


@pytest.mark.parametrize("name, arguments, printed", PUBLISHED)
def test_published_value(testing_module, name, arguments, printed):
    value = getattr(testing_module, name)(*arguments)
    significant = len(printed.lstrip("-0.").replace(".", ""))
    exponent = math.floor(math.log10(abs(float(printed))))
    half_unit = 0.5 * 10.0 ** (exponent - significant + 1)
    assert abs(value - float(printed)) <= half_unit * (1 + 1e-9) + math.ulp(value)
    # The principal value of R_J sums three terms of mixed sign and loses a few more bits.
    principal_value = name == "elliprj" and arguments[3] < 0
    assert ulp_error(value, mpmath_reference(name, arguments)) <= (8 if principal_value else 4)


# ---------------------------------------------------------------------------------------------
# Closed forms and special arguments.

SPECIAL_VALUES = [
    ("elliprc", (0.0, 0.25), mpmath.pi, 1),
    ("elliprc", (2.25, 2.0), mpmath.log(2), 1),
    ("elliprc", (0.25, -2.0), mpmath.log(2) / 3, 2),
    ("elliprc", (3.0, 3.0), 1 / mpmath.sqrt(3), 1),
    ("elliprc", (1e-300, 1e-300), 1 / mpmath.sqrt(mpmath.mpf(1e-300)), 1),
    ("elliprc", (0.0, -4.0), mpmath.mpf(0), 0),
    ("elliprf", (1.0, 1.0, 1.0), mpmath.mpf(1), 0),
    ("elliprf", (4.0, 4.0, 4.0), mpmath.mpf(0.5), 0),
    ("elliprf", (0.5, 1.0, 0.0), mpmath.ellipk(0.5), 1.5),
    ("elliprf", (2.0, 2.0, 0.0), mpmath.pi / (2 * mpmath.sqrt(2)), 1),
    ("elliprf", (3.0, 0.0, 3.0), mpmath.pi / (2 * mpmath.sqrt(3)), 1),
    ("elliprf", (0.0, 5.0, 5.0), mpmath.pi / (2 * mpmath.sqrt(5)), 1),
    ("elliprf", (1.0, 2.0, 1e40), mpmath.elliprf(1, 2, mpmath.mpf(1e40)), 4),
    ("elliprd", (0.0, 2.0, 2.0), 3 * mpmath.pi / (4 * mpmath.mpf(2) ** 1.5), 1.5),
    ("elliprd", (3.0, 3.0, 3.0), mpmath.mpf(3) ** -1.5, 1),
    ("elliprg", (0.0, 16.0, 16.0), mpmath.pi, 1),
    ("elliprg", (0.0, 0.0, 9.0), mpmath.mpf(1.5), 0.5),
    ("elliprg", (0.0, 7.0, 0.0), mpmath.sqrt(7) / 2, 1),
    ("elliprg", (5.0, 5.0, 5.0), mpmath.sqrt(5), 0.5),
    ("elliprg", (0.0, 0.0, 0.0), mpmath.mpf(0), 0),
    ("elliprj", (2.0, 2.0, 2.0, 2.0), mpmath.mpf(2) ** -1.5, 1),
    ("elliprj", (1.0, 1.0, 0.0, 1.0), mpmath.elliprj(1, 1, 0, 1), 4),
]


@pytest.mark.parametrize("name, arguments, exact, max_ulps", SPECIAL_VALUES)
def test_special_value(testing_module, name, arguments, exact, max_ulps):
    assert ulp_error(getattr(testing_module, name)(*arguments), exact) <= max_ulps


def test_zero_argument_branch_of_rf_is_k(testing_module):
    # R_F(0.5, 1, 0) takes the AGM branch, K(0.5) the polynomial about 0.45: each is about one
    # ulp from the true value, so they agree to two.
    assert abs(testing_module.elliprf(0.5, 1.0, 0.0) - testing_module.ellipk(0.5)) <= 2 * math.ulp(
        1.85
    )


@pytest.mark.parametrize("x, y, z", [(1.0, 2.0, 3.0), (0.0, 2.0, 3.0), (5.0, 1e-3, 7.0)])
def test_elliprf_is_symmetric(testing_module, x, y, z):
    reference = mpmath.elliprf(x, y, z)
    for arguments in [(x, y, z), (y, z, x), (z, x, y), (y, x, z), (x, z, y), (z, y, x)]:
        assert ulp_error(testing_module.elliprf(*arguments), reference) <= 3


def test_unchecked_elliprj_agrees_with_elliprj_for_positive_p(testing_module):
    rng = random.Random(5)
    for _ in range(50):
        arguments = [log_uniform(rng) for _ in range(4)]
        assert testing_module._elliprj(*arguments) == testing_module.elliprj(*arguments)


# ---------------------------------------------------------------------------------------------
# Random sweeps against mpmath. Each entry: routine, argument generator, reference, bound in
# epsilons (the expected accuracy with a little headroom).


def positive(count):
    return lambda rng: tuple(log_uniform(rng) for _ in range(count))


def with_zero_first(count):
    return lambda rng: (0.0, *(log_uniform(rng) for _ in range(count - 1)))


def principal_rj(x, y, z, p):
    """Real part of mpmath's R_J for p < 0, with the cancellation factor of the terms of
    Carlson's principal-value transformation, evaluated in mpmath."""
    x, y, z = sorted(mpmath.mpf(v) for v in (x, y, z))
    q = -mpmath.mpf(p)
    shifted = (z * (x + y + q) - x * y) / (z + q)
    terms = [
        (shifted - z) * mpmath.elliprj(x, y, z, shifted),
        -3 * mpmath.elliprf(x, y, z),
        3
        * mpmath.sqrt(x * y * z / (x * y + shifted * q))
        * mpmath.elliprc(x * y + shifted * q, shifted * q),
    ]
    return sum(terms) / (z + q), sum(abs(t) for t in terms) / abs(sum(terms))


def equal_pair(rng, low_ratio, high_ratio):
    """(a, b, b) with a / b log-uniform in [low_ratio, high_ratio]."""
    b = log_uniform(rng)
    return (b * 10.0 ** rng.uniform(math.log10(low_ratio), math.log10(high_ratio)), b, b)


def far_from(value, rng, ratio):
    """value times or divided by a log-uniform factor between ratio and 1000."""
    return value * 10.0 ** (rng.choice((-1, 1)) * rng.uniform(math.log10(ratio), 3))


SWEEPS = {
    "elliprf": ("elliprf", positive(3), mpmath.elliprf, 2.5),
    "elliprf zero argument": ("elliprf", with_zero_first(3), mpmath.elliprf, 2.5),
    "elliprf two equal": (
        "elliprf",
        lambda rng: equal_pair(rng, 1e-3, 1e3)[::-1],
        mpmath.elliprf,
        2.5,
    ),
    "elliprc": ("elliprc", positive(2), mpmath.elliprc, 2.75),
    "elliprc y < 0": (
        "elliprc",
        lambda rng: (log_uniform(rng), -log_uniform(rng)),
        mpmath.elliprc,
        2.75,
    ),
    "elliprc x = 0": ("elliprc", with_zero_first(2), mpmath.elliprc, 2.75),
    "elliprd": ("elliprd", positive(3), mpmath.elliprd, 4.5),
    "elliprd zero argument": ("elliprd", with_zero_first(3), mpmath.elliprd, 4.5),
    "elliprd x below y = z": ("elliprd", lambda rng: equal_pair(rng, 1e-3, 1), mpmath.elliprd, 4.5),
    # For x above y = z the stop test, which takes the largest signed deviation from the mean,
    # sees a quarter of the largest deviation and ends the duplication one pass early.
    "elliprd x above y = z": ("elliprd", lambda rng: equal_pair(rng, 1, 1e3), mpmath.elliprd, 22),
    "elliprg": ("elliprg", positive(3), mpmath.elliprg, 5.0),
    "elliprg zero argument": ("elliprg", with_zero_first(3), mpmath.elliprg, 5.0),
    "elliprg two equal": ("elliprg", lambda rng: equal_pair(rng, 1e-3, 1e3), mpmath.elliprg, 5.0),
    "elliprj": ("elliprj", positive(4), mpmath.elliprj, 6.25),
    "elliprj zero argument": ("elliprj", with_zero_first(4), mpmath.elliprj, 6.25),
    "elliprj z = p": (
        "elliprj",
        lambda rng: (lambda a, b, c: (a, b, c, c))(*positive(3)(rng)),
        mpmath.elliprj,
        6.25,
    ),
    "elliprj y = z near p": (
        "elliprj",
        lambda rng: (lambda x, y: (x, y, y, y * rng.uniform(1 / 1.2, 1.2)))(*positive(2)(rng)),
        mpmath.elliprj,
        6.25,
    ),
}


@pytest.mark.parametrize("case", SWEEPS)
def test_random_sweep(testing_module, case):
    name, generate, reference, bound = SWEEPS[case]
    routine = getattr(testing_module, name)
    rng = random.Random(case)
    worst = max(
        (relative_error_in_epsilons(routine(*arguments), reference(*arguments)), arguments)
        for arguments in (generate(rng) for _ in range(SAMPLES))
    )
    assert worst[0] <= bound, worst


def closed_form_case(rng, equal_arguments):
    """Arguments of R_J for one of its two R_C closed forms, with the pair of R_C values whose
    difference the form takes."""
    if equal_arguments == 3:
        x = log_uniform(rng)
        p = far_from(x, rng, 1.2)
        return (x, x, x, p), (mpmath.elliprc(x, p), 1 / mpmath.sqrt(x))
    x, y = log_uniform(rng), log_uniform(rng)
    p = far_from(y, rng, 1.2)
    return (x, y, y, p), (mpmath.elliprc(x, y), mpmath.elliprc(x, p))


@pytest.mark.parametrize("equal_arguments", [2, 3])
def test_random_sweep_closed_forms_of_elliprj(testing_module, equal_arguments):
    # R_J(x, x, x, p) = 3 (R_C(x, p) - 1 / sqrt(x)) / (x - p) and, for y and p further apart than
    # the ratio 1.2, R_J(x, y, y, p) = 3 (R_C(x, y) - R_C(x, p)) / (p - y). Both differences
    # cancel (as p nears x, or y, or as x grows far above y and p), and the rounding errors of
    # the two R_C values grow by the cancellation factor (|a| + |b|) / |a - b|.
    rng = random.Random(f"elliprj closed form {equal_arguments}")
    for _ in range(SAMPLES):
        arguments, (first, second) = closed_form_case(rng, equal_arguments)
        cancellation = float((abs(first) + abs(second)) / abs(first - second))
        error = relative_error_in_epsilons(
            testing_module.elliprj(*arguments), mpmath.elliprj(*arguments)
        )
        assert error <= 2.5 * cancellation, (arguments, error, cancellation)


def test_random_sweep_principal_value_of_elliprj(testing_module):
    # The transformation sums three terms of mixed sign; its rounding errors grow with the
    # ratio of their magnitudes to the result, so the bound holds where that ratio is below 16.
    rng = random.Random("elliprj p < 0")
    checked = 0
    while checked < SAMPLES:
        x, y, z, p = (*positive(3)(rng), -log_uniform(rng))
        exact, cancellation = principal_rj(x, y, z, p)
        if cancellation >= 16:
            continue
        checked += 1
        assert relative_error_in_epsilons(testing_module.elliprj(x, y, z, p), exact) <= 28.4, (
            x,
            y,
            z,
            p,
        )


@pytest.mark.parametrize(
    "arguments", [(2.0, 3.0, 4.0, -0.5), (0.5, 7.0, 0.01, -3.0), (1.0, 1.0, 1.0, -1.0)]
)
def test_principal_value_of_elliprj_against_complex_mpmath(testing_module, arguments):
    # mpmath continues R_J to p < 0 through the complex plane; its real part is the principal value.
    assert (
        ulp_error(testing_module.elliprj(*arguments), mpmath_reference("elliprj", arguments)) <= 8
    )
