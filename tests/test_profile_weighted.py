"""integrated_heyrovsky_magnification and integrated_witt_mao_magnification: the magnification of
a limb-darkened source, against a direct two-dimensional integral of the point-lens
magnification over the source weighted by the brightness.

s is the separation of the source centre from the lens in stellar radii (the argument l).
"""

import math
import os
import subprocess
import sys

import mpmath
import obrivane
import pytest
from profile_reference import profile_magnification, relative_error, uniform_disk_magnification

FAMILIES = [obrivane.integrated_heyrovsky_magnification, obrivane.integrated_witt_mao_magnification]

# Separations in stellar radii: the lens over the centre, inside the source, at the limb, just
# outside and far away.
SEPARATIONS = [0.0, 3e-5, 1e-3, 0.3, 0.5, 0.99995, 0.999, 1.0, 1.001, 1.2, 2.0, 5.0]
SOURCE_RADII = [1e-3, 0.05, 1.0, 10.0]
# Far from the source: u/rho = s from 10 to 100, and very far, s = 1000 and 10000. (The disk
# family differentiates the uniform-disk magnification numerically; very far from the lens the
# closed form of that magnification cancels like s^2, which the inverse step would amplify to
# about 1e-6 at s = 1000 without the series used there.)
FAR = [(10.0, 1.0), (10.0, 0.1), (0.1, 1e-3)]
VERY_FAR = [(10.0, 1e-3), (10.0, 1e-2)]


RING_FAMILY_TOLERANCE = 1e-10


def disk_family_tolerance(s):
    """The disk family takes a central difference of the disk magnification, whose kink (at the
    radius through the lens) the step straddles near the centre and near the limb. At s = 0 the
    step crosses the centre, where the magnification of a concentric disk diverges like 1/x, and
    costs about 1.4e-5 (1.6e-5 for other profiles)."""
    if s == 0:
        return 2e-5
    if s <= 1e-4 or abs(s - 1) <= 1e-4:
        return 1e-5
    return 1e-7


@pytest.fixture(scope="module")
def reference():
    cache = {}

    def limb_darkened(s, rho):
        if (s, rho) not in cache:
            cache[(s, rho)] = profile_magnification(s, 1 / rho)
        return cache[(s, rho)]

    return limb_darkened


CASES = [(s, rho) for rho in SOURCE_RADII for s in SEPARATIONS] + [(u / rho, rho) for u, rho in FAR]


@pytest.mark.parametrize(("s", "rho"), CASES + [(u / rho, rho) for u, rho in VERY_FAR])
def test_ring_family_against_the_source_integral(reference, s, rho):
    (value,) = obrivane.integrated_heyrovsky_magnification([s], 1.0, rho)
    assert relative_error(value, reference(s, rho)) < RING_FAMILY_TOLERANCE


@pytest.mark.parametrize(("s", "rho"), CASES + [(u / rho, rho) for u, rho in VERY_FAR])
def test_disk_family_against_the_source_integral(reference, s, rho):
    (value,) = obrivane.integrated_witt_mao_magnification([s], 1.0, rho)
    assert relative_error(value, reference(s, rho)) < disk_family_tolerance(s)


@pytest.mark.parametrize("rho", [2e-3, 0.3, 4.0])
def test_the_families_agree(rho):
    separations = [i / 97 for i in range(1, 300)]
    rings = obrivane.integrated_heyrovsky_magnification(separations, 1.0, rho)
    disks = obrivane.integrated_witt_mao_magnification(separations, 1.0, rho)
    for s, ring, disk in zip(separations, rings, disks, strict=True):
        assert abs(disk / ring - 1) < disk_family_tolerance(s)


@pytest.mark.parametrize("family", FAMILIES)
def test_limb_darkening_brightens_the_centre_and_dims_the_limb(family):
    # Limb darkening concentrates the light towards the centre: a lens over the centre magnifies
    # more than for a uniform source, a lens outside the limb less (at s = 2, rho = 1 the source
    # integrals give 1.07491 against 1.07665).
    centre, outside = family([0.0, 2.0], 1.0, 1.0)
    assert centre > uniform_disk_magnification(0.0, 1.0) * (1 + 1e-3)
    assert outside < uniform_disk_magnification(2.0, 1.0) * (1 - 1e-3)


@pytest.mark.parametrize("family", FAMILIES)
def test_empty_separations(family):
    assert family([], 1.0, 1.0) == []


@pytest.mark.parametrize("family", FAMILIES)
def test_separations_keep_their_order(family):
    separations = [3.0, 0.2, 1.0, 0.0, 0.7]
    together = family(separations, 1.0, 0.5)
    one_by_one = [family([s], 1.0, 0.5)[0] for s in separations]
    assert together == one_by_one


@pytest.mark.parametrize("family", FAMILIES)
@pytest.mark.parametrize("s", [math.nan, math.inf, -math.inf, -0.5, -1e-7])
def test_separation_that_cannot_be_computed_is_nan(family, s):
    values = family([2.0, s, 0.5], 1.0, 1.0)
    assert math.isnan(values[1])
    assert values[0] == family([2.0], 1.0, 1.0)[0]
    assert values[2] == family([0.5], 1.0, 1.0)[0]


@pytest.mark.parametrize("family", FAMILIES)
def test_point_source_radius_zero_is_nan(family):
    assert all(math.isnan(v) for v in family([0.0, 0.5, 2.0], 1.0, 0.0))


def test_no_einstein_radius():
    # The ring family sees no lens (q = 0) and gives 1; the disk family's source radius in
    # Einstein radii is infinite and nothing can be computed.
    rings = obrivane.integrated_heyrovsky_magnification([0.0, 0.5, 2.0], 0.0, 1.0)
    assert rings == pytest.approx([1.0, 1.0, 1.0], rel=1e-13)
    assert all(
        math.isnan(v) for v in obrivane.integrated_witt_mao_magnification([0.5, 2.0], 0.0, 1.0)
    )


def test_normalisation_is_the_rules_own_flux_integral(testing_module):
    assert testing_module.linear_limb_darkening_flux(1e-16) == 2.5132741228717936
    # ... which is short of the exact flux 0.8 pi in the 14th digit.
    assert 1e-14 < relative_error(2.5132741228717936, 0.8 * mpmath.pi) < 1e-13


@pytest.mark.parametrize(
    ("x", "expected"), [(0.0, 1.0), (1.0, 0.4), (0.6, 0.88), (0.8, 0.76), (1e-9, 1.0)]
)
def test_built_in_profile(testing_module, x, expected):
    # 1 - 0.6 (1 - mu), mu = sqrt(1 - x^2): mu = 0.8 at x = 0.6 and 0.6 at x = 0.8.
    assert testing_module.linear_limb_darkening(x) == pytest.approx(expected, rel=1e-15)


@pytest.mark.parametrize("x", [1e-8, 0.25, 0.5, 0.9, 0.999999])
def test_built_in_profile_operation_order(testing_module, x):
    assert testing_module.linear_limb_darkening(x) == 1 + (-0.6) * (1 - math.sqrt(1 - x * x))


def test_derivative_step(testing_module):
    with mpmath.workdps(40):
        cbrt_eps = float(mpmath.cbrt(mpmath.mpf(2) ** -52))
    assert testing_module.derivative_step(0.0) == cbrt_eps
    assert testing_module.derivative_step(-0.5) == 1.5 * cbrt_eps
    assert testing_module.derivative_step(2.0) == 3.0 * cbrt_eps


@pytest.mark.parametrize(
    "routine", ["_integrated_heyrovsky_magnification", "_integrated_witt_mao_magnification"]
)
@pytest.mark.parametrize(("s", "rho"), [(0.3, 1.0), (1.0, 0.05), (2.0, 1.0), (4.0, 10.0)])
def test_uniform_profile_gives_the_uniform_disk(testing_module, routine, s, rho):
    # I = 1 with the exact flux pi: the magnification of the whole uniform disk, not of its limb.
    (value,) = getattr(testing_module, routine)([s], 1.0, rho, [0.0, 1.0], [1.0, 1.0], math.pi)
    tolerance = 1e-10 if "heyrovsky" in routine else disk_family_tolerance(s)
    assert relative_error(value, uniform_disk_magnification(s, 1 / rho)) < tolerance


@pytest.mark.parametrize(
    "routine", ["_integrated_heyrovsky_magnification", "_integrated_witt_mao_magnification"]
)
def test_result_is_divided_by_the_normalisation(testing_module, routine):
    integrate = getattr(testing_module, routine)
    (unit,) = integrate([0.7], 1.0, 0.2, [0.0, 1.0], [1.0, 0.4], 1.0)
    (scaled,) = integrate([0.7], 1.0, 0.2, [0.0, 1.0], [1.0, 0.4], 3.0)
    assert scaled == unit / 3.0


_PROGRAM = """
import obrivane
separations = [i / 37 for i in range(120)] + [1.0, 0.5, 2.0, 1e-9]
table = ([0.0, 0.4, 1.0], [1.0, 0.9, 0.5])
results = [
    obrivane.integrated_heyrovsky_magnification(separations, 1.0, 0.3),
    obrivane.integrated_witt_mao_magnification(separations, 1.0, 0.3),
    obrivane.integrated_flux_map_heyrovsky_magnification(separations, 1.0, 0.3, *table),
    obrivane.integrated_flux_map_witt_mao_magnification(separations, 1.0, 0.3, *table),
]
print([[v.hex() for v in values] for values in results])
"""


def test_results_do_not_depend_on_the_pool_size():
    outputs = set()
    for threads in ("1", "2", "5"):
        environment = dict(os.environ, RAYON_NUM_THREADS=threads)
        completed = subprocess.run(
            [sys.executable, "-c", _PROGRAM],
            env=environment,
            capture_output=True,
            text=True,
            check=True,
        )
        outputs.add(completed.stdout)
    assert len(outputs) == 1
