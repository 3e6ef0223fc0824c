"""Linear interpolation: the stated values on degenerate tables, agreement with numpy.interp
inside the table, the out-of-range rules, and the table form equal to the per-call form bit for
bit."""

import math
import struct

import numpy as np
import pytest

MODES = ["linear", "clamp", "fill"]
FILL = -7.25  # a fill value no table below produces by accident


def interp(tm, mode, x, y, xp, fill=FILL):
    if mode == "fill":
        return tm.interp_fill(x, y, xp, fill)
    return getattr(tm, f"interp_{mode}")(x, y, xp)


def interp_table(tm, mode, x, y, xps, fill=FILL):
    if mode == "fill":
        return tm.interp_table_fill(x, y, xps, fill)
    return getattr(tm, f"interp_table_{mode}")(x, y, xps)


def bits(value: float) -> bytes:
    return struct.pack("<d", value)


def both_forms(tm, mode, x, y, xp, fill=FILL):
    """The per-call value, after checking that the table form gives the same bits."""
    single = interp(tm, mode, x, y, xp, fill)
    (tabled,) = interp_table(tm, mode, x, y, [xp], fill)
    assert bits(single) == bits(tabled)
    return single


def segment_value(x, y, segment, xp):
    """The line of one segment at xp, in the prescribed order and grouping (binary64)."""
    slope = (y[segment + 1] - y[segment]) / (x[segment + 1] - x[segment])
    intercept = y[segment] - x[segment] * slope
    return xp * slope + intercept


ODD_POINTS = [-1e300, -1.0, 0.0, 0.3, 0.5, 1e300, math.inf, -math.inf, math.nan]


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize(
    ("x", "y"),
    [([], []), ([], [1.0, 2.0]), ([0.0, 1.0], []), ([0.5], [])],
)
def test_empty_table_gives_zero(testing_module, mode, x, y):
    for xp in ODD_POINTS:
        assert bits(both_forms(testing_module, mode, x, y, xp)) == bits(0.0)


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("fill", [0.0, FILL])
@pytest.mark.parametrize(
    ("x", "y"),
    [([0.3], [7.5]), ([0.3, 1.0, 2.0], [7.5]), ([0.3], [7.5, 8.0])],
)
def test_single_point_gives_its_ordinate(testing_module, mode, fill, x, y):
    for xp in ODD_POINTS:
        assert both_forms(testing_module, mode, x, y, xp, fill) == 7.5


@pytest.mark.parametrize(
    ("xp", "expected"),
    [
        (-0.1, 0.0),
        (1.1, 0.0),
        (0.25, 0.9),
        (0.75, 0.5),
        (0.5, 0.8),
        # The line through the last knot, not the stored 0.2: dy = -0.6000000000000001,
        # slope = -1.2000000000000002, intercept = 1.4000000000000001, and their sum rounds to
        # the double two steps below 0.2.
        (1.0, 0.19999999999999996),
    ],
)
def test_fill_with_zero_on_a_profile(testing_module, xp, expected):
    x, y = [0.0, 0.5, 1.0], [1.0, 0.8, 0.2]
    assert bits(both_forms(testing_module, "fill", x, y, xp, 0.0)) == bits(expected)


@pytest.mark.parametrize("mode", MODES)
def test_interior_knot_uses_the_segment_on_its_left(testing_module, mode):
    # At x = 0.7 the line of segment 1 rounds to a different double than the line of segment
    # 2 (which happens to give the stored 0.7).
    x, y = [0.0, 0.3, 0.7, 1.0], [0.1, 0.1, 0.7, 0.2]
    left, right = segment_value(x, y, 1, 0.7), segment_value(x, y, 2, 0.7)
    assert left != right
    assert bits(both_forms(testing_module, mode, x, y, 0.7)) == bits(left)
    # The first knot belongs to the first segment, the last knot to the last one.
    assert bits(both_forms(testing_module, mode, x, y, 0.0)) == bits(segment_value(x, y, 0, 0.0))
    assert bits(both_forms(testing_module, mode, x, y, 1.0)) == bits(segment_value(x, y, 2, 1.0))


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize(
    ("x", "y"),
    [
        ([0.0, 1.0], [1.0, 2.0]),
        ([0.0, 0.5, 1.0], [1.0, 0.8, 0.2]),
        ([1.0, 1.0, 2.0], [5.0, 3.0, 4.0]),
    ],
)
def test_nan_abscissa_gives_nan(testing_module, mode, x, y):
    assert math.isnan(both_forms(testing_module, mode, x, y, math.nan))


@pytest.mark.parametrize("mode", MODES)
def test_repeated_first_abscissa(testing_module, mode):
    x, y = [1.0, 1.0, 2.0], [5.0, 3.0, 4.0]
    # xp = 1 selects the zero-width first segment: its slope is -inf, so NaN.
    assert math.isnan(both_forms(testing_module, mode, x, y, 1.0))
    # Inside (1, 2] the segment [1, 2] with ordinates 3 and 4.
    assert both_forms(testing_module, mode, x, y, 1.5) == 3.5


@pytest.mark.parametrize("mode", MODES)
def test_repeated_interior_abscissa_is_never_selected(testing_module, mode):
    x, y = [0.0, 1.0, 1.0, 2.0], [0.0, 1.0, 5.0, 6.0]
    assert both_forms(testing_module, mode, x, y, 1.0) == 1.0  # segment 0
    assert both_forms(testing_module, mode, x, y, 1.5) == 5.5  # segment 2


@pytest.mark.parametrize(
    ("mode", "xp", "expected"),
    [
        ("linear", 1.5, 15.0),
        ("linear", 2.0, 20.0),  # the search hit beyond the table is clamped to the last segment
        ("linear", 3.5, 35.0),  # beyond x[n - 1] = 2: extrapolated along the last segment
        ("clamp", 3.5, 20.0),
        ("fill", 3.5, FILL),
        ("linear", -1.0, -10.0),
        ("clamp", -1.0, 0.0),
        ("fill", -1.0, FILL),
    ],
)
def test_abscissas_beyond_the_ordinates_are_ignored(testing_module, mode, xp, expected):
    x, y = [0.0, 1.0, 2.0, 3.0, 4.0], [0.0, 10.0, 20.0]
    assert both_forms(testing_module, mode, x, y, xp) == expected


@pytest.mark.parametrize("mode", MODES)
def test_ordinates_beyond_the_abscissas_are_ignored(testing_module, mode):
    x, y = [0.0, 1.0], [0.0, 10.0, -50.0, 80.0]
    assert both_forms(testing_module, mode, x, y, 0.25) == 2.5
    expected_above = {"linear": 20.0, "clamp": 10.0, "fill": FILL}[mode]
    assert both_forms(testing_module, mode, x, y, 2.0) == expected_above


# Unsorted tables, traced by hand through the binary search over the stored order.
@pytest.mark.parametrize(
    ("x", "y", "xp", "expected"),
    [
        # The search ends at index 2 (x[2] = 1 < 1.5), so segment 2, the line through (1, 1)
        # and (3, 9); counting the abscissas below 1.5 would have chosen segment 1 (2.5).
        ([0.0, 2.0, 1.0, 3.0], [0.0, 4.0, 1.0, 9.0], 1.5, {m: 3.0 for m in MODES}),
        # Descending: 2.5 < x[0] = 3 counts as below the table; the search runs to the end and
        # the last segment, through (2, 4) and (1, 1), extrapolates.
        ([3.0, 2.0, 1.0], [9.0, 4.0, 1.0], 2.5, {"linear": 5.5, "clamp": 9.0, "fill": FILL}),
        # The search runs over all six abscissas, not only the three with ordinates: it ends at
        # index 3 (x[3] = 0 < 1.5), clamped to the last segment, through (7, 70) and (9, 50).
        # A search over the first three would have ended at segment 0 (15.0).
        ([1.0, 7.0, 9.0, 0.0, 5.0, 2.0], [10.0, 70.0, 50.0], 1.5, {m: 125.0 for m in MODES}),
    ],
)
@pytest.mark.parametrize("mode", MODES)
def test_unsorted_table_follows_the_stored_order(testing_module, mode, x, y, xp, expected):
    assert both_forms(testing_module, mode, x, y, xp) == expected[mode]


@pytest.mark.parametrize(
    ("x", "y", "xp", "expected"),
    [
        # NaN abscissa: the comparisons with it are false, so xp in (0, 2] lands on segment 0.
        ([0.0, math.nan, 2.0], [0.0, 1.0, 2.0], 0.5, {m: math.nan for m in MODES}),
        ([0.0, math.nan, 2.0], [0.0, 1.0, 2.0], 1.5, {m: math.nan for m in MODES}),
        (
            [0.0, math.nan, 2.0],
            [0.0, 1.0, 2.0],
            3.0,
            {"linear": math.nan, "clamp": 2.0, "fill": FILL},
        ),
        # NaN ordinate: only the segments that use it.
        ([0.0, 1.0, 2.0], [0.0, math.nan, 2.0], 0.5, {m: math.nan for m in MODES}),
        ([0.0, 1.0, 2.0], [0.0, math.nan, 2.0], 1.5, {m: math.nan for m in MODES}),
        ([0.0, 1.0, 2.0], [0.0, 1.0, math.nan], 0.5, {m: 0.5 for m in MODES}),
        ([0.0, 1.0, 2.0], [0.0, 1.0, math.nan], 1.5, {m: math.nan for m in MODES}),
        (
            [0.0, 1.0, 2.0],
            [0.0, 1.0, math.nan],
            3.0,
            {"linear": math.nan, "clamp": math.nan, "fill": FILL},
        ),
    ],
)
@pytest.mark.parametrize("mode", MODES)
def test_nan_in_the_table(testing_module, mode, x, y, xp, expected):
    value = both_forms(testing_module, mode, x, y, xp)
    assert bits(value) == bits(expected[mode]) or (math.isnan(value) and math.isnan(expected[mode]))


def random_sorted_table(rng, n):
    x = np.sort(rng.uniform(-5.0, 5.0, n))
    while np.any(np.diff(x) <= 0.0):
        x = np.sort(rng.uniform(-5.0, 5.0, n))
    return x, rng.uniform(-3.0, 3.0, n)


@pytest.mark.parametrize("seed", range(8))
def test_inside_the_table_agrees_with_numpy(testing_module, seed):
    # numpy.interp evaluates y[k] + slope·(xp − x[k]); the line form xp·slope + intercept
    # differs by its rounding, which scales with the largest term it forms: |y[k]|, |x[k]·slope|
    # and |xp·slope|. Within two units in the last place of that scale.
    rng = np.random.default_rng(seed)
    for _ in range(40):
        n = int(rng.integers(2, 40))
        x, y = random_sorted_table(rng, n)
        xp = np.concatenate([rng.uniform(x[0], x[-1], 40), x])
        ours = np.array(testing_module.interp_table_linear(list(x), list(y), list(xp)))
        reference = np.interp(xp, x, y)
        segment = np.clip(np.searchsorted(x, xp, side="left") - 1, 0, n - 2)
        slope = (y[segment + 1] - y[segment]) / (x[segment + 1] - x[segment])
        scale = np.maximum.reduce(
            [np.abs(y[segment]), np.abs(x[segment] * slope), np.abs(xp * slope), np.abs(reference)]
        )
        ulps = np.abs(ours - reference) / np.array([math.ulp(s) for s in scale])
        assert ulps.max() <= 2.0


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("seed", range(4))
def test_outside_the_table_follows_the_rule(testing_module, mode, seed):
    rng = np.random.default_rng(100 + seed)
    for _ in range(25):
        n = int(rng.integers(2, 20))
        x, y = random_sorted_table(rng, n)
        below = list(rng.uniform(x[0] - 10.0, x[0], 10))
        above = list(rng.uniform(x[-1], x[-1] + 10.0, 10))
        x, y = list(x), list(y)
        values = interp_table(testing_module, mode, x, y, below + above)
        for xp, value in zip(below, values[:10], strict=True):
            expected = {"linear": segment_value(x, y, 0, xp), "clamp": y[0], "fill": FILL}[mode]
            assert bits(value) == bits(expected)
        for xp, value in zip(above, values[10:], strict=True):
            expected = {"linear": segment_value(x, y, n - 2, xp), "clamp": y[-1], "fill": FILL}[
                mode
            ]
            assert bits(value) == bits(expected)


def awkward_table(rng):
    """Random tables of every kind the routine must survive: sorted, unsorted, with repeated
    abscissas, with NaNs, of unequal lengths, empty or of one point."""
    n_x, n_y = int(rng.integers(0, 12)), int(rng.integers(0, 12))
    if rng.random() < 0.5:
        n_y = n_x
    x = (
        rng.choice([-1.0, -0.5, 0.0, 0.25, 0.5, 1.0, 2.0], n_x)
        if rng.random() < 0.3
        else rng.normal(0, 2, n_x)
    )
    if rng.random() < 0.6:
        x = np.sort(x)
    y = rng.normal(0, 3, n_y)
    if n_x and rng.random() < 0.2:
        x[rng.integers(n_x)] = math.nan
    if n_y and rng.random() < 0.2:
        y[rng.integers(n_y)] = math.nan
    return list(x), list(y)


@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("seed", range(6))
def test_table_form_equals_per_call_form_bit_for_bit(testing_module, mode, seed):
    rng = np.random.default_rng(1000 + seed)
    for _ in range(40):
        x, y = awkward_table(rng)
        xps = list(rng.normal(0, 3, 20)) + list(x) + [math.nan, math.inf, -math.inf, 0.0, -0.0]
        fill = float(rng.normal())
        tabled = interp_table(testing_module, mode, x, y, xps, fill)
        single = [interp(testing_module, mode, x, y, xp, fill) for xp in xps]
        assert [bits(v) for v in tabled] == [bits(v) for v in single]
