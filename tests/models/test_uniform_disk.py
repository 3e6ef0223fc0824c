"""Uniform-disk magnification (Witt & Mao): physics against a direct average of the point-lens
magnification over the disk, the near-limb evaluation against the closed form at high
precision, the general evaluation bit for bit against its operation order, and the edge cases
as the user sees them."""

import functools
import json
import math
import random
import struct
import textwrap

import mpmath as mp
import obrivane
import pytest
from pool_runs import outputs_with_pool_sizes

EPSILON = 2.0**-52


def point_lens_disk_average(u: float, rho: float, digits: int = 25):
    """Mean of the point-lens magnification A(r) = (r^2+2)/(r sqrt(r^2+4)) over a uniform disk
    of radius rho centred at distance u from the lens, integrated in polar coordinates about
    the lens: the circle of radius r lies inside the disk over an angle 2 pi for r < rho - u and
    2 acos((r^2 + u^2 - rho^2) / (2 r u)) for |u - rho| < r < u + rho."""
    with mp.workdps(digits):
        u, rho = mp.mpf(u), mp.mpf(rho)
        weighted = lambda r: (r * r + 2) / mp.sqrt(r * r + 4)  # noqa: E731 - A(r) times r
        inner, outer = abs(u - rho), u + rho
        total = mp.mpf(0)
        if u < rho:
            total += 2 * mp.pi * mp.quad(weighted, [0, inner])
        if u > 0:

            def partial_circle(r):
                cosine = (r * r + u * u - rho * rho) / (2 * r * u)
                return weighted(r) * 2 * mp.acos(max(-1, min(1, cosine)))

            total += mp.quad(partial_circle, [inner, outer])
        return total / (mp.pi * rho * rho)


@functools.cache
def witt_mao_closed_form(u: float, rho: float):
    """The Witt-Mao expression with mpmath's K, E and Pi, at a precision that covers the
    digits lost in 1 - n = (u - rho)^2 / (u + rho)^2; on the limb, its limit with the asin angle."""
    d_float = abs(u - rho) if u != rho else 0.0
    lost = 0 if d_float == 0 else max(0, 2 * math.log10(abs(u + rho) / d_float))
    with mp.workdps(30 + int(lost)):
        u, rho = mp.mpf(u), mp.mpf(rho)
        d, s = u - rho, u + rho
        if d == 0:
            # pi/2 + asin((rho^2 - 1)/(rho^2 + 1)), without its cancellation for small rho.
            angle = 2 * mp.atan(rho)
            return (2 / rho + (rho**2 + 1) / rho**2 * angle) / mp.pi
        n = 4 * u * rho / s**2
        m = 4 * n / (4 + d**2)
        root = mp.sqrt(4 + d**2)
        return (
            s * root / (2 * rho**2) * mp.ellipe(m)
            - d * (8 + u**2 - rho**2) / (2 * rho**2 * root) * mp.ellipk(m)
            + 2 * d**2 * (1 + rho**2) / (rho**2 * s * root) * mp.ellippi(n, m)
        ) / mp.pi


def relative_error(actual: float, reference) -> float:
    return float(abs(mp.mpf(actual) - reference) / abs(reference))


def near_limb(u: float, rho: float) -> bool:
    d = u - rho
    return abs(d) < 0.00001 or abs(d) < 0.001 * (u + rho)


def magnification(x: float, rho: float) -> float:
    (value,) = obrivane.witt_mao_magnification([x], 1.0, rho)
    return value


# --- physics: direct integration over the disk ----------------------------------------------

GRID = [1e-4, 1e-3, 1e-2, 0.1, 1.0, 10.0]


@pytest.mark.parametrize("rho", GRID)
def test_against_direct_average_over_the_disk(rho):
    separations = GRID + [rho, 0.5 * rho, 2 * rho]
    # With x = u / rho far above 100 the E and K terms, each about x times the result, cancel:
    # the evaluation order that fixes the last bit loses up to a few x^2 units of rounding there.
    for u in separations:
        x = u / rho
        got = obrivane.witt_mao_magnification([x], 1.0, rho)[0]
        tolerance = max(1e-11, 4 * EPSILON * x * x)
        assert relative_error(got, point_lens_disk_average(x * rho, rho)) <= tolerance, (u, rho)


@pytest.mark.parametrize("u, rho", [(0.0, 0.1), (0.3, 0.3), (1e-3, 0.2), (2.0, 0.05), (0.5, 3.0)])
def test_direct_average_agrees_with_the_closed_form_reference(u, rho):
    # The two independent references agree, so either may judge the kernel.
    direct = point_lens_disk_average(u, rho, 30)
    assert abs(direct - witt_mao_closed_form(u, rho)) < 1e-20 * direct


# --- accuracy near the limb -----------------------------------------------------------------

RHOS = [1e-6, 1e-4, 1e-2, 1.0, 100.0, 1000.0]
LIMB_OFFSETS = [1e-15, 1e-12, 1e-9, 1e-6, 1e-4, 9e-4]


@pytest.mark.parametrize("rho", RHOS)
def test_near_limb_accuracy(rho, testing_module):
    for offset in LIMB_OFFSETS:
        for sign in (1, -1):
            u = rho * (1 + sign * offset)
            assert near_limb(u, rho)
            got = testing_module.uniform_disk_magnification_at_u(u, rho)
            assert relative_error(got, witt_mao_closed_form(u, rho)) <= 1e-13, (u, rho)


@pytest.mark.parametrize(
    "rho, x",
    [
        (1e-6, 10.0),  # inside the old absolute band: the value at u = rho was 12.7 times too high
        (1e-6, 0.0),
        (1e-6, 5.0),
        (1e-4, 1.01),
        (1e-2, 1.001),
        (100.0, 1 + 2e-7),  # u - rho = 2e-5: cancellation in 1 - n cost 1 %
        (1000.0, 1 + 2e-8),  # n rounds to exactly 1: the general evaluation fails here
        (1000.0, 1 - 2e-8),
    ],
)
def test_near_limb_cases(rho, x):
    got = magnification(x, rho)
    assert relative_error(got, witt_mao_closed_form(x * rho, rho)) <= 1e-13


@pytest.mark.parametrize("rho", [1e-6, 1e-3, 0.1, 1.0, 7.0, 1000.0])
def test_on_the_limb(rho):
    # u = rho exactly: the limit of the expression (the reference uses the asin angle).
    assert relative_error(magnification(1.0, rho), witt_mao_closed_form(rho, rho)) <= 4 * EPSILON


@pytest.mark.parametrize("rho", [1e-6, 1e-3, 1.0, 1000.0])
def test_accuracy_over_the_whole_range(rho):
    # x in [0, 100], dense about the edges of the near-limb region (|x - 1| about 0.002).
    xs = [
        0.0,
        0.3,
        0.9,
        0.99,
        0.997,
        0.998,
        0.9985,
        1.0015,
        1.002,
        1.0021,
        1.003,
        1.01,
        1.3,
        3.0,
        30.0,
        100.0,
    ]
    got = obrivane.witt_mao_magnification(xs, 1.0, rho)
    for x, value in zip(xs, got, strict=True):
        tolerance = 1e-13 if near_limb(x * rho, rho) else 1e-9
        assert relative_error(value, witt_mao_closed_form(x * rho, rho)) <= tolerance, (x, rho)


# --- the general evaluation, bit for bit ----------------------------------------------------


def general_evaluation(x: float, re: float, rstar: float, testing_module) -> float:
    """The general Witt-Mao evaluation in its fixed order and grouping, in binary64 (Python's
    float arithmetic rounds every operation, without fused multiply-add)."""
    rho = rstar / re
    rho2 = rho * rho
    u = x * rho
    d = u - rho
    s = rho + u
    root = math.sqrt(d * d + 4)
    n = ((rho * 4) * u) / (s * s)
    k = math.sqrt(n * 4) / root
    m = k * k
    big_e, big_k, big_p = testing_module.legendre_integrals(n, m)
    t1 = ((s * root) / (rho2 + rho2)) * big_e
    t2 = ((d * ((u * u - rho2) * 0.5 + 4)) / (root * rho2)) * big_k
    t3 = (((d * d + d * d) * (rho2 + 1)) / (root * (s * rho2))) * big_p
    value = ((t1 - t2) + t3) / 3.141592653589793
    # A magnification is at least 1: a value rounded below that is replaced by the bound.
    return 1.0 if value < 1 else value


def test_general_evaluation_is_bit_exact(testing_module):
    generator = random.Random(20240611)
    checked = 0
    for _ in range(40):
        re = 10 ** generator.uniform(-2, 2)
        rstar = re * 10 ** generator.uniform(-6, 3)
        rho = rstar / re
        xs = [generator.uniform(0, 3) for _ in range(30)] + [
            10 ** generator.uniform(-3, 2) for _ in range(20)
        ]
        xs += [0.0, 0.5, 1.5, 0.998, 1.0021]
        xs = [x for x in xs if not near_limb(x * rho, rho)]
        got = obrivane.witt_mao_magnification(xs, re, rstar)
        expected = [general_evaluation(x, re, rstar, testing_module) for x in xs]
        assert [v.hex() for v in got] == [v.hex() for v in expected]
        checked += len(xs)
    assert checked > 1500


def test_small_source_outside_the_absolute_band(testing_module):
    # rho = 1e-6, x = 12: |u - rho| = 1.1e-5 lies outside both bands, so the general evaluation
    # applies, bit for bit, and is accurate.
    (got,) = obrivane.witt_mao_magnification([12.0], 1.0, 1e-6)
    assert not near_limb(12.0 * 1e-6, 1e-6)
    assert got.hex() == general_evaluation(12.0, 1.0, 1e-6, testing_module).hex()
    assert relative_error(got, witt_mao_closed_form(12.0 * 1e-6, 1e-6)) <= 1e-12


@pytest.mark.parametrize(("x", "rho"), [(0.9979327592690664, 1.3350448909711432e58), (100.0, 1e20)])
def test_never_below_one_where_the_closed_form_rounds_below(x, rho):
    # Near the edge of the limb band Pi(n, m) carries the rounding of 1 - n (about 1e-6 there),
    # which for a large source weighs on the whole result; far out the terms cancel.
    (value,) = obrivane.witt_mao_magnification([x], 1.0, rho)
    assert value >= 1 and relative_error(value, witt_mao_closed_form(x * rho, rho)) < 2e-10


def test_near_limb_evaluation_replaces_the_general_one(testing_module):
    # Where the general evaluation fails or loses digits, the near-limb one does not.
    assert math.isnan(general_evaluation(1 + 2e-8, 1.0, 1000.0, testing_module))
    assert math.isfinite(magnification(1 + 2e-8, 1000.0))
    general = general_evaluation(1 + 2e-7, 1.0, 100.0, testing_module)
    assert relative_error(general, witt_mao_closed_form((1 + 2e-7) * 100.0, 100.0)) > 1e-6


# --- edge cases -----------------------------------------------------------------------------


def test_empty_separations():
    assert obrivane.witt_mao_magnification([], 1.0, 0.5) == []


def test_unit_source_on_the_limb():
    assert obrivane.witt_mao_magnification([1.0], 2.5, 2.5) == [(2 + math.pi) / math.pi]


@pytest.mark.parametrize("rho", [1e-6, 1e-3, 0.25, 1.0, 4.0, 300.0])
def test_lens_at_the_centre(rho):
    # n = m = 0 and E = K = Pi = pi/2: the formula reduces to sqrt(rho^2 + 4) / rho.
    expected = mp.sqrt(mp.mpf(rho) ** 2 + 4) / mp.mpf(rho)
    assert relative_error(magnification(0.0, rho), expected) <= 4 * EPSILON


@pytest.mark.parametrize("x", [0.0, 0.5, 1.0, 2.0, 1e6])
def test_point_source_gives_nan(x):
    # rstar = 0: every separation is on the limb of a zero disk, and 2/0 times 0 is NaN.
    assert math.isnan(obrivane.witt_mao_magnification([x], 1.0, 0.0)[0])


@pytest.mark.parametrize(
    "separations, re, rstar",
    [
        ([-1.0, -0.5, -3.0], 1.0, 0.1),  # negative separations
        ([-1.0, -10.0], 1.0, 1e-6),  # negative, inside the absolute band about the limb
        ([math.nan], 1.0, 0.5),
        ([math.inf, -math.inf], 1.0, 0.5),
        ([0.5, 1.0, 2.0], 0.0, 0.5),  # re = 0
        ([0.5], 1.0, math.nan),
        ([0.5], 1.0, math.inf),
    ],
)
def test_nan_parameter_gives_nan_elements(separations, re, rstar):
    # The call succeeds; only the affected elements are NaN.
    got = obrivane.witt_mao_magnification([0.5] + separations + [2.0], re, rstar)
    assert all(math.isnan(value) for value in got[1:-1])
    if re != 0 and math.isfinite(rstar / re) and rstar / re != 0:
        assert math.isfinite(got[0]) and math.isfinite(got[-1])


@pytest.mark.parametrize(
    ("re", "rstar"),
    [
        (-1.0, 1.0),
        (1.0, -1.0),
        (-2.0, -1.0),
        (math.nan, 1.0),
        (1.0, math.nan),
        (-0.0, 1.0),
        (math.inf, 1.0),
    ],
)
def test_radii_that_describe_no_source_give_nan(re, rstar):
    separations = [0.0, 0.5, 1.0, 2.0, 500.0]
    assert all(math.isnan(v) for v in obrivane.witt_mao_magnification(separations, re, rstar))
    # In the batched form every element of a pair with a bad radius, and only those.
    rows = obrivane.multi_witt_mao_magnification(separations, [1.0, re], [1.0, rstar])
    pairs = [(1.0, 1.0), (1.0, rstar), (re, 1.0), (re, rstar)]
    for (einstein, source), row in zip(pairs, rows, strict=True):
        if all(0 < radius < math.inf for radius in (einstein, source)):
            assert row == obrivane.witt_mao_magnification(separations, einstein, source)
        else:
            assert all(math.isnan(v) for v in row)


# A separation without a finite answer gives the one quiet NaN with the sign bit clear (not a
# NaN carried over from the input, whatever its sign or payload), through the closed form at
# every source size it serves and in the batched form.
@pytest.mark.parametrize("rho", [1e-70, 1e-20, 1e-3, 0.5, 1.0, 30.0, 1e70])
def test_invalid_separations_give_the_quiet_nan(rho):
    def from_bits(bits):
        return struct.unpack("<d", struct.pack("<Q", bits))[0]

    def bits(value):
        return struct.unpack("<Q", struct.pack("<d", value))[0]

    invalid = [math.nan, -math.nan, from_bits(0xFFF80000000ABCDE), from_bits(0x7FF8000000001234)]
    invalid += [math.inf, -math.inf, -1e-5, -0.5, -1.0, -2.0, -150.0]
    quiet_nan = 0x7FF8000000000000
    assert [bits(v) for v in obrivane.witt_mao_magnification(invalid, 1.0, rho)] == [
        quiet_nan
    ] * len(invalid)
    for row in obrivane.multi_witt_mao_magnification(invalid, [1.0, 2.0], [rho, 2 * rho]):
        assert [bits(v) for v in row] == [quiet_nan] * len(invalid)


def test_negative_and_positive_separations_mixed():
    got = obrivane.witt_mao_magnification([1.5, -1.5, 0.5], 1.0, 0.2)
    assert math.isfinite(got[0]) and math.isnan(got[1]) and math.isfinite(got[2])
    assert got[0] == magnification(1.5, 0.2) and got[2] == magnification(0.5, 0.2)


def test_results_keep_input_order_and_are_new_lists():
    separations = [3.0, 0.1, 2.0, 0.1, 1.0]
    first = obrivane.witt_mao_magnification(separations, 1.0, 0.3)
    second = obrivane.witt_mao_magnification(separations, 1.0, 0.3)
    assert first == second and first is not second
    assert first == [magnification(x, 0.3) for x in separations]
    assert first[1] == first[3]


def test_accepts_any_sequence_of_numbers():
    expected = obrivane.witt_mao_magnification([1.0, 2.0, 3.0], 2.0, 1.0)
    assert obrivane.witt_mao_magnification((1, 2, 3), 2, 1) == expected
    assert obrivane.witt_mao_magnification(range(1, 4), re=2.0, rstar=1.0) == expected


BIT_PATTERNS = """
import json, struct, obrivane
separations = [i * 0.00037 for i in range(20000)] + [1.0, 1 + 1e-9, -1.0, float("nan"), 1e308]
single = obrivane.witt_mao_magnification(separations, 1.3, 0.07)
multi = obrivane.multi_witt_mao_magnification(separations[::50], [1.0, 0.0, 2.0], [0.3, 1e-6])
words = lambda values: [struct.pack("<d", v).hex() for v in values]
print(json.dumps([words(single), [words(row) for row in multi]]))
"""


def test_bit_identical_for_every_pool_size():
    program = textwrap.dedent(BIT_PATTERNS)
    outputs = [
        json.loads(out.strip().splitlines()[-1])
        for out in outputs_with_pool_sizes(program, (1, 2, 8))
    ]
    assert outputs[0] == outputs[1] == outputs[2]
    single, _ = outputs[0]
    assert len(single) == 20005


@pytest.mark.parametrize("rho", [1e-4, 0.01, 0.3, 1.0, 3.0, 30.0])
@pytest.mark.parametrize(
    "x", [0.0, 1e-6, 0.3, 0.999, 1.0 - 1e-9, 1.0 + 1e-9, 1.01, 1.3, 2.0, 3.99, 4.01, 30.0, 1e4]
)
def test_cancellation_free_evaluation(testing_module, rho, x):
    # The profile models need the disk to a few ulps everywhere: the Carlson form inside four
    # radii, the mean-value series beyond, both against the closed form at high precision.
    u = x * rho
    actual = testing_module.uniform_disk_magnification_accurate(u, rho)
    assert relative_error(actual, witt_mao_closed_form(u, rho)) < 2e-14


# --- far from the source and at extreme scales -------------------------------------------------


def far_reference(x: float, rho: float):
    """The magnification at u = x rho (the product as the kernel rounds it): the closed form at high
    precision up to x = 1e8; beyond, the point-lens magnification, which differs from the disk
    average by a relative (rho/u)^2 / 8 or less, below 1e-17."""
    u = x * rho
    if x <= 1e8:
        return witt_mao_closed_form(u, rho)
    with mp.workdps(40):
        u = mp.mpf(u)
        return (u * u + 2) / (u * mp.sqrt(u * u + 4))


FAR_SEPARATIONS = [100.0 + 1e-9, 100.5, 300.0, 1e3, 1e4, 1e5, 1e6, 1e8, 1e10, 1e150, 1e300]
FAR_RADII = [5e-324, 1e-300, 1e-120, 1e-8, 1e-4, 0.01, 1.0, 100.0, 1e10, 1e100, 1e300]


@pytest.mark.parametrize("rho", FAR_RADII)
def test_far_from_the_source(rho):
    xs = [x for x in FAR_SEPARATIONS if math.isfinite(x * rho)]
    got = obrivane.witt_mao_magnification(xs, 1.0, rho)
    for x, value in zip(xs, got, strict=True):
        expected = far_reference(x, rho)
        if expected > 1.7976931348623157e308:
            assert value == math.inf
        else:
            assert value >= 1 and relative_error(value, expected) <= 1e-13, (x, rho)


@pytest.mark.parametrize("rho", [1.0, 1e10, 1e300])
def test_overflowing_separation_in_einstein_radii(rho):
    # u = x rho beyond the largest double: the magnification is 1 to all digits.
    assert obrivane.witt_mao_magnification([1.7976931348623157e308, 1e300], 1.0, rho) == [1.0, 1.0]


@pytest.mark.parametrize("rho", [5e-324, 1e-300, 1e-200, 1e-120, 1e-108, 1e-80])
@pytest.mark.parametrize("x", [0.0, 0.5, 1.0 - 1e-6, 1.0, 1.5, 10.0, 100.0])
def test_tiny_sources_where_the_closed_form_underflows(rho, x):
    # The powers rho^3 and rho^4 of the closed form underflow: the magnification, about M(x)/rho,
    # comes from the rescaled disk. Against the closed form in mpmath at the same tiny scale.
    (value,) = obrivane.witt_mao_magnification([x], 1.0, rho)
    expected = witt_mao_closed_form(x * rho, rho)
    if expected > 1.7976931348623157e308:
        assert value == math.inf
    else:
        assert relative_error(value, expected) <= 1e-13


def test_extreme_cases_as_reported():
    # The true values are about 1e119 and 1 + 1.25e-7 (times 1e105 for the tiny disk).
    (small,) = obrivane.witt_mao_magnification([10.0], 1.0, 1e-120)
    assert relative_error(small, witt_mao_closed_form(10.0 * 1e-120, 1e-120)) <= 1e-13
    (far,) = obrivane.witt_mao_magnification([1000.0], 1.0, 1e-108)
    assert relative_error(far, far_reference(1000.0, 1e-108)) <= 1e-13


@pytest.mark.parametrize("rho", [1e76, 1e100, 1e300, 1.7976931348623157e308])
def test_huge_sources_where_the_closed_form_overflows(rho):
    # The excess over 1 is about 2/rho^2: 1 to all digits.
    assert obrivane.witt_mao_magnification([0.0, 0.5, 1.0, 2.0, 100.0], 1.0, rho) == [1.0] * 5


def test_radii_whose_ratio_overflows():
    # rstar/re beyond the largest double: a source infinitely larger than the Einstein radius.
    assert obrivane.witt_mao_magnification([0.0, 1.0, 1e3], 1e-300, 1e300) == [1.0, 1.0, 1.0]


def test_never_below_one_for_valid_input():
    generator = random.Random(8)
    for _ in range(200):
        rho = 10 ** generator.uniform(-320, 300)
        xs = [10 ** generator.uniform(-5, 5) for _ in range(20)] + [0.0, 1.0, 100.0, 101.0]
        for value in obrivane.witt_mao_magnification(xs, 1.0, rho):
            assert value >= 1 - 1e-12, (rho, xs)


def test_radii_whose_ratio_underflows():
    # rstar/re = 1e-400: A = 1/u to all digits, finite only where u = l rstar/re is.
    got = obrivane.witt_mao_magnification([0.0, 1.0, 1e20, 1e300, 2e300], 1e200, 1e-200)
    assert got[:3] == [math.inf] * 3
    assert got[3] == pytest.approx(1e100, rel=1e-15) and got[4] == pytest.approx(5e99, rel=1e-15)
