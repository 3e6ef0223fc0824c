"""The magnification of a uniform disk far from the lens by the mean-value series: the committed
coefficients regenerated bit for bit, the exact series against a direct high-precision disk
average, and the double-precision routine against the same average (errors in units of the
result's ulp).
"""

import importlib
import math
from fractions import Fraction
from pathlib import Path

import mpmath
import obrivane
import pytest
from profile_reference import profile_magnification, relative_error

ROOT = Path(__file__).resolve().parents[2]
HEADER = ROOT / "src" / "models" / "disk_mean_value_series.hpp"

# The routine is used for a <= FAR_RATIO u.
FAR_RATIO = 0.25
REFERENCE_DPS = 30


def load_generator():
    # tools/ is on the import path (conftest.py).
    return importlib.import_module("generate_disk_mean_value_series")


def point_lens(r):
    return (r * r + 2) / (r * mpmath.sqrt(r * r + 4))


def disk_average(u: float, a: float) -> mpmath.mpf:
    """Mean of A over the disk of radius a centred at u from the lens, by a two-dimensional
    quadrature in polar coordinates about the disk centre (the disk does not reach the lens, so
    the integrand is smooth)."""
    with mpmath.workdps(REFERENCE_DPS):
        u, a = mpmath.mpf(u), mpmath.mpf(a)
        if a == 0:
            return +point_lens(u)

        def integrand(radius, angle):
            distance2 = u * u + radius * radius + 2 * u * radius * mpmath.cos(angle)
            return radius * point_lens(mpmath.sqrt(distance2))

        return mpmath.quad(integrand, [0, a], [0, mpmath.pi]) * 2 / (mpmath.pi * a * a)


def ulps(actual: float, expected: mpmath.mpf) -> float:
    return float(abs(mpmath.mpf(actual) - expected)) / math.ulp(float(expected))


@pytest.mark.parametrize("u", [0.3, 2.0, 30.0])
def test_exact_series_is_the_disk_average(u):
    """With its exact rational coefficients and a/u = 0.05 the omitted terms are below 1e-33, so
    the series must reproduce the 30-digit average to the accuracy of its quadrature (about
    1e-28): a wrong coefficient of any term up to about k = 10 would show."""
    generator = load_generator()
    a = 0.05 * u
    with mpmath.workdps(REFERENCE_DPS + 10):
        t = mpmath.mpf(u) ** 2
        p, q = t / (t + 4), 4 / (t + 4)
        ratio = mpmath.mpf(a) ** 2 / t
        series = 0
        for k, coefficients in enumerate(generator.series_coefficients(), start=1):
            degree = 2 * k - 1
            h = sum(
                mpmath.mpf(Fraction(c).numerator)
                / Fraction(c).denominator
                * p**j
                * q ** (degree - j)
                for j, c in enumerate(coefficients)
            )
            series += ratio**k * h
        value = (p + q / 2) / mpmath.sqrt(p) + (q / 4) * (mpmath.sqrt(p) / t) * series
    expected = disk_average(u, a)
    with mpmath.workdps(REFERENCE_DPS + 10):
        assert abs(value / expected - 1) < mpmath.mpf(10) ** (4 - REFERENCE_DPS)


@pytest.mark.parametrize("u", [0.01, 0.7, 2.0, 10.0, 1e3])
@pytest.mark.parametrize("ratio", [FAR_RATIO, 0.1, 1e-3, 0.0])
def test_routine_against_the_disk_average(testing_module, u, ratio):
    a = ratio * u
    value = testing_module.uniform_disk_magnification_far(u, a)
    assert ulps(value, disk_average(u, a)) <= 2


@pytest.mark.parametrize("rho", [1e-4, 1e-2, 1.0, 10.0])
@pytest.mark.parametrize("stretch", [1 - 1e-9, 1.0, 1 + 1e-9])
def test_no_step_where_the_closed_form_takes_over(testing_module, rho, stretch):
    """At the bound the closed form (the public uniform-disk magnification at s = 1/FAR_RATIO
    source radii) is still accurate to a few 1e-15, and the series must meet it there: a step
    would be amplified by the central difference of the disk family."""
    s = stretch / FAR_RATIO
    (closed_form,) = obrivane.witt_mao_magnification([s], 1.0, rho)
    series = testing_module.uniform_disk_magnification_far(s * rho, rho)
    assert abs(series / closed_form - 1) < 1e-14


@pytest.mark.parametrize("rho", [1e-3, 1.0])
def test_disk_family_far_from_the_lens(rho):
    """The limb-darkened disk family against a direct integral over the source. At s < 4 the
    switch to the series lies inside the source (at radius s/4); at s = 1000 and 10000 every
    inner disk is averaged by the series, where the closed form would cost about 1e-6 and 4e-5."""
    separations = [2.0, 3.0, 3.9, 1e3, 1e4]
    values = obrivane.integrated_witt_mao_magnification(separations, 1.0, rho)
    for s, value in zip(separations, values, strict=True):
        assert relative_error(value, profile_magnification(s, 1 / rho)) <= 1e-7, s


@pytest.mark.parametrize("u", [1e160, 1e300])
def test_routine_where_the_square_of_the_separation_overflows(testing_module, u):
    """Beyond u ~ 1e154, u^2 is infinite; the disk average is then the point-lens limit, 1."""
    assert testing_module.uniform_disk_magnification_far(u, 0.25 * u) == 1.0


@pytest.mark.parametrize("k", [1, 2, 5, 12])
@pytest.mark.parametrize("p", [0.001, 0.3, 0.97])
def test_slope_coefficients_differentiate_the_series_terms(k, p):
    """The series' derivative in u takes dH_k/dp - dH_k/dq from its own coefficients; they must be
    the partial derivatives of H_k (from its coefficients, by mpmath's numerical differentiation)
    at points of p + q = 1 across the range of p."""
    generator = load_generator()
    coefficients = generator.series_coefficients()[k - 1]
    slopes = generator.slope_coefficients()[k - 1]
    degree = 2 * k - 1

    def mp(c):
        return mpmath.mpf(Fraction(c).numerator) / Fraction(c).denominator

    with mpmath.workdps(40):
        p0 = mpmath.mpf(p)
        q0 = 1 - p0

        def h(x, y):
            return sum(mp(c) * x**j * y ** (degree - j) for j, c in enumerate(coefficients))

        expected = mpmath.diff(h, (p0, q0), (1, 0)) - mpmath.diff(h, (p0, q0), (0, 1))
        actual = sum(mp(c) * p0**j * q0 ** (degree - 1 - j) for j, c in enumerate(slopes))
        scale = sum(abs(mp(c)) for c in slopes)
        assert abs(actual - expected) <= mpmath.mpf(10) ** -30 * scale
