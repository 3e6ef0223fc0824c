"""Generate src/models/disk_mean_value_series.hpp, the coefficients of the mean-value series of
the point-lens magnification over a disk far from the lens.

The mean of a smooth function f over the disk of radius a about a point is

    <f>_disk = sum_k a^(2k) Laplacian^k f / (4^k k! (k+1)!),

which converges for the point-lens magnification A(r) = (r^2 + 2)/(r sqrt(r^2 + 4)) while the
disk stays clear of the lens (a < u, u the distance of its centre). For a radial function of
t = r^2 the Laplacian is 4 d/dt (t d/dt), so with D = d/dt t d/dt the k-th term is
a^(2k) D^k A / (k! (k+1)!). By induction

    D^k A = P_k(t) t^(-(2k+1)/2) (t + 4)^(-(4k+1)/2),

P_k a polynomial of degree 2k - 1 for k >= 1 with integer coefficients (P_0 = t + 2). With
p = t/(t + 4) and q = 4/(t + 4), both in [0, 1], the term k >= 1 is

    (a^2/t)^k (q/4) (sqrt(p)/t) H_k(p, q),
    H_k = sum_j P_k[j]/(4^(2k-1-j) k! (k+1)!) p^j q^(2k-1-j),

which stays finite for every t > 0 (no power of t that overflows). The generator derives P_k by
exact polynomial arithmetic and rounds each coefficient of H_k once to the nearest double.

The series' derivative in u needs dH_k/dp - dH_k/dq (with dp/du = -dq/du), homogeneous of degree
2k - 2 with the coefficients (j + 1) c[k][j + 1] - (2k - 1 - j) c[k][j] of p^j q^(2k-2-j); these
too are formed exactly and rounded once, so that the derivative is one more nested sum rather than
a chain beside that of H_k.

Usage: python3 tools/generate_disk_mean_value_series.py [OUTPUT]   (default: stdout)
"""

from __future__ import annotations

import math
import sys
from fractions import Fraction

from header_rendering import aligned_rows, write_rendered

# Terms k = 1 ... TERMS after the point-lens value itself.
TERMS = 12


def _derivative(poly: list[Fraction]) -> list[Fraction]:
    return [j * c for j, c in enumerate(poly)][1:] or [Fraction(0)]


def _add(x: list[Fraction], y: list[Fraction]) -> list[Fraction]:
    n = max(len(x), len(y))
    return [
        (x[i] if i < len(x) else Fraction(0)) + (y[i] if i < len(y) else Fraction(0))
        for i in range(n)
    ]


def _times_linear(poly: list[Fraction], constant: Fraction, slope: Fraction) -> list[Fraction]:
    """poly * (constant + slope t)."""
    return _add([constant * c for c in poly], [Fraction(0)] + [slope * c for c in poly])


def _trim(poly: list[Fraction]) -> list[Fraction]:
    while len(poly) > 1 and poly[-1] == 0:
        poly = poly[:-1]
    return poly


def _step(poly: list[Fraction], alpha: Fraction, beta: Fraction) -> list[Fraction]:
    """The g with d/dt[(poly t^alpha (t + 4)^beta)'] = g t^(alpha - 1) (t + 4)^(beta - 2), where
    ' is t d/dt: each derivative of Q t^a (t + 4)^b gives
    t^(a - 1) (t + 4)^(b - 1) [Q' t (t + 4) + Q (a (t + 4) + b t)]."""

    def lowered(q: list[Fraction], a: Fraction, b: Fraction) -> list[Fraction]:
        t_times_t_plus_4 = _times_linear(
            _times_linear(_derivative(q), Fraction(0), Fraction(1)), 4, 1
        )
        return _trim(_add(t_times_t_plus_4, _times_linear(q, 4 * a, a + b)))

    # t times the first derivative: t^alpha (t + 4)^(beta - 1) R.
    first = lowered(poly, alpha, beta)
    # Its derivative: t^(alpha - 1) (t + 4)^(beta - 2) [...].
    return lowered(first, alpha, beta - 1)


def laplacian_numerators(terms: int) -> list[list[Fraction]]:
    """P_0 ... P_terms, coefficients in ascending powers of t."""
    polys = [[Fraction(2), Fraction(1)]]
    for k in range(terms):
        alpha = Fraction(-(2 * k + 1), 2)
        beta = Fraction(-(4 * k + 1), 2)
        polys.append(_step(polys[-1], alpha, beta))
    for k, poly in enumerate(polys[1:], start=1):
        if len(poly) != 2 * k or any(c.denominator != 1 for c in poly):
            raise ArithmeticError(f"unexpected form of P_{k}: {poly}")
    return polys


def series_coefficients(terms: int = TERMS) -> list[list[Fraction]]:
    """Exact coefficients of H_1 ... H_terms, H_k[j] the coefficient of p^j q^(2k-1-j)."""
    result = []
    for k, poly in enumerate(laplacian_numerators(terms)[1:], start=1):
        degree = 2 * k - 1
        scale = math.factorial(k) * math.factorial(k + 1)
        result.append([c / (4 ** (degree - j) * scale) for j, c in enumerate(poly)])
    return result


def slope_coefficients(terms: int = TERMS) -> list[list[Fraction]]:
    """Exact coefficients of dH_k/dp - dH_k/dq, k = 1 ... terms, [j] that of p^j q^(2k-2-j)."""
    result = []
    for h in series_coefficients(terms):
        degree = len(h) - 1
        result.append([(j + 1) * h[j + 1] - (degree - j) * h[j] for j in range(degree)])
    return result


def _offsets(tables: list[list[Fraction]]) -> list[int]:
    offsets = [0]
    for h in tables:
        offsets.append(offsets[-1] + len(h))
    return offsets


def _table_rows(tables: list[list[Fraction]], label: str) -> list[str]:
    lines = []
    for k, h in enumerate(tables, start=1):
        lines.append(f"    // {label.format(k=k)}")
        rows = [(f"    {float(c).hex()},", f"// {float(c)!r}") for c in h]
        lines += aligned_rows(rows)
    return lines


def render() -> str:
    coefficients = series_coefficients()
    offsets = _offsets(coefficients)
    slopes = slope_coefficients()
    slope_offsets = _offsets(slopes)
    lines = [
        "// Generated by tools/generate_disk_mean_value_series.py; do not edit.",
        "//",
        "// Mean-value series of the point-lens magnification over a disk of radius a whose centre",
        "// lies at u from the lens, with t = u^2, p = t/(t + 4), q = 4/(t + 4):",
        "//   <A> = (p + q/2)/sqrt(p) + (q/4) (sqrt(p)/t) sum_k (a^2/t)^k H_k(p, q),",
        "//   H_k = sum_j c[k][j] p^j q^(2k-1-j),",
        "// where c[k][j] = P_k[j]/(4^(2k-1-j) k! (k+1)!) and P_k is the numerator of the k-th",
        "// power of d/dt t d/dt applied to A. Each coefficient is the exact rational rounded once",
        "// to the nearest double, as is each coefficient of dH_k/dp - dH_k/dq, the derivative the",
        "// series' slope in u needs (dp/du = -dq/du).",
        "#pragma once",
        "",
        "#include <array>",
        "#include <cstddef>",
        "",
        "namespace obrivane::models {",
        "",
        f"inline constexpr std::size_t disk_mean_value_terms = {TERMS};",
        "",
        "// H_k (k >= 1) occupies disk_mean_value_coefficients[offsets[k - 1] .. offsets[k]), the",
        "// coefficient of p^j q^(2k-1-j) at position j.",
        f"inline constexpr std::array<std::size_t, {TERMS + 1}> disk_mean_value_offsets = {{",
        "    " + ", ".join(str(o) for o in offsets) + ",",
        "};",
        "",
        f"inline constexpr std::array<double, {offsets[-1]}> disk_mean_value_coefficients = {{",
    ]
    lines += _table_rows(coefficients, "H_{k}")
    lines += [
        "};",
        "",
        "// dH_k/dp - dH_k/dq (k >= 1) occupies"
        " disk_mean_value_slope_coefficients[slope_offsets[k - 1]",
        "// .. slope_offsets[k]), the coefficient of p^j q^(2k-2-j) at position j.",
        f"inline constexpr std::array<std::size_t, {TERMS + 1}> disk_mean_value_slope_offsets = {{",
        "    " + ", ".join(str(o) for o in slope_offsets) + ",",
        "};",
        "",
        f"inline constexpr std::array<double, {slope_offsets[-1]}>"
        " disk_mean_value_slope_coefficients = {",
    ]
    lines += _table_rows(slopes, "dH_{k}/dp - dH_{k}/dq")
    lines += [
        "};",
        "",
        "}  // namespace obrivane::models",
        "",
    ]
    return "\n".join(lines)


def main(argv: list[str]) -> int:
    return write_rendered(render, argv)


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
