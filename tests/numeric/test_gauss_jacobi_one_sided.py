"""The run-time Gauss rules of the weight (1 - x)^alpha on [-1, 1]
(numeric/gauss_jacobi_one_sided.hpp, through _obrivane_testing), against mpmath: each n-point rule
integrates (1 + x)^j, j < 2n, as 2^(alpha + j + 1) B(alpha + 1, j + 1), and alpha = 0 is the
committed Gauss-Legendre table."""

import mpmath
import pytest

testing = pytest.importorskip("_obrivane_testing")


def rule(alpha, n):
    flat = testing.gauss_jacobi_one_sided_rule(alpha, n)
    return flat[0::2], flat[1::2]


# Negative exponents are the limb weights of the derivatives, (1 - x)^((p - 1)/2), p = 0.05 and 1/2.
@pytest.mark.parametrize("alpha", [-0.475, -0.25, 0.0, 0.525, 0.75, 1.0, 1.5, 1.85, 4.0])
@pytest.mark.parametrize("n", [4, 16, 32])
def test_rule_integrates_powers_of_one_plus_x(alpha, n):
    abscissae, weights = rule(alpha, n)
    assert abscissae == sorted(abscissae, reverse=True)
    assert all(-1 < x < 1 for x in abscissae) and all(w > 0 for w in weights)
    with mpmath.workdps(30):
        for j in range(2 * n):
            exact = mpmath.mpf(2) ** (alpha + j + 1) * mpmath.beta(alpha + 1, j + 1)
            value = mpmath.fsum(
                mpmath.mpf(w) * (1 + mpmath.mpf(x)) ** j
                for x, w in zip(abscissae, weights, strict=True)
            )
            # The total weight to a few ulps; the highest powers lean on the nodes nearest
            # x = 1, whose weights carry the eigenvector components' rounding (about n ulps).
            bound = 1e-14 if j == 0 else 1e-13
            assert abs(value / exact - 1) <= bound, j


@pytest.mark.parametrize("n", [10, 16, 32])
def test_legendre_case_matches_the_committed_tables(n):
    from test_gauss_rules_table import LEGENDRE

    abscissae, weights = rule(0.0, n)
    for x, w, (x_table, w_table) in zip(
        abscissae, weights, LEGENDRE[f"gauss_legendre_{n}"], strict=True
    ):
        assert abs(x - x_table) <= 4e-15 and abs(w / w_table - 1) <= 1e-13
