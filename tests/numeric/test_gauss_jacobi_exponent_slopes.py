"""The Gauss-Jacobi rules differentiated in their exponent
(numeric/gauss_jacobi_exponent_slopes.hpp, through _obrivane_testing), against mpmath: since every
n-point rule integrates the polynomials of degree 2n - 1 exactly, the derivative of the rule,
sum [w_j' f(x_j) + w_j f'(x_j) x_j'], integrates them against the logarithmic weight, whose moments
are derivatives of Beta integrals. And the digamma function those moments need, in ulps."""

import math

import mpmath
import pytest

testing = pytest.importorskip("_obrivane_testing")


def rule_with_slopes(make, exponent, n):
    flat = make(exponent, n)
    return flat[0::4], flat[1::4], flat[2::4], flat[3::4]


def differentiated_sum(rule, power, slope):
    """The differentiated rule applied to f = power(x), f' = slope(x), at 30 digits."""
    abscissae, weights, moves, weight_slopes = (list(map(mpmath.mpf, part)) for part in rule)
    return mpmath.fsum(
        dw * power(x) + w * slope(x) * dx
        for x, w, dx, dw in zip(abscissae, weights, moves, weight_slopes, strict=True)
    )


# The chord exponents p/2 and the angle ones (p + 1)/2 of the power-2 law's alpha from 0.05 to 3.
@pytest.mark.parametrize("beta", [0.025, 0.15, 0.5, 0.8, 1.0, 1.5, 2.0])
@pytest.mark.parametrize("n", [4, 12, 28, 80])
def test_symmetric_slopes_integrate_the_logarithmic_weight(beta, n):
    rule = rule_with_slopes(testing.gauss_jacobi_symmetric_slopes, beta, n)
    with mpmath.workdps(30):
        worst = 0
        for k in range(n):
            # integral of (1 - x^2)^beta ln(1 - x^2) x^2k = B(k + 1/2, beta + 1) times
            # (psi(beta + 1) - psi(k + beta + 3/2)).
            exact = mpmath.beta(k + mpmath.mpf(1) / 2, beta + 1) * (
                mpmath.digamma(beta + 1) - mpmath.digamma(k + beta + mpmath.mpf(3) / 2)
            )
            value = differentiated_sum(
                rule,
                lambda x, k=k: x ** (2 * k),
                lambda x, k=k: 2 * k * x ** (2 * k - 1) if k else 0,
            )
            worst = max(worst, abs(value / exact - 1))
        # The odd powers vanish: the slopes are antisymmetric where the nodes are.
        odd = differentiated_sum(
            rule, lambda x: x ** (2 * n - 1), lambda x: (2 * n - 1) * x ** (2 * n - 2)
        )
    # The weights' own rounding, up to about 5e-14 on 80 points.
    assert worst <= 2e-13
    assert abs(odd) <= 1e-14


@pytest.mark.parametrize("alpha", [0.525, 0.75, 1.0, 1.5, 2.0])
@pytest.mark.parametrize("n", [4, 16, 32])
def test_one_sided_slopes_integrate_the_logarithmic_weight(alpha, n):
    rule = rule_with_slopes(testing.gauss_jacobi_one_sided_slopes, alpha, n)
    with mpmath.workdps(30):
        worst = 0
        for j in range(2 * n):
            # integral of (1 - x)^alpha ln(1 - x) (1 + x)^j = 2^(alpha + j + 1) B(alpha + 1, j + 1)
            # times (ln 2 + psi(alpha + 1) - psi(alpha + j + 2)).
            exact = (
                mpmath.mpf(2) ** (alpha + j + 1)
                * mpmath.beta(alpha + 1, j + 1)
                * (mpmath.log(2) + mpmath.digamma(alpha + 1) - mpmath.digamma(alpha + j + 2))
            )
            value = differentiated_sum(
                rule, lambda x, j=j: (1 + x) ** j, lambda x, j=j: j * (1 + x) ** (j - 1) if j else 0
            )
            worst = max(worst, abs(value / exact - 1))
    assert worst <= 5e-13


@pytest.mark.parametrize(
    "x", [1e-3, 0.25, 0.5, 1.0, 1.4616321449683622, 1.5, 2.0, 7.3, 15.99, 16.0, 1e3, 1e12]
)
def test_digamma_in_ulps(x):
    exact = mpmath.digamma(mpmath.mpf(x))
    value = testing.digamma(x)
    # Near the root at 1.4616 the error is absolute, a few ulps of the terms (about 3).
    ulp = math.ulp(max(float(abs(exact)), 3.0))
    assert abs(mpmath.mpf(value) - exact) <= 8 * ulp


@pytest.mark.parametrize("x", [0.0, -1.0, math.nan])
def test_digamma_outside_its_domain_is_nan(x):
    assert math.isnan(testing.digamma(x))
