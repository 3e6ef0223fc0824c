"""The committed Gauss rules: regenerated bit for bit, and each rule checked independently of the
generator (numpy's Gauss-Legendre rule, exactness on polynomials against mpmath integrals)."""

import re
from pathlib import Path

import mpmath
import numpy as np
import pytest

ROOT = Path(__file__).resolve().parents[2]
HEADER = ROOT / "src" / "numeric" / "gauss_rules.hpp"
GENERATOR = ROOT / "tools" / "generate_gauss_rules.py"


def committed_rules() -> dict[str, list[tuple[float, float]]]:
    rules: dict[str, list[tuple[float, float]]] = {}
    name = None
    for line in HEADER.read_text(encoding="utf-8").splitlines():
        start = re.match(r"inline constexpr std::array<GaussNode, \d+> (\w+) =", line)
        if start:
            name = start.group(1)
            rules[name] = []
            continue
        row = re.match(r"\s*\{(-?0x[0-9a-fp.+-]+), (0x[0-9a-fp.+-]+)\},", line)
        if row and name:
            rules[name].append((float.fromhex(row.group(1)), float.fromhex(row.group(2))))
    return rules


RULES = committed_rules()
LEGENDRE = {name: nodes for name, nodes in RULES.items() if name.startswith("gauss_legendre_")}
CHEBYSHEV = {name: nodes for name, nodes in RULES.items() if name.startswith("gauss_chebyshev_u_")}
CHEBYSHEV_T = {
    name: nodes for name, nodes in RULES.items() if name.startswith("gauss_chebyshev_t_")
}
LOG_CHEBYSHEV = {
    name: nodes
    for name, nodes in RULES.items()
    if name.startswith("gauss_log_chebyshev_") and not name.startswith("gauss_log_chebyshev_t_")
}
LOG_CHEBYSHEV_T = {
    name: nodes for name, nodes in RULES.items() if name.startswith("gauss_log_chebyshev_t_")
}
ANGLE = {
    name: nodes
    for name, nodes in RULES.items()
    if name.startswith(("gauss_jacobi_1_", "gauss_log_jacobi_1_"))
}


def test_every_rule_is_there():
    assert sorted(len(nodes) for nodes in LEGENDRE.values()) == [10, 12, 16, 20, 24, 32, 40]
    assert sorted(len(nodes) for nodes in CHEBYSHEV.values()) == [4, 6, 8, 12, 28, 80]
    assert sorted(len(nodes) for nodes in CHEBYSHEV_T.values()) == [4, 6, 8, 12, 28, 80]
    assert sorted(len(nodes) for nodes in LOG_CHEBYSHEV.values()) == [4, 6, 8, 12, 28, 80]
    assert sorted(len(nodes) for nodes in LOG_CHEBYSHEV_T.values()) == [4, 6, 8, 12, 28, 80]
    for name, nodes in RULES.items():
        assert len(nodes) == int(name.rsplit("_", 1)[1])


@pytest.mark.parametrize("name", sorted(LEGENDRE))
def test_legendre_against_numpy(name):
    nodes = LEGENDRE[name]
    abscissae, weights = np.polynomial.legendre.leggauss(len(nodes))
    # numpy orders increasingly and computes in double precision, its weights to about 1e-13 (the
    # exactness tests below hold the committed ones to rounding).
    for (x, w), x_np, w_np in zip(nodes, abscissae[::-1], weights[::-1], strict=True):
        assert abs(x - x_np) <= 4e-16 and abs(w / w_np - 1) < 1e-12


@pytest.mark.parametrize("name", sorted(LEGENDRE))
def test_legendre_exact_for_degree_2n_minus_1(name):
    nodes = LEGENDRE[name]
    degree = 2 * len(nodes) - 1
    with mpmath.workdps(40):
        for k in range(degree + 1):
            rule = mpmath.fsum(mpmath.mpf(w) * mpmath.mpf(x) ** k for x, w in nodes)
            exact = mpmath.mpf(2) / (k + 1) if k % 2 == 0 else 0
            assert abs(rule - exact) < 1e-15


@pytest.mark.parametrize("name", sorted(CHEBYSHEV))
def test_chebyshev_exact_for_degree_2n_minus_1(name):
    # integral of sqrt(1 - s^2) s^k over [-1, 1]: a Beta integral, by mpmath quadrature here.
    nodes = CHEBYSHEV[name]
    degree = 2 * len(nodes) - 1
    with mpmath.workdps(30):
        for k in range(min(degree, 40) + 1):
            rule = mpmath.fsum(mpmath.mpf(w) * mpmath.mpf(x) ** k for x, w in nodes)
            exact = mpmath.quad(lambda s, k=k: mpmath.sqrt(1 - s * s) * s**k, [-1, 0, 1])
            assert abs(rule - exact) < 1e-15, k


@pytest.mark.parametrize("name", sorted(CHEBYSHEV_T))
def test_chebyshev_first_kind_exact_for_degree_2n_minus_1(name):
    # integral of s^k / sqrt(1 - s^2) over [-1, 1]: pi (k - 1)!! / k!! for even k, 0 for odd k.
    nodes = CHEBYSHEV_T[name]
    degree = 2 * len(nodes) - 1
    with mpmath.workdps(30):
        for k in range(min(degree, 40) + 1):
            rule = mpmath.fsum(mpmath.mpf(w) * mpmath.mpf(x) ** k for x, w in nodes)
            exact = mpmath.pi * mpmath.binomial(k, k // 2) / 2**k if k % 2 == 0 else 0
            assert abs(rule - exact) < 1e-15, k


@pytest.mark.parametrize("name", sorted(LOG_CHEBYSHEV))
def test_log_chebyshev_exact_for_degree_2n_minus_1(name):
    # integral of -sqrt(1 - s^2) ln(1 - s^2) s^k over [-1, 1] by mpmath quadrature (the
    # generator uses the Beta-function moments instead); odd powers vanish by symmetry.
    nodes = LOG_CHEBYSHEV[name]
    degree = 2 * len(nodes) - 1
    with mpmath.workdps(30):
        for k in range(0, min(degree, 40) + 1):
            rule = mpmath.fsum(mpmath.mpf(w) * mpmath.mpf(x) ** k for x, w in nodes)
            exact = mpmath.quad(
                lambda s, k=k: -mpmath.sqrt(1 - s * s) * mpmath.log(1 - s * s) * s**k, [-1, 0, 1]
            )
            assert abs(rule - exact) < 2e-15, k


@pytest.mark.parametrize("name", sorted(ANGLE))
def test_angle_rules_exact_for_degree_2n_minus_1(name):
    # 1 - t^2 and -(1 - t^2) ln(1 - t^2) against mpmath quadrature, even powers up to the rule's
    # degree (t^40 at most).
    nodes = ANGLE[name]
    logarithmic = name.startswith("gauss_log_")
    degree = 2 * len(nodes) - 1

    def weight(t):
        w = 1 - t * t
        return -w * mpmath.log(w) if logarithmic else w

    with mpmath.workdps(30):
        for k in range(0, min(degree, 40) + 1, 2):
            rule = mpmath.fsum(mpmath.mpf(w) * mpmath.mpf(x) ** k for x, w in nodes)
            exact = mpmath.quad(lambda t, k=k: weight(t) * t**k, [-1, 0, 1])
            assert abs(rule - exact) < 2e-15, k


@pytest.mark.parametrize(
    ("name", "power"),
    [
        ("gauss_end_1_16", 1),
        ("gauss_log_end_1_16", 1),
        ("gauss_end_0_16", 0),
        ("gauss_log_end_0_16", 0),
    ],
)
def test_end_rules_exact_for_degree_2n_minus_1(name, power):
    # z^power and -z^power ln z on [0, 1] against mpmath quadrature, every power up to z^31.
    nodes = RULES[name]
    logarithmic = name.startswith("gauss_log_")
    assert all(0 < x < 1 for x, _ in nodes) and all(w > 0 for _, w in nodes)
    with mpmath.workdps(30):
        for k in range(2 * len(nodes)):
            rule = mpmath.fsum(mpmath.mpf(w) * mpmath.mpf(x) ** k for x, w in nodes)
            if logarithmic:
                exact = mpmath.quad(lambda z, k=k: -(z ** (k + power)) * mpmath.log(z), [0, 1])
            else:
                exact = mpmath.quad(lambda z, k=k: z ** (k + power), [0, 1])
            assert abs(rule / exact - 1) < 1e-14, k


@pytest.mark.parametrize(
    "name", sorted(LOG_CHEBYSHEV_T) + ["gauss_log_legendre_24", "gauss_log_legendre_32"]
)
def test_logarithmic_derivative_rules_exact_for_degree_2n_minus_1(name):
    # -ln(1 - s^2) / sqrt(1 - s^2) (chord) and -ln(1 - s^2) (angle) against mpmath quadrature,
    # even powers up to s^40 (odd ones vanish by symmetry, as the rules' symmetric nodes give).
    nodes = RULES[name]
    chebyshev = name.startswith("gauss_log_chebyshev_t_")
    degree = 2 * len(nodes) - 1

    def weight(s):
        w = 1 - s * s
        return -mpmath.log(w) / mpmath.sqrt(w) if chebyshev else -mpmath.log(w)

    with mpmath.workdps(30):
        for k in range(0, min(degree, 40) + 1, 2):
            rule = mpmath.fsum(mpmath.mpf(w) * mpmath.mpf(x) ** k for x, w in nodes)
            exact = mpmath.quad(lambda s, k=k: weight(s) * s**k, [-1, 0, 1])
            assert abs(rule / exact - 1) < 2e-15, k
