"""The laws' magnifications with their partial derivatives (models/law_gradients.hpp, through
_obrivane_testing.law_gradient) against independent references: central differences of a 45-digit
two-dimensional integral over the source for the derivatives in u and rho, and the same integrals
of the single profiles mu^p, mu ln mu and mu^alpha ln mu for the derivatives in the coefficients
(tests/law_gradient_reference.json, from tools/generate_law_gradient_reference.py); the uniform
disk's derivative in rho against the mean magnification of its rim; the point lens against mpmath's
derivative of its formula.

Errors are relative: a derivative in u or rho relative to the larger of its size and A/max(u, rho)
(the size a derivative of A has on the scale of the geometry), a derivative in a coefficient
relative to the larger of its size and |A - 1|/100, beyond an absolute floor of 16 epsilon A: the
rounding of the magnifications whose differences the coefficient derivatives are (it matters for
large sources, where A - 1 ~ 2/rho^2).
"""

import importlib
import json
import math
from pathlib import Path

import mpmath
import pytest

ROOT = Path(__file__).resolve().parents[2]
REFERENCE_PATH = ROOT / "tests" / "law_gradient_reference.json"
REFERENCE = json.loads(REFERENCE_PATH.read_text(encoding="utf-8"))

testing = pytest.importorskip("_obrivane_testing")

from test_large_sources import (  # noqa: E402  (the same directory)
    ANGLE_INTERVALS,
    angle_switch,
    derivatives_angle_switch,
)


def flux_of(profile):
    """integral_0^1 2 x P dx of a reference profile, for the exponent as the double the generator
    used (0.3 is not 3/10)."""
    if profile == "log":
        return mpmath.mpf(-2) / 9
    if profile.endswith("log"):
        p = mpmath.mpf(float(profile[:-3]))
        return -2 / (p + 2) ** 2
    return 2 / (mpmath.mpf(float(profile)) + 2)


class Law:
    """A law's number in the testing hook, its coefficients' count, its decomposition into the
    reference profiles (weight of each profile) and the derivatives of those weights in each
    coefficient."""

    def __init__(self, number, terms, slopes):
        self.number, self.terms, self.slopes = number, terms, slopes

    def gradient(self, u, rho, coefficients):
        first, second = (list(coefficients) + [0.0, 0.0])[:2]
        return testing.law_gradient(self.number, u, rho, first, second)


LAWS = {
    "uniform": Law(0, lambda: {"0": 1}, lambda: []),
    "linear": Law(1, lambda u1: {"0": 1 - u1, "1": u1}, lambda u1: [{"0": -1, "1": 1}]),
    "quadratic": Law(
        2,
        lambda a, b: {"0": 1 - a - b, "1": a + 2 * b, "2": -b},
        lambda a, b: [{"0": -1, "1": 1}, {"0": -1, "1": 2, "2": -1}],
    ),
    "square_root": Law(
        3,
        lambda c, d: {"0": 1 - c - d, "1": c, "0.5": d},
        lambda c, d: [{"0": -1, "1": 1}, {"0": -1, "0.5": 1}],
    ),
    "logarithmic": Law(
        4,
        lambda e, f: {"0": 1 - e, "1": e, "log": -f},
        lambda e, f: [{"0": -1, "1": 1}, {"log": -1}],
    ),
    "power2": Law(
        5,
        lambda c, alpha: {"0": 1 - c, repr(alpha): c},
        lambda c, alpha: [{"0": -1, repr(alpha): 1}, {repr(alpha) + "log": c}],
    ),
}

COEFFICIENTS = [
    ("uniform", ()),
    ("linear", (0.6,)),
    ("linear", (1.0,)),
    ("quadratic", (0.4, 0.25)),
    ("quadratic", (2.0, -1.0)),
    ("square_root", (0.3, 0.5)),
    ("square_root", (0.0, 1.0)),
    ("logarithmic", (0.6, 0.2)),
    ("power2", (0.6, 0.3)),
    ("power2", (0.8, 2.7)),
]


def reference_gradient(case, name, coefficients):
    """[A, dA/du, dA/drho, dA/dcoefficient...] from the profiles' integrals (mpf), the derivatives
    in u and rho None where the reference has none (on the limb). Combined at 40 digits: far from
    the source the coefficient derivatives are differences of the integrals far below 1e-16."""
    with mpmath.workdps(40):
        return _reference_gradient(case, name, coefficients)


def _reference_gradient(case, name, coefficients):
    law = LAWS[name]
    weights = law.terms(*coefficients)

    def combined(key):
        return mpmath.fsum(w * mpmath.mpf(case[key][p]) for p, w in weights.items())

    flux = mpmath.fsum(w * flux_of(p) for p, w in weights.items())
    magnification = combined("integrals") / flux
    d_u = combined("d_u") / flux if "d_u" in case else None
    d_rho = combined("d_rho") / flux if "d_rho" in case else None
    slopes = []
    for slope in law.slopes(*coefficients):
        integral = mpmath.fsum(w * mpmath.mpf(case["integrals"][p]) for p, w in slope.items())
        slope_flux = mpmath.fsum(w * flux_of(p) for p, w in slope.items())
        slopes.append((integral - magnification * slope_flux) / flux)
    return [magnification, d_u, d_rho, *slopes]


def geometry_error(actual, expected, magnification, u, rho):
    if not math.isfinite(actual):
        return math.inf
    with mpmath.workdps(40):
        scale = max(abs(expected), magnification / max(u, rho))
        return float(abs(mpmath.mpf(actual) - expected) / scale)


EPSILON = 2.0**-52
FLOOR = 16


def coefficient_error(actual, expected, magnification):
    scale = max(abs(expected), abs(magnification - 1) / 100)
    if not math.isfinite(actual):
        return math.inf
    with mpmath.workdps(40):
        excess = max(abs(mpmath.mpf(actual) - expected) - FLOOR * EPSILON * magnification, 0)
        return float(excess / scale)


def case_id(case):
    return f"u={case['u']!r}-rho={case['rho']!r}"


# The bounds. Measured against the 45-digit references (benchmarks/bench_gradients.py
# --accuracy): derivatives in u and rho within 8.2e-15 of max(|derivative|, A/max(u, rho))
# everywhere (the centre, inside, 1e-12 and 1e-6 from the limb on both sides, outside, far, rho
# from 1e-5 to 1000); derivatives in coefficients within 11 epsilon A absolutely, which is within
# 1.2e-10 of max(|derivative|, |A - 1|/100) for rho <= 10 and within 1e-3 of that for rho = 100
# and 1000, where A - 1 ~ 2/rho^2 is itself known to a few epsilon A only.
GEOMETRY_BOUND = 5e-14
COEFFICIENT_BOUND = 1e-12


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
def test_gradients_against_the_source_integral(name, coefficients):
    law = LAWS[name]
    failures = []
    for case in REFERENCE["cases"]:
        u, rho = case["u"], case["rho"]
        expected = reference_gradient(case, name, coefficients)
        actual = law.gradient(u, rho, coefficients)
        magnification = expected[0]
        errors = {"A": float(abs(mpmath.mpf(actual[0]) / magnification - 1))}
        for index, label in ((1, "d_u"), (2, "d_rho")):
            if expected[index] is not None:
                errors[label] = geometry_error(
                    actual[index], expected[index], magnification, u, rho
                )
        for index, slope in enumerate(expected[3:]):
            errors[f"d_c{index}"] = coefficient_error(actual[3 + index], slope, magnification)
        bounds = {"A": 1e-13 if rho <= 10 else 1e-12}
        bad = {
            k: e
            for k, e in errors.items()
            if not e <= bounds.get(k, COEFFICIENT_BOUND if k.startswith("d_c") else GEOMETRY_BOUND)
        }
        if bad:
            failures.append((u, rho, bad))
    assert failures == []


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
def test_magnification_is_the_value_functions(name, coefficients):
    values = {
        "uniform": testing.uniform_law_magnification,
        "linear": testing.linear_law_magnification,
        "quadratic": testing.quadratic_law_magnification,
        "square_root": testing.square_root_law_magnification,
        "logarithmic": testing.logarithmic_law_magnification,
        "power2": testing.power2_law_magnification,
    }
    for case in REFERENCE["cases"]:
        u, rho = case["u"], case["rho"]
        gradient = LAWS[name].gradient(u, rho, coefficients)
        assert gradient[0] == values[name](u, rho, *coefficients), (u, rho)


def load_generator():
    # tools/ is on the import path (conftest.py).
    return importlib.import_module("generate_law_gradient_reference")


def test_reference_lists_the_generator_cases():
    generator = load_generator()
    assert [(c["u"], c["rho"]) for c in REFERENCE["cases"]] == [
        (s * rho, rho) for s, rho in generator.CASES
    ]
    assert REFERENCE["profiles"] == list(generator.PROFILES)


def test_reference_case_with_the_lens_over_the_centre_regenerates():
    # With u = 0 the circle means are the point lens's: a few seconds.
    generator = load_generator()
    case = next(c for c in REFERENCE["cases"] if c["u"] == 0 and c["rho"] == 0.5)
    assert generator.case_reference((0.0, 0.5)) == case


@pytest.mark.tooling
def test_reference_case_beside_the_limb_regenerates():
    generator = load_generator()
    case = next(c for c in REFERENCE["cases"] if c["u"] == (1 + 1e-12) * 0.5 and c["rho"] == 0.5)
    assert generator.case_reference((1 + 1e-12, 0.5)) == case


RIM_POINTS = [
    (s, rho)
    for rho in (1e-5, 0.01, 0.5, 3.0, 30.0, 1000.0)
    for s in (1e-3, 0.5, 0.95, 1 - 1e-12, 1 + 1e-12, 1.05, 2.0, 3.99)
]


@pytest.mark.parametrize(("s", "rho"), RIM_POINTS)
def test_uniform_rho_derivative_is_the_rim_magnification(s, rho):
    # The disk's magnified flux pi rho^2 A grows at the rate 2 pi rho R0, R0 the mean point-lens
    # magnification over its rim: dA/drho = 2 (R0 - A)/rho, R0 from the generators' 40-digit
    # elliptic circle mean.
    generator = load_generator()
    u = s * rho
    value, _, d_rho = testing.uniform_disk_gradient(u, rho)
    with mpmath.workdps(40):
        rim = generator.base.ring_mean(mpmath.mpf(1), mpmath.mpf(u) / rho, mpmath.mpf(rho))
        expected = 2 * (rim - mpmath.mpf(value)) / rho
        # The value's own rounding (a few ulps) moves the identity by 2 ulps of A/rho.
        error = abs(d_rho - expected) / max(abs(expected), mpmath.mpf(value) / max(u, rho))
    assert error <= 3e-14


@pytest.mark.parametrize(("s", "rho"), [*RIM_POINTS, (1e-6, 0.5), (1e-6, 1000.0), (0.3, 1000.0)])
def test_uniform_u_derivative_is_the_rim_cosine_mean(s, rho):
    # Moving the lens by du moves the disk's magnified flux pi rho^2 A by minus the rim's flux
    # times cos(phi), phi from the lens' direction (the divergence theorem): dA/du = -2 C/rho,
    # C = (1/pi) integral_0^pi A(w) cos(phi) dphi, here by mpmath's quadrature at 30 digits with
    # break points graded towards the lens' nearest rim point. Includes the lens near the centre
    # and a large source deep over it, where the closed form's two parts cancel.
    u = s * rho
    value, d_u, _ = testing.uniform_disk_gradient(u, rho)
    with mpmath.workdps(30):
        u_mp, rho_mp = mpmath.mpf(u), mpmath.mpf(rho)

        def integrand(phi):
            w = mpmath.sqrt((u_mp - rho_mp) ** 2 + 4 * u_mp * rho_mp * mpmath.sin(phi / 2) ** 2)
            return (w * w + 2) / (w * mpmath.sqrt(w * w + 4)) * mpmath.cos(phi)

        points = [mpmath.mpf(0)]
        width = abs(u_mp - rho_mp) / mpmath.sqrt(u_mp * rho_mp)
        while width < mpmath.pi:
            points.append(width)
            width *= 10
        points.append(mpmath.pi)
        expected = -2 * (mpmath.quad(integrand, points) / mpmath.pi) / rho_mp
        error = abs(d_u - expected) / max(abs(expected), mpmath.mpf(value) / max(u, rho))
    assert error <= 3e-14


@pytest.mark.parametrize("rho", [1e-5, 0.3, 1.0, 30.0])
def test_uniform_on_the_limb_diverges_with_the_signs_of_its_neighbours(rho):
    _, d_u, d_rho = testing.uniform_disk_gradient(rho, rho)
    assert d_u == -math.inf and d_rho == math.inf
    for side in (-1, 1):
        # Closer to the limb the logarithm dominates more: the derivatives grow towards it.
        _, d_u_near, d_rho_near = testing.uniform_disk_gradient((1 + side * 1e-12) * rho, rho)
        _, d_u_off, d_rho_off = testing.uniform_disk_gradient((1 + side * 1e-6) * rho, rho)
        assert d_u_near < d_u_off < 0 and d_rho_near > d_rho_off


@pytest.mark.parametrize("rho", [1e-3, 0.5, 30.0])
def test_laws_on_the_limb(rho):
    # A law with brightness at the limb inherits the uniform disk's infinities (times that
    # brightness over the flux); without it (linear u1 = 1) its derivatives are finite.
    _, d_u, d_rho, *_ = LAWS["linear"].gradient(rho, rho, (0.6,))
    assert d_u == -math.inf and d_rho == math.inf
    _, d_u, d_rho, *_ = LAWS["quadratic"].gradient(rho, rho, (2.0, 0.5))  # limb brightness -1.5
    assert d_u == math.inf and d_rho == -math.inf
    gradient = LAWS["linear"].gradient(rho, rho, (1.0,))
    assert all(math.isfinite(x) for x in gradient)


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
@pytest.mark.parametrize("rho", [1e-70, 1e-5, 0.5, 3.0, 30.0, 1e3])
def test_no_derivative_in_u_with_the_lens_over_the_centre(name, coefficients, rho):
    assert LAWS[name].gradient(0.0, rho, coefficients)[1] == 0


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
@pytest.mark.parametrize(("s", "far"), [(0.5, False), (1 - 1e-12, False), (10.0, True)])
def test_tiny_sources_scale(name, coefficients, s, far):
    # Near the lens A(u, rho) = A(k u, k rho) k: rho A, rho^2 dA/du, rho^2 dA/drho and rho dA/dc
    # are the same for every tiny source, on both sides of the rescaling thresholds (1e-60 near
    # the source, u = 1e-100 in the far series). Powers of two, so that s rho is exact.
    radii = [2.0**-339, 2.0**-329] if far else [2.0**-206, 2.0**-193, 2.0**-133]
    scaled = []
    for rho in radii:
        g = LAWS[name].gradient(s * rho, rho, coefficients)
        scaled.append([rho * g[0], rho * rho * g[1], rho * rho * g[2], rho * g[3], rho * g[4]])
    for other in scaled[1:]:
        for first, second in zip(scaled[0], other, strict=True):
            assert abs(second - first) <= 1e-13 * max(abs(first), abs(scaled[0][0])), (
                first,
                second,
            )


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
def test_geometry_without_a_value(name, coefficients):
    for u, rho in [
        (-1.0, 1.0),
        (math.nan, 1.0),
        (1.0, 0.0),
        (1.0, -1.0),
        (1.0, math.nan),
        (1.0, math.inf),
    ]:
        assert all(math.isnan(x) for x in LAWS[name].gradient(u, rho, coefficients)), (u, rho)
    assert LAWS[name].gradient(math.inf, 1.0, coefficients) == [1, 0, 0, 0, 0]
    for index in range(len(coefficients)):
        broken = list(coefficients)
        broken[index] = math.nan
        for u in (0.5, 100.0):
            assert all(math.isnan(x) for x in LAWS[name].gradient(u, 1.0, broken)), (broken, u)


@pytest.mark.parametrize(("c", "alpha"), [(0.6, 0.0), (0.6, 0.3), (0.8, 2.7)])
@pytest.mark.parametrize("rho", [0.01, 0.5, 3.0, 100.0])
def test_power2_alpha_derivative_with_the_lens_over_the_centre(c, alpha, rho):
    # Over the centre the circle means are the point lens's: the profiles' integrals are
    # one-dimensional, integral_0^1 2 x P(mu) A(rho x) dx, and dA/dalpha = c (M' - A f')/F with
    # M' and f' those of mu^alpha ln mu (ln mu at alpha = 0), F = 1 - c alpha/(alpha + 2).
    with mpmath.workdps(30):

        def integral(profile):
            def integrand(x):
                u = rho * x
                return (
                    2
                    * x
                    * profile(mpmath.sqrt(1 - x * x))
                    * (u * u + 2)
                    / (u * mpmath.sqrt(u * u + 4))
                )

            return mpmath.quad(integrand, [0, 1])

        a = mpmath.mpf(alpha)
        uniform = integral(lambda mu: 1)
        power = integral(lambda mu: mu**a if mu > 0 else (1 if a == 0 else 0))
        logarithm = integral(lambda mu: mu**a * mpmath.log(mu) if mu > 0 else 0)
        flux = 1 - c * a / (a + 2)
        magnification = ((1 - c) * uniform + c * power) / flux
        expected = c * (logarithm - magnification * (-2 / (a + 2) ** 2)) / flux
    gradient = LAWS["power2"].gradient(0.0, rho, (c, alpha))
    assert coefficient_error(gradient[4], expected, magnification) <= COEFFICIENT_BOUND


@pytest.mark.parametrize("u", [1e-150, 1e-8, 0.3, 1.0, 2.5, 1e5, 1e60])
def test_point_source(u):
    value, slope = testing.point_source_gradient(u)
    # Far out A - 1 ~ 2/u^4: enough digits to see it change.
    with mpmath.workdps(60 + 4 * max(0, round(math.log10(u)))):
        x = mpmath.mpf(u)
        expected = mpmath.diff(lambda y: (y * y + 2) / (y * mpmath.sqrt(y * y + 4)), x, h=x * 1e-25)
    assert value == testing.point_source_magnification(u)
    assert float(abs((slope - expected) / expected)) <= 1e-15


def test_point_source_overflows_where_its_derivative_does():
    # -8/(u^2 (u^2 + 4)^(3/2)) ~ -1/u^2 beyond the largest double below u = 1e-154, and
    # -8/u^5 below the smallest subnormal beyond u = 1e65.
    assert testing.point_source_gradient(1e-300)[1] == -math.inf
    assert testing.point_source_gradient(1e100)[1] == 0


def test_point_source_edges():
    assert testing.point_source_gradient(0.0) == [math.inf, -math.inf]
    assert testing.point_source_gradient(math.inf) == [1, 0]
    for u in (-1.0, math.nan):
        assert all(math.isnan(x) for x in testing.point_source_gradient(u))


@pytest.mark.parametrize(
    ("name", "coefficients"),
    # A small exponent puts the rims that close to the lens over much of mu^(alpha/2).
    [*(c for c in COEFFICIENTS if c[1]), ("power2", (0.6, 0.05))],
)
@pytest.mark.parametrize("rho", [1e-5, 0.7, 30.0])
def test_coefficient_derivatives_are_continuous_on_the_limb(name, coefficients, rho):
    # The magnification is continuous across the limb with a (u - rho) ln|u - rho| term at most,
    # so the coefficient derivatives on the limb are the mean of those 1e-13 of rho to either
    # side, to about 1e-13 ln(1e-13) of themselves. With the lens exactly on the limb the
    # concentric rims pass within 1e-300 of it, below what the closed form's squares resolve.
    on = LAWS[name].gradient(rho, rho, coefficients)
    inside = LAWS[name].gradient((1 - 1e-13) * rho, rho, coefficients)
    outside = LAWS[name].gradient((1 + 1e-13) * rho, rho, coefficients)
    for index in (3, 4):
        scale = max(abs(on[index]), abs(on[0] - 1) / 100)
        mean = (inside[index] + outside[index]) / 2
        assert abs(mean - on[index]) <= 1e-11 * scale + 16 * EPSILON * on[0]


def sides_of_a_switch(name, coefficients, s, rho, indices=(1, 2)):
    """The derivatives in u and rho (index 1, 2), or those of `indices`, on either side of a
    method switch at s source radii, each side's values at 1e-10 and 2e-10 of s from it
    extrapolated linearly to it, with the magnification there: (index, below, above,
    magnification)."""

    def at(offset):
        return LAWS[name].gradient(s * (1 + offset) * rho, rho, coefficients)

    near_below, far_below, near_above, far_above = at(-1e-10), at(-2e-10), at(1e-10), at(2e-10)
    return [
        (
            index,
            2 * near_below[index] - far_below[index],
            2 * near_above[index] - far_above[index],
            near_below[0],
        )
        for index in indices
    ]


@pytest.mark.parametrize(
    ("name", "coefficients"),
    [
        ("linear", (0.6,)),
        ("quadratic", (0.4, 0.25)),
        ("square_root", (0.2, 0.8)),
        ("logarithmic", (0.6, 0.2)),
        ("power2", (0.6, 0.3)),
        ("power2", (0.8, 2.7)),
    ],
)
@pytest.mark.parametrize("rho", [10.5, 30.0])
def test_large_source_derivatives_meet_where_the_lines_take_over(name, coefficients, rho):
    # Beyond ten Einstein radii the derivatives come by parts over the radius up to 1.25 source
    # radii and from lines through the lens with the point-lens excess as the kernel from there
    # (for the power-2 law's derivative in alpha, the lines of mu^alpha ln mu). The whole signal
    # is A - 1, so the two must meet on its scale, (A - 1)/u for u and rho and A - 1 for alpha, not
    # on that of A: to 1e-9 of it (measured: 1e-13 at rho = 10.5, 4e-11 at 30).
    s = 1.25
    indices = (1, 2, 4) if name == "power2" else (1, 2)
    for index, below, above, magnification in sides_of_a_switch(
        name, coefficients, s, rho, indices
    ):
        length = 1 if index == 4 else s * rho
        scale = max(abs(below), (magnification - 1) / length)
        assert abs(above - below) <= 1e-9 * scale, (index, below, above)


@pytest.mark.parametrize(
    ("name", "coefficients", "limb_distance"),
    [
        ("linear", (0.6,), 0.1),
        ("quadratic", (0.4, 0.25), 0.1),
        ("square_root", (0.2, 0.8), 1.0),
        ("logarithmic", (0.6, 0.2), 1.0),
        ("power2", (0.6, 0.7), 1.0),
        # Small exponents, whose rules from the lens crowd their nodes at the limb.
        ("power2", (0.6, 0.3), 1.0),
        ("power2", (0.6, 0.05), 1.0),
        ("power2", (0.6, 0.01), 1.0),
    ],
)
@pytest.mark.parametrize("rho", [10.5, 100.0])
@pytest.mark.parametrize(
    "switch",
    [
        *(f"{intervals} intervals" for intervals in ANGLE_INTERVALS),
        "periodic rule",
        "deep rays",
        "limb inside",
        "limb outside",
        "lines",
        "shorter lines",
    ],
)
def test_large_source_ray_derivatives_meet_their_neighbours(
    name, coefficients, limb_distance, rho, switch
):
    # For a source beyond ten Einstein radii the laws' derivatives come from the rays (the power-2
    # law's in alpha too), whose angle takes the mapped trapezoidal rule of the fewest of 4 to 64
    # intervals that serve (angle_switch) out to derivatives_angle_switch, then the quarter rules,
    # and whose rays shorten from q = u (u = rho/sqrt(2)) inwards; except near the limb (within
    # 0.1 Einstein radii for the polynomial laws; for the others within 1 inside and everywhere
    # outside), where the integrals by parts take over, and from 1.25 source radii on, where the
    # lines do (with shorter rules from 2). Either side must agree on the derivatives' scale, A/rho
    # (A for alpha).
    angles = {f"{n} intervals": angle_switch(rho, n) for n in ANGLE_INTERVALS}
    s = {
        **angles,
        "periodic rule": derivatives_angle_switch(rho),
        "deep rays": 1 / math.sqrt(2),
        "limb inside": 1 - limb_distance / rho,
        "limb outside": 1 + limb_distance / rho,
        "lines": 1.25,
        "shorter lines": 2.0,
    }[switch]
    indices = (1, 2, 4) if name == "power2" else (1, 2)
    for index, below, above, magnification in sides_of_a_switch(
        name, coefficients, s, rho, indices
    ):
        scale = max(abs(below), magnification / (1 if index == 4 else rho))
        assert abs(above - below) <= 1e-13 * scale, (index, below, above)


@pytest.mark.parametrize(
    ("name", "coefficients"),
    [("square_root", (0.2, 0.8)), ("logarithmic", (0.6, 0.2)), ("power2", (0.6, 0.7))],
)
@pytest.mark.parametrize("rho", [1e6, 1e8])
def test_huge_source_ray_derivatives_meet_the_integrals_by_parts(name, coefficients, rho):
    # One Einstein radius inside the limb the singular laws' derivatives pass from the integrals
    # by parts over the radius to the rays from the lens. For sources beyond 3e7 radii the rays'
    # angle rule must not thin out with the rays' share of A (below 1e-28 there): their share of
    # the derivatives by the limb is not so small.
    for index, below, above, magnification in sides_of_a_switch(
        name, coefficients, 1 - 1 / rho, rho
    ):
        scale = max(abs(below), magnification / rho)
        assert abs(above - below) <= 1e-13 * scale, (index, below, above)


@pytest.mark.parametrize(
    ("name", "coefficients"),
    [
        ("linear", (0.6,)),
        ("quadratic", (0.4, 0.25)),
        ("quadratic", (0.5, 0.5)),
        ("square_root", (0.2, 0.8)),
        ("logarithmic", (0.6, 0.2)),
        ("logarithmic", (1.0, 0.7)),
        ("power2", (0.6, 0.3)),
        ("power2", (1.0, 1.0)),
        ("power2", (0.8, 2.7)),
    ],
)
@pytest.mark.parametrize("rho", [1e-3, 0.5, 3.0, 10.0])
@pytest.mark.parametrize(
    "s",
    # Near the source the derivatives come from lines through the lens, with their angle rules
    # switching at 0.9 and 1.25 source radii, and the mu term's to graded ones just outside the
    # limb (to 1 + 1e-3).
    [0.9, 1.001, 1.25],
)
def test_derivatives_meet_across_the_method_switches(name, coefficients, rho, s):
    # The extrapolation leaves the curvature's (1e-10 / 1e-3)^2 = 1e-14 at most.
    for index, below, above, magnification in sides_of_a_switch(name, coefficients, s, rho):
        scale = max(abs(below), magnification / (s * rho))
        assert abs(above - below) <= 1e-13 * scale, (index, below, above)


@pytest.mark.parametrize(
    ("power2", "other", "coefficients"),
    [
        # mu^1: the general route of mu^p (rules of the weight (1 - s^2)^(-1/2) made at run time)
        # against the linear law's own (the committed Gauss-Chebyshev tables).
        ((0.6, 1.0), "linear", (0.6,)),
        ((1.0, 1.0), "linear", (1.0,)),
        # 1 - c (1 - mu^2) = 1 - 2c (1 - mu) + c (1 - mu)^2.
        ((0.4, 2.0), "quadratic", (0.8, -0.4)),
    ],
)
@pytest.mark.parametrize("rho", [1e-3, 0.3, 2.0, 7.0])
def test_laws_that_coincide_have_the_same_geometric_derivatives(power2, other, coefficients, rho):
    for s in [0.0, 0.3, 0.95, 1 - 1e-9, 1 + 1e-9, 1.0005, 1.1, 2.0, 3.5, 6.0]:
        first = LAWS["power2"].gradient(s * rho, rho, power2)
        second = LAWS[other].gradient(s * rho, rho, coefficients)
        assert first[0] == pytest.approx(second[0], rel=5e-15, abs=0)
        for index in (1, 2):
            scale = max(abs(second[index]), second[0] / max(s * rho, rho))
            assert abs(first[index] - second[index]) <= 5e-14 * scale, (s, index, first, second)
