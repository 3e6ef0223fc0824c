"""examples/light_curve.py runs as a user runs it and prints a sensible light curve."""

import importlib.util
import math
import os
import pathlib
import subprocess
import sys

import obrivane
import pytest
from profile_reference import point_lens, profile_magnification, uniform_disk_magnification

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "light_curve.py"
SOURCE_RADIUS = 0.05
IMPACT_PARAMETER = 0.02


@pytest.fixture(scope="module")
def run(tmp_path_factory):
    directory = tmp_path_factory.mktemp("example")
    # The example imports obrivane from wherever this test process found it.
    module_directory = str(pathlib.Path(obrivane.__file__).resolve().parent)
    search_path = os.pathsep.join(filter(None, [module_directory, os.environ.get("PYTHONPATH")]))
    completed = subprocess.run(
        [sys.executable, str(EXAMPLE)],
        cwd=directory,
        env=dict(os.environ, PYTHONPATH=search_path),
        capture_output=True,
        text=True,
        timeout=120,
    )
    return completed, directory


@pytest.fixture(scope="module")
def table(run):
    completed, _ = run
    assert completed.returncode == 0, completed.stderr
    rows = []
    for line in completed.stdout.splitlines():
        fields = line.split()
        try:
            rows.append([float(field) for field in fields])
        except ValueError:
            continue
    assert len(rows) >= 11
    assert all(len(row) == 6 for row in rows)
    return rows


def test_runs_cleanly(run):
    completed, _ = run
    assert completed.returncode == 0, completed.stderr
    assert completed.stderr == ""


def test_columns_are_consistent(table):
    for time, u, point, uniform, limb_darkened, ratio in table:
        assert u == pytest.approx(math.hypot(IMPACT_PARAMETER, time), abs=1e-5)
        assert point == pytest.approx(point_lens(math.hypot(IMPACT_PARAMETER, time)), rel=1e-5)
        assert ratio == pytest.approx(limb_darkened / uniform, rel=2e-4)
        assert uniform > 1 and limb_darkened > 1


def test_symmetric_about_closest_approach(table):
    for row, mirrored in zip(table, reversed(table), strict=True):
        assert row[0] == -mirrored[0]
        assert row[1:] == mirrored[1:]


def test_finite_source_physics(table):
    centre = min(table, key=lambda row: abs(row[0]))
    time, u, point, uniform, limb_darkened, ratio = centre
    # With the lens over the disk the finite source caps the magnification below the point
    # source's, and limb darkening raises it (brighter centre); the peak is at closest approach.
    assert time == 0.0 and u == pytest.approx(IMPACT_PARAMETER)
    assert uniform < point and limb_darkened < point
    assert ratio > 1.03
    assert uniform == max(row[3] for row in table)
    assert limb_darkened == max(row[4] for row in table)
    # Near the limb crossing the limb-darkened source is fainter where the lens is.
    crossing = min(table, key=lambda row: abs(row[1] - SOURCE_RADIUS))
    assert crossing[5] < 0.99
    # Far out the two sources look alike again.
    outermost = max(table, key=lambda row: row[1])
    assert abs(outermost[5] - 1) < 1e-2


def test_values_agree_with_the_source_integral(table):
    # The closest approach against a direct integral over the source.
    centre = min(table, key=lambda row: abs(row[0]))
    separation = centre[1] / SOURCE_RADIUS
    einstein_radius = 1 / SOURCE_RADIUS
    assert centre[3] == pytest.approx(
        uniform_disk_magnification(separation, einstein_radius), abs=1e-4
    )
    assert centre[4] == pytest.approx(profile_magnification(separation, einstein_radius), abs=1e-4)


def test_plot(run):
    completed, directory = run
    if importlib.util.find_spec("matplotlib") is None:
        assert "matplotlib is not installed" in completed.stdout
        assert not (directory / "light_curve.png").exists()
    else:
        png = directory / "light_curve.png"
        assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
