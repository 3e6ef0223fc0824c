"""Sources of 10 to 1000 Einstein radii (models/large_source.hpp, through _obrivane_testing and
the low-level functions) against two-dimensional integrals over the source
(tests/large_source_reference.json, from tools/generate_large_source_reference.py): the
magnification A to a relative 1e-14, and its excess A - 1, the whole signal of such a source
(about 2/rho^2), to a relative 1e-9 wherever it is at least 1e-6 (below that the rounding of A
itself, 1.1e-16 absolute, is the limit).

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
REFERENCE = json.loads((ROOT / "tests" / "large_source_reference.json").read_text(encoding="utf-8"))

testing = pytest.importorskip("_obrivane_testing")

# A law: its hook and its decomposition into the reference profiles (mu^p by the name of p, "log"
# for mu ln mu): I = sum of weight * profile.
LAWS = {
    "linear": (testing.linear_law_magnification, lambda u1: {"0": 1 - u1, "1": u1}),
    "quadratic": (
        testing.quadratic_law_magnification,
        lambda a, b: {"0": 1 - a - b, "1": a + 2 * b, "2": -b},
    ),
    "square_root": (
        testing.square_root_law_magnification,
        lambda c, d: {"0": 1 - c - d, "1": c, "0.5": d},
    ),
    "logarithmic": (
        testing.logarithmic_law_magnification,
        lambda e, f: {"0": 1 - e, "1": e, "log": -f},
    ),
    "power2": (
        testing.power2_law_magnification,
        lambda c, alpha: {"0": 1 - c, "2" if alpha == 2 else repr(alpha): c},
    ),
}

# Typical stellar coefficients, a profile alone (mu^2, sqrt(mu)), power-2 exponents below and
# above 1 (both singular at the limb) and an integer one (a polynomial in mu).
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
    ("power2", (0.6, 2.0)),
]

# Measured worst errors over the reference: 1.3e-15 on A, 3.1e-10 on A - 1 (at rho = 1000, where
# A - 1 ~ 2e-6 and one rounding of A is 5.5e-11 of it).
A_BOUND = 1e-14
EXCESS_BOUND = 1e-9
# Below this excess (in magnitude: a law negative somewhere may dim) only the bound on A applies.
SMALLEST_EXCESS = 1e-6


def reference(case, weights):
    """A and A - 1 of the law with these profile weights, at 30 digits."""
    with mpmath.workdps(30):
        integrals = {name: mpmath.mpf(value) for name, value in case["integrals"].items()}
        total = mpmath.fsum(weight * integrals[name] for name, weight in weights.items())
        flux = mpmath.fsum(
            weight * (mpmath.mpf(-2) / 9 if name == "log" else 2 / (mpmath.mpf(name) + 2))
            for name, weight in weights.items()
        )
        magnification = total / flux
        return magnification, magnification - 1


def errors(value, expected, expected_excess):
    """Relative errors of A and of A - 1 (the latter None where the excess is below 1e-6)."""
    with mpmath.workdps(30):
        difference = mpmath.mpf(value) - expected
        on_a = float(abs(difference / expected))
        on_excess = (
            float(abs(difference / expected_excess))
            if abs(expected_excess) >= SMALLEST_EXCESS
            else None
        )
    return on_a, on_excess


def load_generator():
    # tools/ is on the import path (conftest.py).
    return importlib.import_module("generate_large_source_reference")


def test_reference_lists_the_generator_cases():
    generator = load_generator()
    assert [(c["s"], c["rho"]) for c in REFERENCE["cases"]] == list(generator.CASES)
    assert {c["rho"] for c in REFERENCE["cases"]} >= {10.0, 30.0, 100.0, 300.0, 1000.0}
    assert {c["s"] for c in REFERENCE["cases"]} >= {0.0, 0.5, 1 - 1e-6, 1.0, 1 + 1e-6, 1.5, 3.0}
    assert {0.9, 1.1} <= {c["s"] for c in REFERENCE["cases"]}  # the middle rules


def test_reference_case_with_the_lens_over_the_centre_regenerates():
    # With s = 0 the circle means are point-lens values: a few seconds.
    generator = load_generator()
    case = next(c for c in REFERENCE["cases"] if c["s"] == 0 and c["rho"] == 30.0)
    assert generator.base.case_integrals((case["s"], case["rho"])) == case


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
def test_laws_against_the_source_integral(name, coefficients):
    hook, terms = LAWS[name]
    failures = []
    checked_excess = 0
    for case in REFERENCE["cases"]:
        s, rho = case["s"], case["rho"]
        expected, excess = reference(case, terms(*coefficients))
        on_a, on_excess = errors(hook(s * rho, rho, *coefficients), expected, excess)
        if not on_a <= A_BOUND:
            failures.append((s, rho, "A", on_a))
        if on_excess is not None:
            checked_excess += 1
            if not on_excess <= EXCESS_BOUND:
                failures.append((s, rho, "A - 1", on_excess))
    assert failures == []
    # The excess is checked wherever it is above 1e-6: every radius up to 1000 with the lens on
    # the source, and just outside it.
    assert checked_excess >= 25


@pytest.mark.parametrize("function", ["integrated_witt_mao", "integrated_heyrovsky"])
def test_built_in_linear_law_against_the_source_integral(function):
    # I = 1 - 0.6 (1 - mu), separations in source radii, re = 1 so that rstar = rho.
    call = getattr(obrivane, f"{function}_magnification")
    failures = []
    for rho in sorted({c["rho"] for c in REFERENCE["cases"]}):
        cases = [c for c in REFERENCE["cases"] if c["rho"] == rho]
        values = call([c["s"] for c in cases], 1.0, rho)
        for case, value in zip(cases, values, strict=True):
            expected, excess = reference(case, {"0": 0.4, "1": 0.6})
            on_a, on_excess = errors(value, expected, excess)
            if not on_a <= A_BOUND or (on_excess is not None and not on_excess <= EXCESS_BOUND):
                failures.append((case["s"], rho, on_a, on_excess))
    assert failures == []


def agree(below, above):
    """Two magnifications across a switch of rules agree to two ulps of A plus the bound on the
    excess (the change of the excess over a relative 1e-12 step is 1e-12 of it)."""
    return abs(above - below) <= 4.4e-16 + EXCESS_BOUND * abs(below - 1)


def angle_reach(rho):
    """N acosh(rho/u) from which the angle's trapezoidal rule of N intervals serves: 14 at
    rho = 10.5, less as the rays' share of the excess falls (about log(rho)/rho^2)."""
    return 14 - math.log(rho / 10.5) + 0.5 * math.log(math.log(rho) / math.log(10.5))


# The interval counts of the angle's trapezoidal rule with the lens inside, and the factor on the
# reach that the rule's map asks for.
ANGLE_INTERVALS = (4, 6, 8, 10, 12, 14, 16, 20, 24, 28, 32, 40, 48, 56, 64)
MAPPED_REACH_FACTOR = 1.15


def angle_switch(rho, intervals):
    """The separation s (source radii) out to which the mapped trapezoidal rule of `intervals`
    intervals serves: intervals atanh(sqrt(q/rho)) = 1.15 angle_reach(rho), q = rho sqrt(1 - s^2);
    beyond that of 64 intervals, the quarter rules and panels."""
    root = math.tanh(MAPPED_REACH_FACTOR * angle_reach(rho) / intervals)
    return math.sqrt(1 - root**4)


def derivatives_angle_switch(rho):
    """The separation out to which the derivatives take the mapped rule: where 32 acosh(1/s)
    reaches angle_reach(rho)."""
    return 1 / math.cosh(angle_reach(rho) / 32)


def either_side(x, ulps=8):
    """x moved by a few ulps down and up: across a switch at x whatever the rounding of its test,
    and so close that A cannot change by more than rounding, however steep it is there."""
    below = above = x
    for _ in range(ulps):
        below, above = math.nextafter(below, 0), math.nextafter(above, math.inf)
    return below, above


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
def test_continuous_where_the_rules_change(name, coefficients):
    # The rays take different rules with the lens well inside (rho^2 - u^2 >= u^2, s <= 1/sqrt 2),
    # by the limb and well outside (u^2 - rho^2 >= rho^2 / 2, s >= sqrt(3/2)); in the angle the
    # mapped trapezoidal rule of the fewest of 4 to 64 intervals that serve (angle_switch); 2
    # Einstein radii inside the limb the limb's rules take over, and 0.3 Einstein radii inside
    # it the double-exponential rule of the whole brightness for the singular terms; from 1.25
    # source radii the lines through the lens, with shorter rules from 2.
    hook, _ = LAWS[name]
    for rho in (10.5, 30.0, 1000.0):
        switches = (
            rho / math.sqrt(2),
            rho * math.sqrt(1.5),
            *(rho * angle_switch(rho, intervals) for intervals in ANGLE_INTERVALS),
            rho - 2,
            rho - 0.3,
            1.25 * rho,
            2 * rho,
        )
        for switch in switches:
            below, above = (hook(u, rho, *coefficients) for u in either_side(switch))
            assert agree(below, above), (rho, switch, below, above)


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
@pytest.mark.parametrize("s", [0.0, 0.5, 0.7])
def test_continuous_where_the_deep_rays_shorten(name, coefficients, s):
    # With the lens well inside, the rays take 16 nodes below rho = 150 and 12 from there on.
    hook, _ = LAWS[name]
    below, above = (hook(s * rho, rho, *coefficients) for rho in either_side(150.0))
    assert agree(below, above), (below, above)


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
@pytest.mark.parametrize("s", [0.0, 0.3, 0.999, 1.0, 1.001, 2.0, 3.9])
def test_lines_and_rays_agree_at_the_largest_radius_by_lines(name, coefficients, s):
    # Up to rho = 10 the laws are integrated along lines through the lens, beyond along rays.
    hook, _ = LAWS[name]
    below = hook(s * 10.0, 10.0, *coefficients)
    above = hook(s * 10.0 * (1 + 1e-12), 10.0 * (1 + 1e-12), *coefficients)
    assert agree(below, above), (below, above)


@pytest.mark.parametrize(("name", "coefficients"), COEFFICIENTS)
def test_excess_follows_the_point_lens_limit(name, coefficients):
    # The point-lens excess integrates to 2 pi over the plane, so with the lens at the centre
    # A - 1 = 2 I(1)/(rho^2 F) (1 + O(log(rho)/rho^2)): the relative departure falls with rho.
    hook, terms = LAWS[name]
    weights = terms(*coefficients)
    flux = sum(w * (-2 / 9 if n == "log" else 2 / (float(n) + 2)) for n, w in weights.items())
    centre = sum(weights.values())  # every profile is 1 at mu = 1 (mu ln mu is 0 there)
    if "log" in weights:
        centre -= weights["log"]
    departures = []
    for rho in (30.0, 300.0, 3000.0):
        excess = hook(0.0, rho, *coefficients) - 1
        departures.append(abs(excess / (2 * centre / (rho * rho * flux)) - 1))
    assert departures[0] < 1e-2
    assert departures[1] < departures[0] / 50
    assert departures[2] < departures[1] / 50
