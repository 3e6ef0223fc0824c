import math
import os
import pathlib
import sys

import pytest

# The table generators of tools/ import their shared rendering helper as a sibling module.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tools"))

try:
    from hypothesis import HealthCheck, Phase, settings
except ImportError:  # the property-based tests then skip
    settings = None

if settings is not None:
    # The test command runs a fixed, bounded set of examples: the same on every run, and a small
    # share of the suite's time. It reports the first failing example as found, without the
    # search for a smaller one; OBRIVANE_HYPOTHESIS=explore draws fresh examples, many more, and
    # shrinks what fails.
    settings.register_profile(
        "ci",
        derandomize=True,
        phases=[Phase.explicit, Phase.reuse, Phase.generate],
        max_examples=100,
        deadline=None,
        database=None,
        suppress_health_check=[HealthCheck.too_slow],
        print_blob=True,
    )
    settings.register_profile("explore", max_examples=2000, deadline=None)
    settings.load_profile(os.environ.get("OBRIVANE_HYPOTHESIS", "ci"))


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
