"""The committed tanh-sinh abscissa-weight table: regenerated bit for bit, every entry the double
nearest to its formula (checked here independently of the generator), and the printed rows."""

import math
import re
from fractions import Fraction
from pathlib import Path

import mpmath
import pytest

ROOT = Path(__file__).resolve().parents[2]
HEADER = ROOT / "src" / "numeric" / "tanh_sinh_table.hpp"
GENERATOR = ROOT / "tools" / "generate_tanh_sinh_table.py"

LEVEL_SIZES = [3, 3, 6, 12, 24, 48, 96]


def committed_levels() -> list[list[tuple[float, float]]]:
    """(weight, abscissa) pairs of the committed header, grouped by level."""
    text = HEADER.read_text(encoding="utf-8")
    body = text[text.index("tanh_sinh_nodes") :]
    levels: list[list[tuple[float, float]]] = []
    for line in body.splitlines():
        if re.match(r"\s*// level \d+", line):
            levels.append([])
            continue
        row = re.match(r"\s*\{(0x[0-9a-fp.+-]+), (0x[0-9a-fp.+-]+)\},", line)
        if row:
            levels[-1].append((float.fromhex(row.group(1)), float.fromhex(row.group(2))))
    return levels


def level_points(level: int) -> tuple[Fraction, list[Fraction]]:
    if level == 1:
        return Fraction(1), [Fraction(1), Fraction(2), Fraction(3)]
    step = Fraction(1, 2 ** (level - 1))
    return step, [k * step for k in range(1, int(3 / step) + 1) if k % 2 == 1]


def exact_node(step: Fraction, t: Fraction) -> tuple[mpmath.mpf, mpmath.mpf]:
    with mpmath.workdps(60):
        t_mp = mpmath.mpf(t.numerator) / t.denominator
        u = mpmath.pi / 2 * mpmath.sinh(t_mp)
        weight = (
            mpmath.mpf(step.numerator)
            / step.denominator
            * mpmath.pi
            / 2
            * mpmath.cosh(t_mp)
            / mpmath.cosh(u) ** 2
        )
        return weight, mpmath.tanh(u)


def is_nearest_double(stored: float, exact: mpmath.mpf) -> bool:
    """stored is strictly closer to exact than both of its neighbours."""
    with mpmath.workdps(60):
        distance = abs(mpmath.mpf(stored) - exact)
        below = abs(mpmath.mpf(math.nextafter(stored, -math.inf)) - exact)
        above = abs(mpmath.mpf(math.nextafter(stored, math.inf)) - exact)
        return distance < below and distance < above


def test_table_shape():
    levels = committed_levels()
    assert [len(level) for level in levels] == LEVEL_SIZES
    for level in levels:
        abscissas = [abscissa for _, abscissa in level]
        assert abscissas == sorted(abscissas)
        assert all(0.0 < abscissa < 1.0 for abscissa in abscissas)


@pytest.mark.parametrize("level", range(1, 8))
def test_every_entry_is_the_nearest_double(level):
    step, points = level_points(level)
    stored = committed_levels()[level - 1]
    assert len(stored) == len(points)
    for t, (weight, abscissa) in zip(points, stored, strict=True):
        exact_weight, exact_abscissa = exact_node(step, t)
        assert is_nearest_double(weight, exact_weight), (level, t, "weight")
        assert is_nearest_double(abscissa, exact_abscissa), (level, t, "abscissa")


def test_weight_next_to_a_rounding_midpoint():
    # At t = 75/64 the exact weight lies about 1e-4 ulp from the midpoint between two doubles;
    # the stored value must be the nearer one, just below the midpoint.
    step, points = level_points(7)
    index = points.index(Fraction(75, 64))
    weight = committed_levels()[6][index][0]
    exact_weight, _ = exact_node(step, Fraction(75, 64))
    with mpmath.workdps(60):
        offset_in_ulps = (exact_weight - mpmath.mpf(weight)) / math.ulp(weight)
    assert 0.4998 < offset_in_ulps < 0.5
    assert is_nearest_double(weight, exact_weight)


@pytest.mark.parametrize(
    ("level", "index", "weight", "abscissa"),
    [
        (1, 0, 0.23002239451478868, 0.9513679640727469),
        (1, 1, 0.00026620051375271693, 0.9999774771924616),
        (1, 2, 1.3581784274539091e-12, 0.999999999999957),
        (2, 0, 0.4829882897061506, 0.6742714922484359),
        (3, 0, 0.3474036898118141, 0.3772097381640342),
        (7, 0, 0.024531906707493643, 0.02453976357464916),
        (7, -1, 3.411862828005251e-14, 0.9999999999999298),
    ],
)
def test_printed_sample_rows(level, index, weight, abscissa):
    assert committed_levels()[level - 1][index] == (weight, abscissa)
