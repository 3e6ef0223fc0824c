"""The real-data recipe: the MOA-2008-BLG-310 photometry is read whole, and the fit of a
limb-darkened point lens lands near the published event (Janczak et al. 2010) with a chi^2 a
single lens can reach on a planetary event. The fits take about a second each."""

import copy
import math

import numpy as np
import pytest
from example_loader import load_example


@pytest.fixture(scope="module")
def example():
    return load_example("fit_mb08310")


@pytest.fixture(scope="module")
def telescopes(example):
    return example.load()


@pytest.fixture(scope="module")
def result(example, telescopes):
    return example.fit(telescopes, max_evaluations=60)


def test_every_file_is_read_whole(example, telescopes):
    assert len(telescopes) == 7
    for telescope in telescopes:
        path = next(example.DATA.glob(f"{telescope.name}_*.tbl"))
        header, *_ = example.read_table(path)
        assert len(telescope.t) == int(header["NUMBER_OF_POINTS"]), telescope.name
        assert np.all(telescope.flux > 0) and np.all(telescope.sigma > 0)
    assert {t.name: t.band for t in telescopes}["MOA"] == "MOA-Red"
    assert {t.name: t.u1 for t in telescopes}["CTIO_H"] < {t.name: t.u1 for t in telescopes}["Auck"]


def test_magnitudes_become_fluxes_with_their_errors(example):
    telescope = example.Telescope(example.DATA / "Danish_0300089_PLC_006.tbl")
    _, t, magnitude, error = example.read_table(example.DATA / "Danish_0300089_PLC_006.tbl")
    # One magnitude brighter is 10^0.4 times the flux; sigma_F / F = ln(10)/2.5 sigma_m.
    ratio = telescope.flux[1:] / telescope.flux[:-1]
    np.testing.assert_allclose(ratio, 10.0 ** (-0.4 * np.diff(magnitude)), rtol=1e-12)
    np.testing.assert_allclose(telescope.sigma / telescope.flux, error * math.log(10) / 2.5)


def test_fit_lands_on_the_published_event(result, telescopes):
    assert result.success
    points = sum(len(telescope.t) for telescope in telescopes)
    # The planet's deviation during the source crossing stays in a single lens's residuals:
    # 1.25 a point here.
    assert 2 * result.cost / points < 1.4
    t0, u0, tE, rho = result.x
    # Janczak et al. (2010): peak at HJD 2454656.399, tE near 11 days, rho near 5e-3.
    assert t0 == pytest.approx(4656.399, abs=1e-3)
    assert 10.0 < tE < 13.0
    assert 4.2e-3 < rho < 5.4e-3
    assert u0 < rho  # the lens crosses the face of the source


def test_fit_is_reached_from_another_start(example, telescopes, result):
    other = example.fit(telescopes, start={"t0": 4656.5, "u0": 0.01, "tE": 20.0, "rho": 0.002})
    np.testing.assert_allclose(other.x, result.x, rtol=1e-5)


def test_limb_darkening_is_preferred_by_the_data(example, telescopes, result):
    uniform = [copy.copy(telescope) for telescope in telescopes]
    for telescope in uniform:
        telescope.u1 = 0.0
    fit = example.fit(uniform, max_evaluations=60)
    # A uniform source fits the crossing of the limb worse by several hundred in chi^2 (880
    # here), far beyond what the four parameters could absorb.
    assert 2 * fit.cost - 2 * result.cost > 400
