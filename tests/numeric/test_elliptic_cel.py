"""Bulirsch's general complete elliptic integral cel(kc, p, a, b), and the loop that gives two of
them at once, against mpmath at 40 digits: K, E and Pi as special cases through Carlson's forms,
the general integral against a quadrature of its defining integral, and the principal value for
p < 0 against mpmath's Pi for n > 1. Errors are in ulps of the exact value."""

import math
import random

import mpmath
import pytest
from conftest import ulp_error as double_precision_ulp_error

DIGITS = 40
QUADRATURE_DIGITS = 25
NAN = math.nan
INF = math.inf


def ulp_error(actual: float, expected) -> float:
    """In ulps of the exact value, at DIGITS whatever precision other tests left mpmath at, so that
    the difference keeps its fraction of an ulp."""
    with mpmath.workdps(DIGITS):
        return double_precision_ulp_error(actual, expected)


def log_uniform(rng: random.Random, low: float, high: float) -> float:
    return 10.0 ** rng.uniform(math.log10(low), math.log10(high))


def definition_cel(kc: float, p: float, a: float, b: float):
    """The defining integral of cel for p > 0 with tan t = x = e^y,
        integral (a + b x^2) x / ((1 + p x^2) sqrt((1 + x^2)(1 + kc^2 x^2))) dy over the real line,
    by tanh-sinh quadrature on pieces split at the integrand's scales x = 1, 1/kc and 1/sqrt(p) and
    at distances 3, 10 and 40 either side: in y each scale is a smooth step of width about 1,
    however far apart the scales lie. The integrand is divided by its largest value at those
    points first, since the quadrature's error test is absolute."""
    with mpmath.workdps(QUADRATURE_DIGITS):
        kc, p, a, b = (mpmath.mpf(v) for v in (kc, p, a, b))

        def integrand(y):
            x = mpmath.exp(y)
            x2 = x * x
            return (a + b * x2) * x / ((1 + p * x2) * mpmath.sqrt((1 + x2) * (1 + kc * kc * x2)))

        scales = {mpmath.mpf(0), -mpmath.log(abs(kc)), -mpmath.log(p) / 2}
        points = sorted({y + offset for y in scales for offset in (-40, -10, -3, 0, 3, 10, 40)})
        size = max(abs(integrand(y)) for y in points)
        pieces = [-mpmath.inf, *points, mpmath.inf]
        return mpmath.quad(lambda y: integrand(y) / size, pieces) * size


# ---------------------------------------------------------------------------------------------
# Messages and NaN.

MESSAGES = [
    ("cel", (0.0, 1.0, 1.0, 1.0), "cel: kc must be finite and non-zero."),
    ("cel", (-0.0, 1.0, 1.0, 1.0), "cel: kc must be finite and non-zero."),
    ("cel", (INF, 1.0, 1.0, 1.0), "cel: kc must be finite and non-zero."),
    ("cel", (-INF, 1.0, 1.0, 1.0), "cel: kc must be finite and non-zero."),
    ("cel", (0.5, 0.0, 1.0, 1.0), "cel: p must be finite and non-zero."),
    ("cel", (0.5, -INF, 1.0, 1.0), "cel: p must be finite and non-zero."),
    ("cel", (0.5, 1.0, INF, 1.0), "cel: a and b must be finite."),
    ("cel", (0.5, 1.0, 1.0, -INF), "cel: a and b must be finite."),
    ("cel_pair", (0.0, 1.0, 1.0, 1.0, 1.0, 1.0), "cel_pair: kc must lie in (0, 1]."),
    ("cel_pair", (-0.5, 1.0, 1.0, 1.0, 1.0, 1.0), "cel_pair: kc must lie in (0, 1]."),
    (
        "cel_pair",
        (math.nextafter(1.0, 2.0), 1.0, 1.0, 1.0, 1.0, 1.0),
        "cel_pair: kc must lie in (0, 1].",
    ),
    ("cel_pair", (NAN, 1.0, 1.0, 1.0, 1.0, 1.0), "cel_pair: kc must lie in (0, 1]."),
    ("cel_pair", (0.5, 0.0, 1.0, 1.0, 1.0, 1.0), "cel_pair: root_p must be positive and finite."),
    ("cel_pair", (0.5, -1.0, 1.0, 1.0, 1.0, 1.0), "cel_pair: root_p must be positive and finite."),
    ("cel_pair", (0.5, INF, 1.0, 1.0, 1.0, 1.0), "cel_pair: root_p must be positive and finite."),
    ("cel_pair", (0.5, NAN, 1.0, 1.0, 1.0, 1.0), "cel_pair: root_p must be positive and finite."),
]


@pytest.mark.parametrize("name, arguments, message", MESSAGES)
def test_message(testing_module, name, arguments, message):
    with pytest.raises(RuntimeError) as raised:
        getattr(testing_module, name)(*arguments)
    assert str(raised.value) == message
    assert type(raised.value) is RuntimeError


@pytest.mark.parametrize(
    "arguments",
    [(NAN, 1.0, 1.0, 1.0), (0.5, NAN, 1.0, 1.0), (0.5, 1.0, NAN, 1.0), (0.5, 1.0, 1.0, NAN)],
)
def test_nan_gives_nan(testing_module, arguments):
    assert math.isnan(testing_module.cel(*arguments))


# ---------------------------------------------------------------------------------------------
# K, E and Pi as special cases.


def modulus_cases(count: int, seed: int):
    rng = random.Random(seed)
    cases = [5e-324, 2.2250738585072014e-308, 1e-200, 1e-16, 1.0, 1.0 + 2**-52, 1e100, 1e150]
    cases += [log_uniform(rng, 1e-300, 1e150) for _ in range(count // 2)]
    cases += [log_uniform(rng, 1e-3, 1e3) for _ in range(count - count // 2)]
    return cases


@pytest.mark.parametrize("kc", modulus_cases(60, 11))
def test_k_and_e(testing_module, kc):
    # K = R_F(0, kc^2, 1) and E = 2 R_G(0, kc^2, 1); cel's b = kc^2 is the rounded square, and E
    # is taken at that square. The sign of kc does not matter.
    kc_squared = kc * kc
    with mpmath.workdps(DIGITS):
        k = mpmath.elliprf(0, mpmath.mpf(kc) ** 2, 1)
        e = 2 * mpmath.elliprg(0, mpmath.mpf(kc_squared), 1) if kc_squared > 0 else None
    for sign in (1, -1):
        assert ulp_error(testing_module.cel(sign * kc, 1.0, 1.0, 1.0), k) <= 4.0
        if e is not None:
            assert ulp_error(testing_module.cel(sign * kc, 1.0, 1.0, kc_squared), e) <= 6.0


def characteristic_cases(count: int, seed: int):
    rng = random.Random(seed)
    return [(log_uniform(rng, 1e-15, 1e15), log_uniform(rng, 1e-15, 1e15)) for _ in range(count)]


@pytest.mark.parametrize("kc, p", characteristic_cases(30, 12))
def test_pi(testing_module, kc, p):
    # Pi(n, m) with n = 1 - p and m = 1 - kc^2, exact in 60 digits for these arguments.
    with mpmath.workdps(60):
        expected = mpmath.ellippi(1 - mpmath.mpf(p), 1 - mpmath.mpf(kc) ** 2)
    assert ulp_error(testing_module.cel(kc, p, 1.0, 1.0), expected) <= 5.0


# ---------------------------------------------------------------------------------------------
# The general integral against its definition, and the principal value.


def general_cases(count: int, seed: int):
    rng = random.Random(seed)
    extremes = [(5e-324, 1e-100), (1e-300, 1e300), (1e300, 1e-300), (1e150, 1e200), (1.0, 1e-250)]
    cases = extremes + [
        (log_uniform(rng, 1e-100, 1e100), log_uniform(rng, 1e-100, 1e100)) for _ in range(count)
    ]
    return [(kc, p, rng.uniform(0, 2), rng.uniform(0, 2)) for kc, p in cases]


@pytest.mark.parametrize("kc, p, a, b", general_cases(15, 13))
def test_general_against_definition(testing_module, kc, p, a, b):
    assert ulp_error(testing_module.cel(kc, p, a, b), definition_cel(kc, p, a, b)) <= 5.0


def principal_value(kc: float, p: float, a: float, b: float):
    """For p < 0 the integrand in x = tan t, (a + b x^2) / ((1 + p x^2) R(x)) with
    R(x) = sqrt((1 + x^2)(1 + kc^2 x^2)), has a simple pole at x0 = 1/q, q = sqrt(-p). With
    1 + p x^2 = (1 - q x)(1 + q x) written out at x = x0 -+ h and N(x) = a + b x^2, the
    principal value is
        integral_0^x0 [N(x0 - h) / ((2 - q h) R(x0 - h))
                       - N(x0 + h) / ((2 + q h) R(x0 + h))] / (q h) dh
        + integral_(2 x0)^inf N(x) / ((1 + p x^2) R(x)) dx,
    where the first integrand is bounded; its rounding grows as 1/h near the pole, over a share of
    about h of the interval."""
    with mpmath.workdps(QUADRATURE_DIGITS):
        kc, p, a, b = (mpmath.mpf(v) for v in (kc, p, a, b))
        q = mpmath.sqrt(-p)
        x0 = 1 / q

        def numerator(x):
            return a + b * x * x

        def root(x):
            return mpmath.sqrt((1 + x * x) * (1 + kc * kc * x * x))

        def paired(h):
            below = numerator(x0 - h) / ((2 - q * h) * root(x0 - h))
            above = numerator(x0 + h) / ((2 + q * h) * root(x0 + h))
            return (below - above) / (q * h)

        def beyond(x):
            return numerator(x) / ((1 + p * x * x) * root(x))

        inner = sorted({x0 - y for y in (1, 1 / kc) if 0 < x0 - y < x0} | {0, x0})
        outer = sorted({y for y in (1, 1 / kc) if y > 2 * x0} | {2 * x0, mpmath.inf})
        return mpmath.quad(paired, inner) + mpmath.quad(beyond, outer)


def principal_cases(count: int, seed: int):
    rng = random.Random(seed)
    return [
        (
            log_uniform(rng, 1e-2, 1e2),
            -log_uniform(rng, 1e-3, 1e3),
            rng.uniform(0, 2),
            rng.uniform(0, 2),
        )
        for _ in range(count)
    ]


@pytest.mark.parametrize("kc, p, a, b", principal_cases(20, 14))
def test_principal_value(testing_module, kc, p, a, b):
    expected = principal_value(kc, p, a, b)
    # The principal value has no fixed sign; its error is measured against the size of its parts.
    with mpmath.workdps(DIGITS):
        size = abs(a) * mpmath.ellipk(1 - mpmath.mpf(kc) ** 2) + abs(expected)
    error = abs(mpmath.mpf(testing_module.cel(kc, p, a, b)) - expected) / size
    assert float(error) <= 4 * 2.0**-52


# ---------------------------------------------------------------------------------------------
# Two integrals of one modulus from one loop.


def pair_cases(count: int, seed: int):
    rng = random.Random(seed)
    extremes = [(5e-324, 1e-150), (1e-16, 1e-16), (1.0, 1.0), (1.0, 1e-100), (0.999, 1e100)]
    cases = extremes + [
        (log_uniform(rng, 1e-300, 1.0), log_uniform(rng, 1e-100, 1e100)) for _ in range(count)
    ]
    return [
        (kc, root_p, rng.uniform(0, 2), rng.uniform(0, 2), rng.uniform(0, 2), rng.uniform(0, 2))
        for kc, root_p in cases
    ]


@pytest.mark.parametrize("kc, root_p, a1, b1, a2, b2", pair_cases(15, 15))
def test_pair(testing_module, kc, root_p, a1, b1, a2, b2):
    unit, general = testing_module.cel_pair(kc, root_p, a1, b1, a2, b2)
    with mpmath.workdps(DIGITS):
        p = mpmath.mpf(root_p) ** 2
    assert ulp_error(unit, definition_cel(kc, 1.0, a1, b1)) <= 7.0
    assert ulp_error(general, definition_cel(kc, p, a2, b2)) <= 5.0


def test_pair_gives_e_and_pi_of_one_modulus(testing_module):
    # E(m) and Pi(n, m) of the uniform disk's kind, m = 0.84 and n = 0.64 (kc = 0.4, p = 0.36).
    e, pi = testing_module.cel_pair(0.4, 0.6, 1.0, 0.4 * 0.4, 1.0, 1.0)
    with mpmath.workdps(DIGITS):
        assert ulp_error(e, 2 * mpmath.elliprg(0, mpmath.mpf(0.4 * 0.4), 1)) <= 2.0
        assert (
            ulp_error(pi, mpmath.ellippi(1 - mpmath.mpf(0.6) ** 2, 1 - mpmath.mpf(0.4) ** 2)) <= 2.0
        )
