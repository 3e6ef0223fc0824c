"""Fitting a real finite-source event: MOA-2008-BLG-310 (Janczak et al. 2010, ApJ 711, 731).

The photometry of seven telescopes (examples/data/MB08310/, from the NASA Exoplanet Archive)
is fitted with a point lens and a limb-darkened source of radius rho:

- magnitudes m are turned into fluxes F = 10^(-0.4 (m - 18)) with errors
  sigma_F = 0.4 ln(10) F sigma_m (each telescope has its own zero point: the 18 only keeps the
  numbers near 1);
- the model flux of telescope k is F = fs_k A(t) + fb_k, with its own source flux fs_k and
  blended flux fb_k; for given (t0, u0, tE, rho) these two enter linearly and are solved by
  weighted linear least squares, so the nonlinear fit has four parameters only;
- A(t) = obrivane.fspl.linear(u(t), rho, u1) with u(t) = sqrt(u0^2 + ((t - t0)/tE)^2), and u1
  the linear limb-darkening coefficient of the telescope's band (LIMB_DARKENING below).

The lens of this event has a sub-Saturn planet, whose signal is a short deviation while the
lens crosses the source; a single lens leaves it in the residuals, so the chi^2 per point here
is above what a binary lens reaches, while t0, u0, tE and rho come out near the published ones.

Run: python examples/fit_mb08310.py [--window DAYS] [--max-evaluations N]
"""

import argparse
import math
import pathlib

import numpy as np
import obrivane.fspl
from scipy.optimize import least_squares

DATA = pathlib.Path(__file__).resolve().parent / "data" / "MB08310"

# Linear limb-darkening coefficients u1 of I(mu) = 1 - u1 (1 - mu) by band, for a solar-type
# dwarf source (Teff ~ 5700 K, log g ~ 4.5, solar metallicity), after the tables of Claret
# (2000). MOA's broad red filter spans R and I: the mean of the two. The unfiltered Bronberg
# CCD peaks in the red: R.
LIMB_DARKENING = {"R": 0.62, "I": 0.53, "H": 0.33, "MOA-Red": 0.58, "unfiltered": 0.62}

# Band of each telescope: from the TIME_SERIES_DATA_FILTER of its file, except MOA, whose file
# says I for MOA's broad red filter.
BAND_OF_TELESCOPE = {"MOA": "MOA-Red"}

# Start of the fit (HJD - 2450000 for t0; u0 and rho in Einstein radii; tE in days), read from
# the light curve: the peak near HJD 2454656.4 and a magnification of a few hundred.
START = {"t0": 4656.40, "u0": 0.003, "tE": 10.0, "rho": 0.004}
NAMES = list(START)


def read_table(path):
    """(header dictionary, columns HJD - 2450000, magnitude, magnitude error) of one file."""
    header, rows = {}, []
    for line in path.read_text().splitlines():
        if line.startswith("\\"):
            key, _, value = line[1:].partition("=")
            header[key.strip()] = value.strip().strip('"')
        elif line.strip() and not line.startswith("|"):
            rows.append([float(field) for field in line.split()[:3]])
    hjd, magnitude, error = np.array(rows).T
    return header, hjd - 2450000.0, magnitude, error


class Telescope:
    """The photometry of one telescope, in fluxes."""

    def __init__(self, path, window=None):
        header, t, magnitude, error = read_table(path)
        self.name = path.name.split("_0300089")[0]
        self.band = BAND_OF_TELESCOPE.get(self.name, header["TIME_SERIES_DATA_FILTER"])
        self.u1 = LIMB_DARKENING[self.band]
        keep = np.ones(len(t), bool) if window is None else np.abs(t - START["t0"]) < window
        self.t = t[keep]
        self.flux = 10.0 ** (-0.4 * (magnitude[keep] - 18.0))
        self.sigma = 0.4 * math.log(10.0) * self.flux * error[keep]


def load(window=None):
    """Every telescope with at least three epochs within window days of the peak (all epochs
    without a window)."""
    telescopes = [Telescope(path, window) for path in sorted(DATA.glob("*.tbl"))]
    return [telescope for telescope in telescopes if len(telescope.t) >= 3]


def magnification(parameters, telescope):
    t0, u0, tE, rho = parameters
    u = np.hypot(u0, (telescope.t - t0) / tE)
    return obrivane.fspl.linear(u, rho, telescope.u1)


def fluxes(a, telescope):
    """(fs, fb) minimising chi^2 of fs a + fb against the telescope's fluxes."""
    weight = 1.0 / telescope.sigma
    design = np.column_stack([a * weight, weight])
    (fs, fb), *_ = np.linalg.lstsq(design, telescope.flux * weight, rcond=None)
    return fs, fb


def residuals(parameters, telescopes):
    chunks = []
    for telescope in telescopes:
        a = magnification(parameters, telescope)
        fs, fb = fluxes(a, telescope)
        chunks.append((fs * a + fb - telescope.flux) / telescope.sigma)
    return np.concatenate(chunks)


def fit(telescopes, max_evaluations=None, start=None):
    """least_squares over (t0, u0, tE, rho), the fluxes solved at each step."""
    start = np.array(list((start or START).values()))
    lower = [4655.0, 0.0, 1.0, 1e-4]
    upper = [4658.0, 0.1, 100.0, 0.05]
    return least_squares(
        residuals,
        start,
        args=(telescopes,),
        bounds=(lower, upper),
        x_scale=[1e-3, 1e-4, 1.0, 1e-4],
        max_nfev=max_evaluations,
    )


def standard_errors(result):
    """Standard errors of (t0, u0, tE, rho) from the Jacobian at the solution (the fluxes
    solved at each step, so their uncertainty is included)."""
    return np.sqrt(np.diag(np.linalg.inv(result.jac.T @ result.jac)))


def report(result, telescopes):
    points = sum(len(telescope.t) for telescope in telescopes)
    chi2 = 2 * result.cost
    free = 4 + 2 * len(telescopes)
    print(f"{points} points from {len(telescopes)} telescopes, {result.nfev} evaluations")
    print(f"chi^2 = {chi2:.1f} for {points - free} degrees of freedom, {chi2 / points:.2f} a point")
    units = {"t0": "HJD - 2450000", "u0": "Einstein radii", "tE": "days", "rho": "Einstein radii"}
    for name, value, error in zip(NAMES, result.x, standard_errors(result), strict=True):
        decimals = max(0, 1 - math.floor(math.log10(error)))  # two digits of the error
        print(f"{name:>4} = {value:.{decimals}f} +- {error:.{decimals}f} ({units[name]})")
    print(f"{'telescope':>10} {'band':>10} {'u1':>5} {'points':>6} {'fs':>9} {'fb':>9} {'chi2':>8}")
    for telescope in telescopes:
        a = magnification(result.x, telescope)
        fs, fb = fluxes(a, telescope)
        chi2_telescope = np.sum(((fs * a + fb - telescope.flux) / telescope.sigma) ** 2)
        print(
            f"{telescope.name:>10} {telescope.band:>10} {telescope.u1:5.2f}"
            f" {len(telescope.t):6d} {fs:9.4f} {fb:9.4f} {chi2_telescope:8.1f}"
        )


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument(
        "--window",
        type=float,
        help="use only epochs this many days from t0 (tE rests on the baseline: a window of a"
        " few days leaves it loose)",
    )
    parser.add_argument("--max-evaluations", type=int, help="stop least_squares after these")
    arguments = parser.parse_args()
    telescopes = load(arguments.window)
    result = fit(telescopes, arguments.max_evaluations)
    report(result, telescopes)


if __name__ == "__main__":
    main()
