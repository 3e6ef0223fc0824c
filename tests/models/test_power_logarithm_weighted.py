"""The mu^p ln mu-weighted disk by differentiated lines (models/power_logarithm_weighted_disk.hpp,
through _obrivane_testing), against mpmath: the brightness-weighted mean over circles about the
source centre, each circle's mean magnification in closed form (Carlson's R_F and R_J, from the
laws' reference generator), integrated over the radius at 20 digits. Where the rules switch in
the angle: the periodic rule well inside, the sinh map and the graded panels just inside, the
moving limb rule and graded panels just outside, and the moving Gauss-Jacobi rule in t well
outside."""

import importlib

import mpmath
import pytest

testing = pytest.importorskip("_obrivane_testing")
# tools/ is on the import path (conftest.py): the circle means of the laws' reference generator.
circle_mean = importlib.import_module("generate_brightness_law_reference").ring_mean


def reference(s, rho, p):
    """(1/(pi rho^2)) integral of mu^p ln mu A, and the same of mu^p."""
    with mpmath.workdps(20):
        s_mp, rho_mp, p_mp = mpmath.mpf(s), mpmath.mpf(rho), mpmath.mpf(p)
        points = [0, s_mp, 1] if 0 < s < 1 else [0, 1]
        if s > 1:
            # The circle through the lens lies s - 1 beyond the rim: break points graded towards
            # the rim keep the steep end of the integrand resolved.
            gap = s_mp - 1
            points = [0] + [1 - gap * 10**k for k in range(6, 0, -1) if gap * 10**k < 1] + [1]

        def integral(logged):
            def integrand(x):
                mu = mpmath.sqrt((1 - x) * (1 + x))
                weight = mu**p_mp * (mpmath.log(mu) if logged else 1) if mu > 0 else 0
                return 2 * x * weight * circle_mean(x, s_mp, rho_mp)

            return mpmath.quad(integrand, points)

        return integral(True), integral(False)


@pytest.mark.parametrize("p", [0.05, 0.7, 3.1])
@pytest.mark.parametrize(
    ("s", "rho"),
    [(0.8, 2.0), (0.95, 0.01), (0.995, 1.0), (0.99999, 6.0), (1.0, 0.3)]
    + [(1.00001, 0.3), (1.05, 1.0), (1.2, 8.0), (1.3, 0.02), (3.0, 3.0), (2.0, 10.0)],
)
def test_against_the_circle_means(s, rho, p):
    power, logarithm = testing.power_logarithm_weighted_disk_integral(s * rho, rho, p)
    exact_logarithm, exact_power = reference(s, rho, p)
    # Relative to the plain integral, the scale of both (mu^p ln mu is below mu^p / (e p)).
    assert abs(power - exact_power) <= 4e-15 * exact_power
    assert abs(logarithm - exact_logarithm) <= 4e-15 * exact_power
