"""Sources far larger than the Einstein radius with the lens on a jump of a tabulated profile.

The point-lens excess A_ps - 1 integrates to 2 pi over the plane and is gathered within a few
Einstein radii of the lens, where the jump looks like a straight line through the lens: each side
receives half of it. So A - 1 = (I(l-) + I(l+)) / 2 / (rho^2 int_0^1 x I dx), the mean of the two
sides, with the limb a jump to 0. Narrow bright features make int x I dx small enough that A - 1
stands far above the rounding of A."""

import mpmath
import obrivane
import pytest

RHO = 1e8  # beyond the size where the magnification is taken from the profile at the lens

CASES = {
    # a bright ring 1e-6 wide, the lens on its inner edge and on its outer edge
    "ring inner edge": ([0.0, 0.5, 0.5, 0.500001, 0.500001, 1.0], [0, 0, 1, 1, 0, 0], 0.5, 0.5),
    "ring outer edge": (
        [0.0, 0.5, 0.5, 0.500001, 0.500001, 1.0],
        [0, 0, 1, 1, 0, 0],
        0.500001,
        0.5,
    ),
    # a bright rim rising to the limb, the lens on the limb
    "bright rim": ([0.0, 0.999999, 1.0], [0, 0, 1], 1.0, 0.5),
}


def flux_moment(bl, bf):
    """int_0^1 x I(x) dx of the linear interpolation, exactly."""
    mpmath.mp.dps = 40
    total = mpmath.mpf(0)
    rows = list(zip(bl, bf, strict=True))
    for (a, fa), (b, fb) in zip(rows, rows[1:], strict=False):
        a, b, fa, fb = map(mpmath.mpf, (a, b, fa, fb))
        if b > a:
            slope = (fb - fa) / (b - a)
            total += fa * (b**2 - a**2) / 2 + slope * ((b**3 - a**3) / 3 - a * (b**2 - a**2) / 2)
    return total


@pytest.mark.parametrize("case", CASES)
@pytest.mark.parametrize(
    "function",
    [
        obrivane.integrated_flux_map_witt_mao_magnification,
        obrivane.integrated_flux_map_heyrovsky_magnification,
    ],
)
def test_the_lens_on_a_jump_sees_the_mean_of_both_sides(case, function):
    bl, bf, separation, mean_value = CASES[case]
    excess = function([separation], 1.0, RHO, bl, [float(v) for v in bf])[0] - 1
    expected = mean_value / (RHO**2 * flux_moment(bl, bf))
    # A - 1 is about 1e-10 here, resolved to about 1e-6 of itself by the rounding of A.
    assert float(abs(excess / expected - 1)) < 1e-4
