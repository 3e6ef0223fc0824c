"""Generate src/numeric/gauss_rules.hpp, the Gauss rules of the line integrals through the lens.

Gauss-Legendre, n points on [-1, 1]: the abscissae are the zeros x_i of the Legendre polynomial
P_n and the weights 2 / ((1 - x_i^2) P_n'(x_i)^2); exact for polynomials of degree 2n - 1.

Gauss-Chebyshev of the second kind, n points: the integral of sqrt(1 - s^2) f(s) over [-1, 1] is
sum_i w_i f(s_i) with s_i = cos(i pi / (n + 1)) and w_i = pi / (n + 1) sin^2(i pi / (n + 1)),
i = 1 .. n; exact for polynomials f of degree 2n - 1. Gauss-Chebyshev of the first kind, the
same sizes: the integral of f(s) / sqrt(1 - s^2), s_i = cos((2i - 1) pi / (2n)), w_i = pi / n (the
chord weight of mu^-1, in the derivatives of the mu-weighted disk).

Logarithmic Gauss-Chebyshev, n points: the integral of -sqrt(1 - s^2) ln(1 - s^2) f(s) over
[-1, 1] (the chord weight of the mu ln mu brightness term), exact for degree 2n - 1. The weight's
moments are Beta integrals, -B(k + 1/2, 3/2) (psi(3/2) - psi(k + 2)) for s^(2k) (the derivative
of B(k + 1/2, beta + 1) in beta at 1/2); Gautschi's Chebyshev algorithm turns them into the
recurrence p_(k+1) = (s - a_k) p_k - b_k p_(k-1) of the monic orthogonal polynomials (at 1600
bits: the moment map is ill-conditioned, about 10^120 at 80 points). The abscissae are the
zeros of p_n, from the double-precision eigenvalues of the Jacobi matrix refined by Newton's
method on the recurrence; the weights are the Christoffel numbers 1 / sum_(k<n) p_k^2 / ||p_k||^2,
||p_k||^2 = b_0 b_1 ... b_k.

Gauss-Jacobi and logarithmic Gauss-Jacobi with exponent 1, 24 and 32 points: the weights
1 - t^2 and -(1 - t^2) ln(1 - t^2) (the angle integral of the mu ln mu term with the lens outside
the source, in t = (u/a) sin(theta)), by the same construction from the moments B(k + 1/2, 2) and
-B(k + 1/2, 2) (psi(2) - psi(k + 5/2)). The one-sided rules of z and -z ln z on [0, 1], 16
points (the panel of that angle integral by the tangent line, with the lens just outside), from
the moments 1/(j + 2) and 1/(j + 2)^2.

The derivatives of the mu ln mu term take the rules of its derivative weights: logarithmic
Gauss-Chebyshev of the first kind, -ln(1 - s^2) / sqrt(1 - s^2) along the chord (moments
-B(k + 1/2, 1/2) (psi(1/2) - psi(k + 1))), at the sizes of the Chebyshev rules; logarithmic
Gauss-Legendre, -ln(1 - t^2), 24 and 32 points, for the angle with the lens outside; and the
one-sided rules of 1 and -ln z on [0, 1], 16 points (moments 1/(j + 1) and 1/(j + 1)^2).

The zeros are found by Newton's method on the three-term recurrence at 400 bits, and every stored
value is the double nearest to the exact value, rounded once from that precision.

Usage: python3 tools/generate_gauss_rules.py [OUTPUT]   (default: stdout)
"""

from __future__ import annotations

import sys

import mpmath
import numpy as np
from header_rendering import aligned_rows, write_rendered

WORKING_BITS = 400
LEGENDRE_SIZES = (10, 12, 16, 20, 24, 32, 40)
CHEBYSHEV_SIZES = (4, 6, 8, 12, 28, 80)
LOG_CHEBYSHEV_SIZES = CHEBYSHEV_SIZES
ANGLE_SIZES = (24, 32)
MOMENT_BITS = 1600


def legendre_and_derivative(n: int, x: mpmath.mpf) -> tuple[mpmath.mpf, mpmath.mpf]:
    """P_n(x) and P_n'(x) by the recurrence (k + 1) P_{k+1} = (2k + 1) x P_k - k P_{k-1}."""
    previous, current = mpmath.mpf(1), x
    for k in range(1, n):
        previous, current = current, ((2 * k + 1) * x * current - k * previous) / (k + 1)
    derivative = n * (x * current - previous) / (x * x - 1)
    return current, derivative


def gauss_legendre(n: int) -> list[tuple[float, float]]:
    """(abscissa, weight) pairs in decreasing abscissa."""
    nodes = []
    with mpmath.workprec(WORKING_BITS):
        tolerance = mpmath.mpf(2) ** (-WORKING_BITS + 8)
        for i in range(1, n + 1):
            # Tricomi's first approximation of the i-th largest zero, then Newton.
            x = mpmath.cos(mpmath.pi * (4 * i - 1) / (4 * n + 2))
            for _ in range(100):
                value, derivative = legendre_and_derivative(n, x)
                step = value / derivative
                x -= step
                if abs(step) < tolerance:
                    break
            else:
                raise ArithmeticError(f"Newton did not converge for n = {n}, i = {i}")
            _, derivative = legendre_and_derivative(n, x)
            weight = 2 / ((1 - x * x) * derivative**2)
            nodes.append((float(x), float(weight)))
    return nodes


def gauss_chebyshev_first_kind(n: int) -> list[tuple[float, float]]:
    """(abscissa, weight) pairs in decreasing abscissa."""
    nodes = []
    with mpmath.workprec(WORKING_BITS):
        for i in range(1, n + 1):
            angle = mpmath.pi * (2 * i - 1) / (2 * n)
            nodes.append((float(mpmath.cos(angle)), float(mpmath.pi / n)))
    return nodes


def gauss_chebyshev_second_kind(n: int) -> list[tuple[float, float]]:
    """(abscissa, weight) pairs in decreasing abscissa."""
    nodes = []
    with mpmath.workprec(WORKING_BITS):
        for i in range(1, n + 1):
            angle = mpmath.pi * i / (n + 1)
            nodes.append(
                (float(mpmath.cos(angle)), float(mpmath.pi / (n + 1) * mpmath.sin(angle) ** 2))
            )
    return nodes


def weight_recurrence(
    n: int, beta: float, logarithmic: bool, one_sided: bool = False
) -> tuple[list, list]:
    """a_k, b_k (k < n) of the monic orthogonal polynomials of (1 - s^2)^beta, or of
    -(1 - s^2)^beta ln(1 - s^2) when logarithmic, from their moments by the Chebyshev algorithm;
    one_sided, of z^beta or -z^beta ln z on [0, 1] (moments 1/(j + beta + 1) and its square)."""
    with mpmath.workprec(MOMENT_BITS):
        half, power = mpmath.mpf(1) / 2, mpmath.mpf(beta) + 1

        def moment(j: int) -> mpmath.mpf:
            if one_sided:
                value = 1 / (j + power)
                return value * value if logarithmic else value
            if j % 2:
                return mpmath.mpf(0)
            k = j // 2
            # B(k + 1/2, beta + 1), and minus its derivative in beta.
            value = mpmath.beta(k + half, power)
            if logarithmic:
                value = -value * (mpmath.digamma(power) - mpmath.digamma(k + half + power))
            return value

        moments = [moment(j) for j in range(2 * n)]
        a = [mpmath.mpf(0)] * n
        b = [mpmath.mpf(0)] * n
        a[0], b[0] = moments[1] / moments[0], moments[0]
        previous, current = [mpmath.mpf(0)] * (2 * n), moments
        for k in range(1, n):
            following = [mpmath.mpf(0)] * (2 * n)
            for i in range(k, 2 * n - k):
                following[i] = current[i + 1] - a[k - 1] * current[i] - b[k - 1] * previous[i]
            a[k] = following[k + 1] / following[k] - current[k] / current[k - 1]
            b[k] = following[k] / current[k - 1]
            previous, current = current, following
    return a, b


def gauss_from_moments(
    n: int, beta: float, logarithmic: bool, one_sided: bool = False
) -> list[tuple[float, float]]:
    """(abscissa, weight) pairs in decreasing abscissa."""
    a, b = weight_recurrence(n, beta, logarithmic, one_sided)
    jacobi = np.diag([float(x) for x in a])
    for i in range(1, n):
        jacobi[i, i - 1] = jacobi[i - 1, i] = float(mpmath.sqrt(b[i]))
    guesses = sorted(np.linalg.eigvalsh(jacobi), reverse=True)
    nodes = []
    with mpmath.workprec(WORKING_BITS):
        norms = []
        norm = mpmath.mpf(1)
        for k in range(n):
            norm *= b[k]
            norms.append(norm)

        def values(x):
            """p_0 .. p_n at x and p_n'(x)."""
            polynomials, derivative_previous, derivative = [mpmath.mpf(1), x - a[0]], 0, 1
            for k in range(1, n):
                following = (x - a[k]) * polynomials[k] - b[k] * polynomials[k - 1]
                derivative, derivative_previous = (
                    polynomials[k] + (x - a[k]) * derivative - b[k] * derivative_previous,
                    derivative,
                )
                polynomials.append(following)
            return polynomials, derivative

        tolerance = mpmath.mpf(2) ** (-WORKING_BITS + 8)
        for guess in guesses:
            x = mpmath.mpf(guess)
            for _ in range(100):
                polynomials, derivative = values(x)
                step = polynomials[n] / derivative
                x -= step
                if abs(step) < tolerance:
                    break
            else:
                raise ArithmeticError(f"Newton did not converge for n = {n}")
            polynomials, _ = values(x)
            weight = 1 / mpmath.fsum(polynomials[k] ** 2 / norms[k] for k in range(n))
            nodes.append((float(x), float(weight)))
    return nodes


def render_rule(name: str, nodes: list[tuple[float, float]]) -> list[str]:
    rows = [(f"    {{{x.hex()}, {w.hex()}}},", f"// {x!r}, {w!r}") for x, w in nodes]
    return (
        [f"inline constexpr std::array<GaussNode, {len(nodes)}> {name} = {{{{"]
        + aligned_rows(rows)
        + ["}};", ""]
    )


def render() -> str:
    lines = [
        "// Generated by tools/generate_gauss_rules.py; do not edit.",
        "//",
        "// Gauss-Legendre rules on [-1, 1] (abscissae the zeros of P_n, weights",
        "// 2 / ((1 - x^2) P_n'(x)^2)); Gauss-Chebyshev rules of the second kind (the integral",
        "// of sqrt(1 - s^2) f(s) over [-1, 1]; abscissae cos(i pi/(n+1)), weights",
        "// pi/(n+1) sin^2(i pi/(n+1))) and of the first kind (the integral of",
        "// f(s) / sqrt(1 - s^2); abscissae cos((2i - 1) pi/(2n)), weights pi/n); logarithmic",
        "// Gauss-Chebyshev rules (the integral of -sqrt(1 - s^2) ln(1 - s^2) f(s) over [-1, 1];",
        "// abscissae the zeros of the weight's orthogonal polynomials, from its moments); each",
        "// n-point rule exact for degree 2n - 1. Gauss-Jacobi rules of 1 - t^2 and",
        "// -(1 - t^2) ln(1 - t^2), and the rules of z and -z ln z on [0, 1] (gauss_end_1_16,",
        "// gauss_log_end_1_16), built the same way; for the derivatives of the mu ln mu term,",
        "// the rules of -ln(1 - s^2) / sqrt(1 - s^2) (gauss_log_chebyshev_t_n), of -ln(1 - t^2)",
        "// (gauss_log_legendre_n), and of 1 and -ln z on [0, 1] (gauss_end_0_16,",
        "// gauss_log_end_0_16).",
        "// Every value is the double nearest to the exact one, rounded once from a 400-bit",
        "// evaluation; abscissae in decreasing order.",
        "#pragma once",
        "",
        "#include <array>",
        "",
        "namespace obrivane::numeric {",
        "",
        "struct GaussNode {",
        "  double abscissa;",
        "  double weight;",
        "};",
        "",
    ]
    for n in LEGENDRE_SIZES:
        lines += render_rule(f"gauss_legendre_{n}", gauss_legendre(n))
    for n in CHEBYSHEV_SIZES:
        lines += render_rule(f"gauss_chebyshev_u_{n}", gauss_chebyshev_second_kind(n))
    for n in CHEBYSHEV_SIZES:
        lines += render_rule(f"gauss_chebyshev_t_{n}", gauss_chebyshev_first_kind(n))
    for n in LOG_CHEBYSHEV_SIZES:
        lines += render_rule(f"gauss_log_chebyshev_{n}", gauss_from_moments(n, 0.5, True))
    for n in ANGLE_SIZES:
        lines += render_rule(f"gauss_jacobi_1_{n}", gauss_from_moments(n, 1, False))
    for n in ANGLE_SIZES:
        lines += render_rule(f"gauss_log_jacobi_1_{n}", gauss_from_moments(n, 1, True))
    lines += render_rule("gauss_end_1_16", gauss_from_moments(16, 1, False, True))
    lines += render_rule("gauss_log_end_1_16", gauss_from_moments(16, 1, True, True))
    for n in LOG_CHEBYSHEV_SIZES:
        lines += render_rule(f"gauss_log_chebyshev_t_{n}", gauss_from_moments(n, -0.5, True))
    for n in ANGLE_SIZES:
        lines += render_rule(f"gauss_log_legendre_{n}", gauss_from_moments(n, 0, True))
    lines += render_rule("gauss_end_0_16", gauss_from_moments(16, 0, False, True))
    lines += render_rule("gauss_log_end_0_16", gauss_from_moments(16, 0, True, True))
    lines += ["}  // namespace obrivane::numeric", ""]
    return "\n".join(lines)


def main(argv: list[str]) -> int:
    return write_rendered(render, argv)


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
