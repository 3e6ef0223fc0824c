import math

import pytest


def ulp_error(actual: float, expected) -> float:
    """Distance of a binary64 result from a high-precision reference, in units in the last
    place of the reference (expected may be an mpmath number)."""
    expected_float = float(expected)
    if math.isinf(expected_float) or math.isnan(expected_float):
        return (
            0.0
            if actual == expected_float or (math.isnan(actual) and math.isnan(expected_float))
            else math.inf
        )
    spacing = math.ulp(expected_float)
    try:
        import mpmath

        return float(abs(mpmath.mpf(actual) - mpmath.mpf(expected)) / spacing)
    except ImportError:
        return abs(actual - expected_float) / spacing


@pytest.fixture(scope="session")
def testing_module():
    return pytest.importorskip("_obrivane_testing")
