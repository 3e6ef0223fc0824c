"""The limb-darkening laws of models/brightness_laws.hpp (through _obrivane_testing) against
independent references: two-dimensional integrals of the point-lens magnification over the
source (tests/brightness_law_reference.json, from tools/generate_brightness_law_reference.py),
closed forms with the lens over the centre, the large-source limit and the built-in linear law.

u and rho are in Einstein radii; s = u/rho is the separation in source radii.
"""

import importlib
import json
import math
from pathlib import Path

import mpmath
import obrivane
import pytest

ROOT = Path(__file__).resolve().parents[2]
REFERENCE = json.loads(
    (ROOT / "tests" / "brightness_law_reference.json").read_text(encoding="utf-8")
)

testing = pytest.importorskip("_obrivane_testing")


class Law:
    """A law's hook, its brightness I(mu) and its decomposition into the reference profiles
    (mu^p by the name of p, "log" for mu ln mu): I = sum of weight * profile."""

    def __init__(self, name, hook, flux, brightness, terms):
        self.name, self.hook, self.flux, self.brightness, self.terms = (
            name,
            hook,
            flux,
            brightness,
            terms,
        )

    def __call__(self, u, rho, *coefficients):
        return self.hook(u, rho, *coefficients)


LAWS = {
    "linear": Law(
        "linear",
        testing.linear_law_magnification,
        testing.linear_law_flux,
        lambda mu, u1: 1 - u1 * (1 - mu),
        lambda u1: {"0": 1 - u1, "1": u1},
    ),
    "quadratic": Law(
        "quadratic",
        testing.quadratic_law_magnification,
        testing.quadratic_law_flux,
        lambda mu, a, b: 1 - a * (1 - mu) - b * (1 - mu) ** 2,
        lambda a, b: {"0": 1 - a - b, "1": a + 2 * b, "2": -b},
    ),
    "square_root": Law(
        "square_root",
        testing.square_root_law_magnification,
        testing.square_root_law_flux,
        lambda mu, c, d: 1 - c * (1 - mu) - d * (1 - mpmath.sqrt(mu)),
        lambda c, d: {"0": 1 - c - d, "1": c, "0.5": d},
    ),
    "logarithmic": Law(
        "logarithmic",
        testing.logarithmic_law_magnification,
        testing.logarithmic_law_flux,
        lambda mu, e, f: 1 - e * (1 - mu) - f * (mu * mpmath.log(mu) if mu > 0 else 0),
        lambda e, f: {"0": 1 - e, "1": e, "log": -f},
    ),
    "power2": Law(
        "power2",
        testing.power2_law_magnification,
        testing.power2_law_flux,
        lambda mu, c, alpha: 1 - c * (1 - mu**alpha),
        lambda c, alpha: {"0": 1 - c, repr(alpha): c},
    ),
}

# Coefficients of each law: typical stellar values, a profile alone (mu^2 from the quadratic
# law, sqrt(mu) from the square-root law), both power-2 branches (alpha below and above 1).
COEFFICIENTS = [
    ("linear", (0.6,)),
    ("linear", (1.0,)),
    ("quadratic", (0.4, 0.25)),
    ("quadratic", (2.0, -1.0)),
    ("square_root", (0.3, 0.5)),
    ("square_root", (0.0, 1.0)),
    ("logarithmic", (0.6, 0.2)),
    ("logarithmic", (1.0, -1.0)),
    ("power2", (0.6, 0.3)),
    ("power2", (0.8, 2.7)),
]


def relative_error(actual, expected):
    if math.isnan(actual):
        return math.inf
    return float(abs((mpmath.mpf(actual) - expected) / expected))


def reference_magnification(case, law, coefficients):
    integrals = {name: mpmath.mpf(value) for name, value in case["integrals"].items()}
    weights = law.terms(*coefficients)
    total = mpmath.fsum(weight * integrals[name] for name, weight in weights.items())
    flux = mpmath.fsum(
        weight * (mpmath.mpf(-2) / 9 if name == "log" else 2 / (mpmath.mpf(name) + 2))
        for name, weight in weights.items()
    )
    return total / flux


def tolerance(rho):
    return 1e-13 if rho <= 3 else 1e-11


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
def test_laws_against_the_source_integral(name, coefficients):
    law = LAWS[name]
    failures = []
    for case in REFERENCE["cases"]:
        s, rho = case["s"], case["rho"]
        expected = reference_magnification(case, law, coefficients)
        error = relative_error(law(s * rho, rho, *coefficients), expected)
        # Tighter than the bounds (1e-13, and 1e-11 beyond rho = 3), at what the evaluation
        # reaches: a few 1e-15 by lines (rho <= 10) and by rays through the lens beyond.
        if not error <= (1e-14 if rho <= 10 else 1e-13):
            failures.append((s, rho, error))
    assert failures == []


# The mu-weighted disk (the linear law with u1 = 1) takes one pair of node counts per band of
# source radii, weakest at the band's largest radius: each band there, at every reference
# separation, within the worst error the documentation gives for the linear law (6.1e-15).
@pytest.mark.parametrize("rho", [0.01, 0.1, 0.3, 1.0, 3.0, 10.0])
def test_each_band_of_the_mu_weighted_disk_at_its_largest_radius(rho):
    cases = [case for case in REFERENCE["cases"] if case["rho"] == rho]
    assert len(cases) >= 4
    law = LAWS["linear"]
    errors = {
        case["s"]: relative_error(
            law(case["s"] * rho, rho, 1.0), reference_magnification(case, law, (1.0,))
        )
        for case in cases
    }
    assert max(errors.values()) <= 6.1e-15, errors


@pytest.mark.parametrize("case", REFERENCE["cases"], ids=lambda c: f"s={c['s']}-rho={c['rho']}")
def test_uniform_against_the_source_integral(case):
    s, rho = case["s"], case["rho"]
    expected = mpmath.mpf(case["integrals"]["0"])
    assert relative_error(testing.uniform_law_magnification(s * rho, rho), expected) <= 1e-14


def test_reference_holds_every_profile_of_the_laws():
    names = set(REFERENCE["profiles"])
    for name, coefficients in COEFFICIENTS:
        assert set(LAWS[name].terms(*coefficients)) <= names


def load_generator():
    # tools/ is on the import path (conftest.py).
    return importlib.import_module("generate_brightness_law_reference")


def test_reference_lists_the_generator_cases():
    generator = load_generator()
    assert [(c["s"], c["rho"]) for c in REFERENCE["cases"]] == list(generator.CASES)
    assert REFERENCE["profiles"] == list(generator.PROFILES)


def test_reference_case_with_the_lens_over_the_centre_regenerates():
    # With s = 0 the circle means are the point-lens values: a few seconds.
    generator = load_generator()
    case = next(c for c in REFERENCE["cases"] if c["s"] == 0 and c["rho"] == 0.5)
    assert generator.case_integrals((case["s"], case["rho"])) == case


@pytest.mark.parametrize(
    ("x", "s", "rho"),
    [
        (0.3, 0.5, 0.5),
        (0.9, 1.0, 0.01),
        (0.5, 0.5 + 1e-9, 1.0),
        (0.99, 4.2, 3.0),
        (0.2, 1 - 1e-12, 1e-5),
    ],
)
def test_reference_circle_mean_against_quadrature(x, s, rho):
    # The reference's elliptic circle mean against the direct quadrature over the circle.
    generator = load_generator()
    with mpmath.workdps(30):
        x, s, rho = mpmath.mpf(x), mpmath.mpf(s), mpmath.mpf(rho)
        closed = generator.ring_mean(x, s, rho)
        direct = generator.ring_mean_by_quadrature(x, s, rho)
        assert abs(closed / direct - 1) < mpmath.mpf(10) ** -24


@pytest.mark.tooling
def test_reference_case_by_the_limb_regenerates():
    generator = load_generator()
    case = next(c for c in REFERENCE["cases"] if c["s"] == 1 - 1e-12 and c["rho"] == 0.01)
    assert generator.case_integrals((case["s"], case["rho"])) == case


RADII = [1e-5, 1e-3, 0.01, 0.3, 1.0, 3.0, 30.0, 1000.0]


def on_axis_mu(rho):
    # integral of 2 mu A over the disk / (pi rho^2) with r = rho sin(phi): complete elliptic
    # integrals of parameter m = -rho^2/4, divided by the flux 2/3.
    m = -rho * rho / 4
    K, E = mpmath.ellipk(m), mpmath.ellipe(m)
    integral = (2 / rho) * (
        K - (1 + 2 * m) * (K - E) / m + 2 * m * ((2 + m) * K - 2 * (1 + m) * E) / (3 * m * m)
    )
    return integral * 1.5


def on_axis_mu_squared(rho):
    # The antiderivatives of (r^2 + 2)/sqrt(r^2 + 4) and r^2 (r^2 + 2)/sqrt(r^2 + 4).
    root = mpmath.sqrt(rho * rho + 4)
    return root / rho + 2 * root / rho**3 - 8 * mpmath.asinh(rho / 2) / rho**4


@pytest.mark.parametrize("rho", RADII)
def test_on_axis_closed_forms(rho):
    with mpmath.workdps(60):
        r = mpmath.mpf(rho)
        mu, mu_squared, uniform = on_axis_mu(r), on_axis_mu_squared(r), mpmath.sqrt(r * r + 4) / r
    bound = tolerance(rho)
    assert relative_error(testing.linear_law_magnification(0.0, rho, 1.0), mu) <= bound
    assert (
        relative_error(testing.quadratic_law_magnification(0.0, rho, 2.0, -1.0), mu_squared)
        <= bound
    )
    assert relative_error(testing.power2_law_magnification(0.0, rho, 1.0, 2.0), mu_squared) <= bound
    assert relative_error(testing.uniform_law_magnification(0.0, rho), uniform) <= 1e-14


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
@pytest.mark.parametrize("s", [0.0, 0.5])
def test_large_sources_approach_the_point_lens_excess(name, coefficients, s):
    # The point-lens excess A - 1 integrates to 2 pi over the plane, so a source much larger than
    # the Einstein radius gains 2 I(s)/(rho^2 flux), I(s) its brightness over the lens, to a
    # relative O(log(rho)/rho^2).
    law = LAWS[name]
    rho = 1e4
    mu = math.sqrt(1 - s * s)
    excess = (
        2
        * float(law.brightness(mpmath.mpf(mu), *coefficients))
        / (rho**2 * law.flux(*coefficients))
    )
    assert abs((law(s * rho, rho, *coefficients) - 1) / excess - 1) < 1e-5


@pytest.mark.parametrize("s", [0.0, 0.3, 1 - 1e-12, 1.0, 1 + 1e-12, 2.0, 3.999, 4.001, 10.0, 1e5])
@pytest.mark.parametrize("rho", [1e-4, 0.01, 0.2, 1.0, 3.0])
def test_linear_matches_the_built_in_law(s, rho):
    (built_in,) = obrivane.integrated_witt_mao_magnification([s], 1.0, rho)
    assert abs(testing.linear_law_magnification(s * rho, rho, 0.6) / built_in - 1) <= 1e-13


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
def test_fluxes_against_quadrature(name, coefficients):
    law = LAWS[name]
    with mpmath.workdps(30):
        # integral_0^1 2 x I dx = integral_0^1 2 mu I dmu.
        flux = mpmath.quad(lambda mu: 2 * mu * law.brightness(mu, *coefficients), [0, 1])
    assert relative_error(law.flux(*coefficients), flux) <= 4e-16


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
@pytest.mark.parametrize("rho", [1e-3, 0.5, 2.0])
def test_far_series_and_near_integrals_agree_at_the_switch(name, coefficients, rho):
    # Four source radii from the lens the evaluation changes method. The magnification is smooth
    # there, so its linear extrapolations to the switch from either side, from steps of a
    # relative 1e-7 (second-order error about 1e-14), agree.
    law = LAWS[name]

    def at(offset):
        return law(4 * rho * (1 + offset), rho, *coefficients)

    below = 2 * at(-1e-7) - at(-2e-7)
    above = 2 * at(1e-7) - at(2e-7)
    assert abs(above / below - 1) <= 1e-13


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
@pytest.mark.parametrize(("s", "far"), [(0.5, False), (1.0, False), (10.0, True)])
def test_tiny_sources_scale_as_one_over_the_radius(name, coefficients, s, far):
    # Near the lens A(u) = (1/u)(1 + O(u^2)): rho A is the same for every tiny source, on both
    # sides of the rescaling threshold (1e-60 near the source, u = 1e-100 in the far series).
    law = LAWS[name]
    radii = [1e-102, 1e-99] if far else [1e-62, 1e-58, 1e-40]
    values = [rho * law(s * rho, rho, *coefficients) for rho in radii]
    for value in values[1:]:
        assert abs(value / values[0] - 1) <= 1e-13


@pytest.mark.parametrize(("name", "coefficients"), [*COEFFICIENTS, ("uniform", ())])
def test_geometry_without_a_value(name, coefficients):
    law = testing.uniform_law_magnification if name == "uniform" else LAWS[name]
    for u, rho in [
        (-1.0, 1.0),
        (math.nan, 1.0),
        (1.0, 0.0),
        (1.0, -1.0),
        (1.0, math.nan),
        (1.0, math.inf),
    ]:
        assert math.isnan(law(u, rho, *coefficients)), (u, rho)
    assert law(math.inf, 1.0, *coefficients) == 1
    assert law(1e300, 1.0, *coefficients) == 1


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
def test_nan_coefficients_give_nan(name, coefficients):
    law = LAWS[name]
    for index in range(len(coefficients)):
        broken = list(coefficients)
        broken[index] = math.nan
        for u, rho in [(0.5, 1.0), (100.0, 1.0), (0.5, 1e9)]:
            assert math.isnan(law(u, rho, *broken)), (broken, u, rho)


def test_power2_exponent_outside_its_range():
    for alpha in (-0.5, -math.inf, math.nan):
        assert math.isnan(testing.power2_law_magnification(0.5, 1.0, 0.6, alpha))
        assert math.isnan(testing.power2_law_flux(0.6, alpha))
    # alpha = 0 is the uniform disk whatever c.
    assert testing.power2_law_magnification(
        0.5, 1.0, 0.6, 0.0
    ) == testing.uniform_law_magnification(0.5, 1.0)


def test_power2_cache_keeps_its_exponents_apart():
    # More distinct exponents than the cache keeps, in turns, far from the source (where the
    # cached moments are used) and near it: each value as with a fresh cache.
    alphas = [0.3, 2.7, 0.3, 1.0, 4.0, 0.5, 7.0, 2.7, 0.3, 1.5]
    for u in (0.5, 40.0):
        shared = testing.power2_with_shared_rules(u, 1.0, 0.6, alphas)
        fresh = [testing.power2_law_magnification(u, 1.0, 0.6, alpha) for alpha in alphas]
        assert shared == fresh


def nowhere_negative(name, coefficients):
    return all(LAWS[name].brightness(mpmath.mpf(i) / 1000, *coefficients) >= 0 for i in range(1001))


@pytest.mark.parametrize(
    ("name", "coefficients"), [law for law in COEFFICIENTS if nowhere_negative(*law)]
)
def test_non_negative_laws_magnify_by_at_least_one(name, coefficients):
    law = LAWS[name]
    for rho in (1e3, 1e6, 1e7, 1e9):
        for s in (0.0, 0.99, 2.0):
            assert law(s * rho, rho, *coefficients) >= 1


@pytest.mark.parametrize(
    "u", [0.0, 1e-300, 1e-8, 0.3, 1.0, 2.5, 1e5, 1e200, 1.7e308, math.inf, -1.0, math.nan]
)
def test_point_source(u):
    value = testing.point_source_magnification(u)
    if not u >= 0:
        assert math.isnan(value)
    elif u == 0:
        assert value == math.inf
    else:
        with mpmath.workdps(40):
            x = mpmath.mpf(u)
            expected = 1 if u == math.inf else (x * x + 2) / (x * mpmath.sqrt(x * x + 4))
            assert relative_error(value, expected) <= 2.3e-16


IDENTITY_POINTS = [
    (s, rho) for rho in (1e-3, 0.3, 2.0, 10.0, 30.0) for s in (0.0, 0.7, 1 - 1e-12, 1.0, 1.3, 5.0)
]


@pytest.mark.parametrize(("s", "rho"), IDENTITY_POINTS)
def test_laws_that_are_the_same_law(s, rho):
    # The same brightness written in two laws, evaluated by different rules: power-2 with
    # alpha = 1 is linear, alpha = 2 quadratic (1 - c(1 - mu^2) = 1 - 2c(1 - mu) + c(1 - mu)^2),
    # alpha = 1/2 the square-root law without its linear term; f = 0 makes the logarithmic law
    # linear.
    u = s * rho
    bound = tolerance(rho)
    pairs = [
        (
            testing.power2_law_magnification(u, rho, 0.6, 1.0),
            testing.linear_law_magnification(u, rho, 0.6),
        ),
        (
            testing.power2_law_magnification(u, rho, 0.6, 2.0),
            testing.quadratic_law_magnification(u, rho, 1.2, -0.6),
        ),
        (
            testing.power2_law_magnification(u, rho, 0.6, 0.5),
            testing.square_root_law_magnification(u, rho, 0.0, 0.6),
        ),
        (
            testing.logarithmic_law_magnification(u, rho, 0.6, 0.0),
            testing.linear_law_magnification(u, rho, 0.6),
        ),
    ]
    for first, second in pairs:
        assert abs(first / second - 1) <= bound


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
@pytest.mark.parametrize("s", [0.0, 0.5, 1.0, 1.5])
def test_lines_and_rays_agree_at_the_largest_radius_by_lines(name, coefficients, s):
    # Sources up to 10 Einstein radii are integrated along lines through the lens, larger ones
    # along rays from it: either side of 10 the magnification changes by a relative
    # 1e-12 times its slope in rho (of order 1e-2 here).
    law = LAWS[name]
    below = law(s * 10.0, 10.0, *coefficients)
    above = law(s * 10.0 * (1 + 1e-12), 10.0 * (1 + 1e-12), *coefficients)
    assert abs(above / below - 1) <= 1e-13
