"""The run-time Gauss rules of the weight (1 - s^2)^beta (numeric/gauss_jacobi_symmetric.hpp,
through _obrivane_testing), against mpmath: each n-point rule integrates the even powers up to
s^(2n - 2) as the Beta integrals B((k + 1)/2, beta + 1), and the Legendre and Chebyshev cases
match the committed tables' abscissae."""

import mpmath
import numpy as np
import pytest

testing = pytest.importorskip("_obrivane_testing")


def rule(beta, n):
    flat = testing.gauss_jacobi_symmetric_rule(beta, n)
    return flat[0::2], flat[1::2]


# Negative exponents are the chord weights of the derivatives, (1 - s^2)^((p - 2)/2): p = 0.05
# (power-2), 1/2 (square root), 1 (the mu term, Chebyshev of the first kind), 1.6.
@pytest.mark.parametrize(
    "beta", [-0.975, -0.75, -0.5, -0.2, 0.0, 0.15, 0.25, 0.5, 1.0, 1.35, 3.5, 60.0, 150.0]
)
@pytest.mark.parametrize("n", [4, 6, 12, 28, 80])
def test_rule_integrates_even_powers(beta, n):
    abscissae, weights = rule(beta, n)
    assert abscissae == sorted(abscissae, reverse=True)
    assert all(w > 0 for w in weights)
    # Symmetric about 0, to rounding.
    assert max(abs(x + y) for x, y in zip(abscissae, reversed(abscissae), strict=True)) <= 4e-15
    with mpmath.workdps(30):
        for k in range(0, 2 * n - 1, 2):
            exact = mpmath.beta(mpmath.mpf(k + 1) / 2, beta + 1)
            value = mpmath.fsum(
                mpmath.mpf(w) * mpmath.mpf(x) ** k for x, w in zip(abscissae, weights, strict=True)
            )
            # The total weight to a few ulps, the highest powers (which lean on the outermost
            # nodes) to about n ulps.
            bound = 1e-14 if k == 0 else 2e-13
            assert abs(value / exact - 1) <= bound, k


@pytest.mark.parametrize("n", [10, 16, 32])
def test_legendre_case_matches_the_committed_tables(n):
    # The committed Gauss-Legendre rules are the nearest doubles to the exact ones; the weights
    # from eigenvector components lose up to about 1e-13 on the smallest of 32.
    from test_gauss_rules_table import LEGENDRE

    abscissae, weights = rule(0.0, n)
    committed = LEGENDRE[f"gauss_legendre_{n}"]
    for x, w, (x_table, w_table) in zip(abscissae, weights, committed, strict=True):
        assert abs(x - x_table) <= 4e-15 and abs(w / w_table - 1) <= 1e-13


@pytest.mark.parametrize("n", [4, 12, 80])
def test_chebyshev_case_has_the_closed_form(n):
    # beta = 1/2: abscissae cos(i pi/(n + 1)), weights pi/(n + 1) sin^2(i pi/(n + 1)).
    abscissae, weights = rule(0.5, n)
    angles = np.pi * np.arange(1, n + 1) / (n + 1)
    assert np.max(np.abs(np.array(abscissae) - np.cos(angles))) <= 1e-15
    assert np.max(np.abs(np.array(weights) / (np.pi / (n + 1) * np.sin(angles) ** 2) - 1)) <= 5e-13


@pytest.mark.parametrize("n", [4, 12, 80])
def test_chebyshev_first_kind_case_has_the_closed_form(n):
    # beta = -1/2, where the recurrence's first coefficient is a limit 0/0: abscissae
    # cos((2i - 1) pi/(2n)), weights pi/n.
    abscissae, weights = rule(-0.5, n)
    angles = np.pi * (2 * np.arange(1, n + 1) - 1) / (2 * n)
    # Abscissae to a few ulps of 1, as every run-time rule's.
    assert np.max(np.abs(np.array(abscissae) - np.cos(angles))) <= 2e-15
    assert np.max(np.abs(np.array(weights) / (np.pi / n) - 1)) <= 5e-13
