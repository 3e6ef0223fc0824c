"""Tables exact at their edges: narrow rings, steps, near-duplicate radii (slopes of 5e8) and
limb-crowded tables of up to 10^4 rows at source radii up to 10^3, against the radial integral
of the interpolated table at 24 digits (tests/tabulated_ring_reference.py, cached in
tests/tabulated_edge_references.json by tools/generate_tabulated_edge_references.py). The bound
is 1e-12 of A, and 1e-9 of A - 1 where 1e-5 <= A - 1 <= 1e-3 (a large source, whose whole signal
is A - 1).

s is the separation of the source centre from the lens in source radii, rho the source radius in
Einstein radii.
"""

import json
import pathlib

import mpmath
import numpy as np
import obrivane
import pytest
import tabulated_edge_cases
import tabulated_ring_reference
from obrivane import fspl
from profile_reference import ring_average

REFERENCES = json.loads(
    (pathlib.Path(__file__).resolve().parents[1] / "tabulated_edge_references.json").read_text()
)


def errors(value, a_minus_one):
    """Relative errors of A and of A - 1, from the 24-digit A - 1."""
    error = mpmath.mpf(value) - 1 - a_minus_one
    return float(abs(error / (1 + a_minus_one))), float(abs(error / a_minus_one))


def check(value, a_minus_one, where):
    on_a, on_a_minus_one = errors(value, a_minus_one)
    assert on_a <= 1e-12, where
    if 1e-5 <= a_minus_one <= 1e-3:
        assert on_a_minus_one <= 1e-9, where


@pytest.mark.parametrize("name", sorted({entry["table"] for entry in REFERENCES}))
def test_edges_against_the_radial_integral(name):
    bl, bf = tabulated_edge_cases.table(name)
    entries = [entry for entry in REFERENCES if entry["table"] == name]
    for rho in sorted({entry["rho"] for entry in entries}):
        here = [entry for entry in entries if entry["rho"] == rho]
        separations = [entry["s"] for entry in here]
        expected = [mpmath.mpf(entry["a_minus_one"]) for entry in here]
        for function in (
            obrivane.integrated_flux_map_witt_mao_magnification,
            obrivane.integrated_flux_map_heyrovsky_magnification,
        ):
            values = function(separations, 1.0, rho, bl, bf)
            for s, value, a_minus_one in zip(separations, values, expected, strict=True):
                check(value, a_minus_one, (name, rho, s))
        # The ufunc shares the evaluation: at u = s rho.
        values = fspl.tabulated(np.array(separations) * rho, rho, bl, bf)
        for s, value, a_minus_one in zip(separations, values, expected, strict=True):
            check(float(value), a_minus_one, ("fspl.tabulated", name, rho, s))


def test_every_case_has_a_reference():
    cached = {(entry["table"], entry["rho"], entry["s"]) for entry in REFERENCES}
    wanted = {
        (name, rho, s) for name, rho, separations in tabulated_edge_cases.CASES for s in separations
    }
    assert cached == wanted


@pytest.mark.parametrize(
    ("s", "r", "rho"),
    [
        (0.3, 0.5, 10.0),
        (0.5, 0.5 + 1e-7, 100.0),
        (0.5, 0.5 - 1e-4, 0.01),
        (2.0, 1.0, 0.3),
        (1.0, 0.999, 1000.0),
    ],
)
def test_closed_form_ring_against_the_angular_average(s, r, rho):
    # The Carlson form of the reference against the mean of A over the ring by quadrature, A - 1
    # from 1e-4 to 700, the ring 1e-7 from the lens and a large source with the lens inside it.
    with mpmath.workdps(tabulated_ring_reference.DPS):
        closed = tabulated_ring_reference.ring_minus_one(mpmath.mpf(s) * rho, mpmath.mpf(r) * rho)
        averaged = ring_average(s, r, 1 / rho) - 1
        # ring_average's quadrature is good to about 1e-17 of A; the reference needs A - 1.
        assert abs(closed - averaged) <= mpmath.mpf(10) ** -15 * abs(averaged)


def test_cached_references_where_cheap_to_rederive():
    # Beyond the limb no panel reaches the lens ring, and a reference takes a fraction of a
    # second: those are derived again here, the rest by the generator's --check.
    cheap = [entry for entry in REFERENCES if entry["s"] > 1]
    assert len(cheap) >= 4
    for entry in cheap:
        bl, bf = tabulated_edge_cases.table(entry["table"])
        fresh = tabulated_ring_reference.magnification_minus_one(entry["s"], entry["rho"], bl, bf)
        # To the digits stored, whatever mpmath's working precision outside the reference.
        stored = entry["a_minus_one"]
        digits = len(stored.split("e")[0].replace(".", "").replace("-", "").lstrip("0"))
        with mpmath.workdps(digits + 10):
            assert abs(fresh - mpmath.mpf(stored)) <= mpmath.mpf(10) ** (1 - digits) * abs(fresh)
