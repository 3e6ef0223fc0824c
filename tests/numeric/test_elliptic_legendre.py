"""The complete Legendre integrals K(m), E(m) and Pi(n, m) against mpmath at 40 digits and against
direct numerical integration of their defining integrals.

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


def relative_error_in_epsilons(actual: float, exact) -> float:
    return float(abs((mpmath.mpf(actual) - exact) / exact)) / EPSILON


def log_uniform(rng: random.Random, low: float, high: float) -> float:
    return 10.0 ** rng.uniform(math.log10(low), math.log10(high))


# ---------------------------------------------------------------------------------------------
# Messages.

MESSAGES = [
    ("ellipk", (1.5,), "ellipk: m must be less than 1."),
    ("ellipk", (math.nextafter(1.0, 2.0),), "ellipk: m must be less than 1."),
    ("ellipk", (2e8,), "ellipk: m must be less than 1."),
    ("ellipk", (1e300,), "ellipk: m must be less than 1."),
    ("ellipk", (INF,), "ellipk: m must be less than 1."),
    ("ellipe", (1.5,), "ellipe: m must be less than 1."),
    ("ellipe", (2e8,), "ellipe: m must be less than 1."),
    ("ellipe", (INF,), "ellipe: m must be less than 1."),
    ("ellippi", (0.5, 1.5), "ellippi: m must be less than 1."),
    ("ellippi", (1.0, 2.0), "ellippi: m must be less than 1."),
    ("ellippi", (1.0, 0.5), "ellippi: n cannot be 1."),
    ("ellippi", (1.0, -3.0), "ellippi: n cannot be 1."),
    # NaN passes every check and ends in the duplication of R_J.
    ("ellippi", (NAN, 0.5), "elliprj: Fail to converge"),
    ("ellippi", (0.5, NAN), "elliprj: Fail to converge"),
    ("ellippi", (2.0, NAN), "elliprj: Fail to converge"),
    ("ellippi", (-0.5, NAN), "elliprj: Fail to converge"),
]


@pytest.mark.parametrize("name, arguments, message", MESSAGES)
def test_message(testing_module, name, arguments, message):
    with pytest.raises(RuntimeError) as raised:
        getattr(testing_module, name)(*arguments)
    assert str(raised.value) == message
    assert type(raised.value) is RuntimeError


@pytest.mark.parametrize("name", ["ellipk", "ellipe"])
def test_nan_parameter_gives_nan(testing_module, name):
    assert math.isnan(getattr(testing_module, name)(NAN))


# ---------------------------------------------------------------------------------------------
# K and E: special values.


@pytest.mark.parametrize("name", ["ellipk", "ellipe"])
def test_value_at_zero_is_half_pi(testing_module, name):
    assert getattr(testing_module, name)(0.0) == math.pi / 2


def test_limits_at_one(testing_module):
    assert testing_module.ellipk(1.0) == INF
    assert testing_module.ellipe(1.0) == 1.0


KE_VALUES = [
    ("ellipk", 0.5, 1),
    ("ellipe", 0.5, 1),
    ("ellipk", 0.9, 2),
    ("ellipk", -0.05, 3),
    ("ellipk", 1 - 2.0**-52, 2),
    ("ellipk", -2e8, 2),
    ("ellipk", -3e9, 2),
    ("ellipk", -1e300, 2),
    ("ellipe", -20.0, 4),
    ("ellipe", -0.5, 4),
    ("ellipe", -2e8, 4),
    ("ellipe", -1e300, 4),
    ("ellipe", 1 - 2.0**-52, 4),
]


@pytest.mark.parametrize("name, m, max_ulps", KE_VALUES)
def test_value_against_mpmath(testing_module, name, m, max_ulps):
    assert ulp_error(getattr(testing_module, name)(m), getattr(mpmath, name)(m)) <= max_ulps


def test_negative_parameter_transformation_of_e(testing_module):
    # E(-20) = sqrt(21) E(20/21) and E(-0.5) = sqrt(1.5) E(1/3).
    assert (
        ulp_error(
            testing_module.ellipe(-20.0), mpmath.sqrt(21) * mpmath.ellipe(mpmath.mpf(20) / 21)
        )
        <= 4
    )
    assert (
        ulp_error(testing_module.ellipe(-0.5), mpmath.sqrt(1.5) * mpmath.ellipe(mpmath.mpf(1) / 3))
        <= 4
    )


@pytest.mark.parametrize("m", [-0.05, -0.5, -1e3, 0.9, 0.95, 0.999999])
def test_k_outside_the_table_is_rf_of_zero(testing_module, m):
    assert testing_module.ellipk(m) == testing_module.elliprf(0.0, 1 - m, 1.0)


@pytest.mark.parametrize("m", [0.9, 0.95, 0.999999])
def test_e_outside_the_table_is_twice_rg_of_zero(testing_module, m):
    assert testing_module.ellipe(m) == 2 * testing_module.elliprg(0.0, 1 - m, 1.0)


@pytest.mark.parametrize("name", ["ellipk", "ellipe"])
def test_continuity_at_the_end_of_the_table(testing_module, name):
    # 0.8999999999999998 is the last parameter served by the piece about 0.875; 0.9 is the first
    # served by the AGM. The two values step like the true function to within about 1e-15.
    below, at = 0.8999999999999998, 0.9
    routine, reference = getattr(testing_module, name), getattr(mpmath, name)
    computed_step = routine(at) - routine(below)
    exact_step = reference(at) - reference(below)
    assert abs(computed_step - exact_step) <= 1e-15 * abs(routine(at))


# ---------------------------------------------------------------------------------------------
# K and E: random sweeps, bounded by the expected accuracy with a little headroom.

KE_SWEEPS = {
    "ellipk [0, 1)": ("ellipk", lambda rng: rng.uniform(0, 1), 3.25),
    "ellipk (-1e3, -0.05]": ("ellipk", lambda rng: -log_uniform(rng, 0.05, 1e3), 3.25),
    "ellipe [0, 1)": ("ellipe", lambda rng: rng.uniform(0, 1), 6.1),
    "ellipe (-1e3, 0)": ("ellipe", lambda rng: -log_uniform(rng, 1e-3, 1e3), 6.1),
}


@pytest.mark.parametrize("case", KE_SWEEPS)
def test_random_sweep_k_and_e(testing_module, case):
    name, generate, bound = KE_SWEEPS[case]
    routine, reference = getattr(testing_module, name), getattr(mpmath, name)
    rng = random.Random(case)
    worst = max(
        (relative_error_in_epsilons(routine(m), reference(m)), m)
        for m in (generate(rng) for _ in range(SAMPLES))
    )
    assert worst[0] <= bound, worst


# ---------------------------------------------------------------------------------------------
# Pi.


def defining_integral_pi(n: float, m: float):
    """Pi(n, m) = integral_0^(pi/2) dtheta / ((1 - n sin^2) sqrt(1 - m sin^2)), by quadrature;
    for n > 1 the Cauchy principal value, the pole at sin^2 = 1/n paired symmetrically."""
    n, m = mpmath.mpf(n), mpmath.mpf(m)

    def integrand(theta):
        s2 = mpmath.sin(theta) ** 2
        return 1 / ((1 - n * s2) * mpmath.sqrt(1 - m * s2))

    if n <= 1:
        return mpmath.quad(integrand, [0, mpmath.pi / 4, mpmath.pi / 2])
    pole = mpmath.asin(1 / mpmath.sqrt(n))
    half_width = min(pole, mpmath.pi / 2 - pole)
    # Over [pole - w, pole + w] the pole cancels in f(pole - s) + f(pole + s), a smooth function
    # of s; Gauss-Legendre nodes stay far enough from s = 0 for the cancellation to cost only a
    # few of the 40 digits.
    paired = mpmath.quad(
        lambda s: integrand(pole - s) + integrand(pole + s),
        [0, half_width / 2, half_width],
        method="gauss-legendre",
    )
    rest = [0, pole - half_width] if pole > half_width else [pole + half_width, mpmath.pi / 2]
    return paired + mpmath.quad(integrand, rest)


@pytest.mark.parametrize(
    "n, m", [(0.3, 0.5), (-0.7, 0.5), (2.0, 0.5), (0.9, 0.1), (-5.0, 0.95), (10.0, 0.3)]
)
def test_pi_against_defining_integral(testing_module, n, m):
    exact = defining_integral_pi(n, m)
    assert ulp_error(testing_module.ellippi(n, m), exact) <= 4
    if n > 1:
        assert testing_module.ellippi(n, m) < 0 < testing_module.ellippi(1 / n, m)


def test_pi_of_zero_zero_is_half_pi(testing_module):
    assert testing_module.ellippi(0.0, 0.0) == math.pi / 2


@pytest.mark.parametrize("m", [0.5, -0.3, 0.95, 0.0])
def test_pi_with_zero_characteristic_is_k(testing_module, m):
    assert testing_module.ellippi(0.0, m) == testing_module.ellipk(m)
    assert ulp_error(testing_module.ellippi(0.0, m), mpmath.ellipk(m)) <= 2


@pytest.mark.parametrize(
    "n, m, expected",
    [
        (0.5, 1.0, INF),
        (-3.0, 1.0, INF),
        (0.0, 1.0, INF),
        (2.0, 1.0, -INF),
        (0.5, 1 - 2.0**-53, INF),
        (2.0, 1 - 2.0**-52, -INF),
        (1 - 2.0**-53, 0.5, INF),
    ],
)
def test_pi_infinite(testing_module, n, m, expected):
    assert testing_module.ellippi(n, m) == expected


def test_pi_of_nan_characteristic_at_m_one_is_nan(testing_module):
    assert math.isnan(testing_module.ellippi(NAN, 1.0))


@pytest.mark.parametrize("m", [-0.5, -3.0, -1e-3])
def test_pi_at_n_equal_m_below_zero(testing_module, m):
    # Pi(m, m) = E(m) / (1 - m).
    assert ulp_error(testing_module.ellippi(m, m), mpmath.ellipe(m) / (1 - mpmath.mpf(m))) <= 4


@pytest.mark.parametrize("m", [0.5, 0.0, -2.0, 0.99])
def test_pi_just_above_one_is_the_limit_of_the_principal_value(testing_module, m):
    # As n -> 1 from above the principal value tends to K(m) - E(m) / (1 - m); the difference
    # cancels (about fivefold at m = 0.5), and the rounding errors of K and E grow with it.
    m_exact = mpmath.mpf(m)
    limit = mpmath.ellipk(m_exact) - mpmath.ellipe(m_exact) / (1 - m_exact)
    assert ulp_error(testing_module.ellippi(1 + 2.0**-52, m), limit) <= 8


def principal_pi(n: float, m: float):
    """Pi(n, m) for n > 1 from Pi(m / n, m): their sum is K(m) (DLMF 19.6.5; the principal value
    drops the imaginary term)."""
    n, m = mpmath.mpf(n), mpmath.mpf(m)
    return mpmath.ellipk(m) - mpmath.ellippi(m / n, m)


@pytest.mark.parametrize("n", [1 + 1e-9, 1 + 5e-9])
@pytest.mark.parametrize("m", [0.5, 0.9, 0.99, -2.0])
def test_pi_just_above_one_before_the_limit_takes_over(testing_module, n, m):
    # Within a few parts in 1e9 of n = 1 the principal value still differs from its limit by a
    # relative 1e-9 or more: only n within rounding of 1 may take the limit.
    assert ulp_error(testing_module.ellippi(n, m), principal_pi(n, m)) <= 16


PI_SWEEPS = {
    "n in (-1, 1)": (lambda rng: (rng.uniform(-1, 1), rng.uniform(0, 1)), mpmath.ellippi),
    "n in (-1e3, -1)": (lambda rng: (-log_uniform(rng, 1, 1e3), rng.uniform(0, 1)), mpmath.ellippi),
    "n in (0, 1), m < 0": (
        lambda rng: (rng.uniform(0, 1), -log_uniform(rng, 1e-3, 1e3)),
        mpmath.ellippi,
    ),
    "n in (1.1, 101)": (
        lambda rng: (1 + log_uniform(rng, 0.1, 100), rng.uniform(0, 1)),
        principal_pi,
    ),
}


@pytest.mark.parametrize("case", PI_SWEEPS)
def test_random_sweep_pi(testing_module, case):
    generate, reference = PI_SWEEPS[case]
    rng = random.Random(case)
    worst = max(
        (
            relative_error_in_epsilons(testing_module.ellippi(*arguments), reference(*arguments)),
            arguments,
        )
        for arguments in (generate(rng) for _ in range(SAMPLES))
    )
    assert worst[0] <= 12.25, worst


@pytest.mark.parametrize("n, m", [(0.3, 0.5), (0.999, 0.2), (1e-6, 0.9), (0.5, -4.0)])
def test_ellippi_vc_with_complement_from_the_caller(testing_module, n, m):
    assert ulp_error(testing_module.ellippi_vc(n, m, 1 - n), mpmath.ellippi(n, m)) <= 6
