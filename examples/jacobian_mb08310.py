"""Least squares with the analytic Jacobian, against numerical differences, on MOA-2008-BLG-310.

The photometry of the seven telescopes (examples/data/MB08310/, read as in fit_mb08310.py) is
fitted with a point lens and a limb-darkened source, every parameter at once: (t0, u0, tE, rho)
and each telescope's source and blended fluxes (fs_k, fb_k), 18 in all. The residual of a point
of telescope k at time t is

    r = (fs_k A(u(t), rho; u1_k) + fb_k - F) / sigma,  u(t) = sqrt(u0^2 + ((t - t0) / tE)^2),

and its Jacobian follows from the chain rule, with the partial derivatives dA/du and dA/drho of
obrivane.fspl.linear_and_gradient (exact, from the same integrals as the magnification):

    dr/dt0 = fs_k/sigma dA/du (-(t - t0)/tE^2)/u     dr/du0 = fs_k/sigma dA/du u0/u
    dr/dtE = fs_k/sigma dA/du (-(t - t0)^2/tE^3)/u   dr/drho = fs_k/sigma dA/drho
    dr/dfs_k = A/sigma                               dr/dfb_k = 1/sigma

scipy.optimize.least_squares runs the same fit twice from the same start, once with this
Jacobian and once with its default forward differences ('2-point', one more evaluation of the
residuals per parameter for every Jacobian), and the script prints the evaluations of each, the
magnifications computed and the wall time to the same chi^2.

Run: python examples/jacobian_mb08310.py [--window DAYS] [--repeat N]
"""

import argparse
import os
import pathlib
import sys
import time

# One BLAS thread: the matrices of least_squares are small (points x 18), and BLAS threads
# spinning beside the magnification kernels' worker pool slow every SVD by up to a hundred times
# on a busy machine. Only in effect when NumPy is first imported here (the script run as such).
for _variable in ("OPENBLAS_NUM_THREADS", "OMP_NUM_THREADS", "MKL_NUM_THREADS"):
    os.environ.setdefault(_variable, "1")

import numpy as np  # noqa: E402
from obrivane import fspl  # noqa: E402
from scipy.optimize import least_squares  # noqa: E402

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import fit_mb08310 as event  # noqa: E402  (the data, the start and the limb darkening)

LOWER_EVENT = [4655.0, 0.0, 1.0, 1e-4]
UPPER_EVENT = [4658.0, 0.1, 100.0, 0.05]
SCALE_EVENT = [1e-3, 1e-4, 1.0, 1e-4]


class Photometry:
    """Every telescope's points in one set of arrays, with the telescope of each point."""

    def __init__(self, telescopes):
        self.telescopes = telescopes
        self.t = np.concatenate([s.t for s in telescopes])
        self.flux = np.concatenate([s.flux for s in telescopes])
        self.sigma = np.concatenate([s.sigma for s in telescopes])
        self.u1 = np.concatenate([np.full(len(s.t), s.u1) for s in telescopes])
        self.index = np.concatenate([np.full(len(s.t), k) for k, s in enumerate(telescopes)])
        self.count = {"values": 0, "gradients": 0}  # magnifications computed, by kind

    def separation(self, t0, u0, tE):
        tau = (self.t - t0) / tE
        return tau, np.hypot(u0, tau)

    def residuals(self, parameters):
        t0, u0, tE, rho = parameters[:4]
        fs, fb = parameters[4::2][self.index], parameters[5::2][self.index]
        _, u = self.separation(t0, u0, tE)
        a = fspl.linear(u, rho, self.u1)
        self.count["values"] += len(u)
        return (fs * a + fb - self.flux) / self.sigma

    def jacobian(self, parameters):
        """d residuals / d parameters, (points, 4 + 2 telescopes), by the chain rule."""
        t0, u0, tE, rho = parameters[:4]
        fs = parameters[4::2][self.index]
        tau, u = self.separation(t0, u0, tE)
        a, da_du, da_drho, _ = fspl.linear_and_gradient(u, rho, self.u1)
        self.count["gradients"] += len(u)
        # du/d(t0, u0, tE); at u = 0 (the lens on the centre of the source) dA/du is 0.
        inverse_u = np.divide(1.0, u, out=np.zeros_like(u), where=u > 0)
        du = np.column_stack([-tau / tE * inverse_u, u0 * inverse_u, -(tau**2) / tE * inverse_u])
        jacobian = np.zeros((len(u), len(parameters)))
        weight = fs / self.sigma
        jacobian[:, :3] = (weight * da_du)[:, None] * du
        jacobian[:, 3] = weight * da_drho
        rows = np.arange(len(u))
        jacobian[rows, 4 + 2 * self.index] = a / self.sigma
        jacobian[rows, 5 + 2 * self.index] = 1.0 / self.sigma
        return jacobian

    def start(self):
        """START of fit_mb08310, with each telescope's fluxes solved there."""
        event_start = np.array(list(event.START.values()))
        fluxes = []
        for telescope in self.telescopes:
            fluxes += list(event.fluxes(event.magnification(event_start, telescope), telescope))
        return np.concatenate([event_start, fluxes])


def fit(photometry, jacobian):
    """least_squares over all 18 parameters, with jac=jacobian ('2-point' or a callable)."""
    k = len(photometry.telescopes)
    lower = LOWER_EVENT + [0.0, -10.0] * k
    upper = UPPER_EVENT + [10.0, 10.0] * k
    scale = SCALE_EVENT + [1e-2, 1e-2] * k
    return least_squares(
        photometry.residuals,
        photometry.start(),
        jac=jacobian,
        bounds=(lower, upper),
        x_scale=scale,
    )


def compare(telescopes, repeat=1):
    """{"analytic": ..., "differences": ...}: each the result, its evaluations and its best wall
    time over `repeat` runs."""
    outcome = {}
    for label in ("analytic", "differences"):
        times = []
        for _ in range(repeat):
            photometry = Photometry(telescopes)
            jacobian = photometry.jacobian if label == "analytic" else "2-point"
            start = time.perf_counter()
            result = fit(photometry, jacobian)
            times.append(time.perf_counter() - start)
        # least_squares counts the residuals it asked for (nfev) and the Jacobians (njev), not
        # the residual evaluations of its numerical differences; the photometry counts every
        # magnification computed.
        outcome[label] = {
            "result": result,
            "chi2": 2 * result.cost,
            "seconds": min(times),
            "nfev": result.nfev,
            "njev": result.njev,
            "values": photometry.count["values"],
            "gradients": photometry.count["gradients"],
        }
    return outcome


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--window", type=float, help="use only epochs this many days from t0")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each fit (best time)")
    arguments = parser.parse_args()
    telescopes = event.load(arguments.window)
    points = sum(len(telescope.t) for telescope in telescopes)
    parameters = 4 + 2 * len(telescopes)
    print(f"{points} points from {len(telescopes)} telescopes, {parameters} parameters")
    outcome = compare(telescopes, arguments.repeat)
    print(
        f"{'Jacobian':>12} {'chi2':>10} {'nfev':>5} {'njev':>5} {'values':>9}"
        f" {'gradients':>9} {'seconds':>8}"
    )
    for label, row in outcome.items():
        print(
            f"{label:>12} {row['chi2']:10.3f} {row['nfev']:5d} {row['njev']:5d}"
            f" {row['values']:9d} {row['gradients']:9d} {row['seconds']:8.3f}"
        )
    analytic, differences = outcome["analytic"], outcome["differences"]
    print(
        f"same minimum: chi2 differs by {abs(analytic['chi2'] - differences['chi2']):.2g};"
        f" the analytic Jacobian is {differences['seconds'] / analytic['seconds']:.1f} times"
        " faster"
    )
    t0, u0, tE, rho = analytic["result"].x[:4]
    print(f"t0 = {t0:.6f}, u0 = {u0:.5f}, tE = {tE:.3f}, rho = {rho:.5f}")


if __name__ == "__main__":
    main()
