"""Fitting a finite-source point-lens event with scipy.optimize.least_squares.

A light curve is simulated from known parameters (t0, u0, tE, rho) with Gaussian noise on the
flux F = fs A + fb (source flux fs, blended flux fb); the fit recovers all six.
obrivane.fspl.uniform evaluates the uniform-disk magnification of every epoch in one call, so
each residual evaluation costs one call, not one per epoch.

Run: python examples/fit_event.py [number of epochs]
"""

import sys

import numpy as np
from obrivane import fspl
from scipy.optimize import least_squares

TRUE = {"t0": 8000.0, "u0": 0.008, "tE": 20.0, "rho": 0.015, "fs": 1.0, "fb": 0.2}
NAMES = list(TRUE)


def flux(parameters, t):
    t0, u0, tE, rho, fs, fb = parameters
    u = np.hypot(u0, (t - t0) / tE)
    return fs * fspl.uniform(u, rho) + fb


def simulate(epochs, noise=0.02, seed=1):
    rng = np.random.default_rng(seed)
    # Dense coverage of the peak, sparse wings.
    t = np.sort(
        np.concatenate(
            [
                rng.uniform(7960, 8040, epochs // 2),
                rng.uniform(7999.3, 8000.7, epochs - epochs // 2),
            ]
        )
    )
    truth = np.array(list(TRUE.values()))
    sigma = noise * flux(truth, t)
    return t, flux(truth, t) + rng.normal(0.0, sigma), sigma


def fit(t, observed, sigma):
    start = np.array([8000.1, 0.012, 15.0, 0.02, 0.8, 0.3])
    lower = [7990.0, 0.0, 1.0, 1e-4, 0.0, -1.0]
    upper = [8010.0, 1.0, 200.0, 0.2, 10.0, 10.0]
    result = least_squares(
        lambda p: (flux(p, t) - observed) / sigma, start, bounds=(lower, upper), x_scale="jac"
    )
    # Standard errors from the Jacobian at the solution.
    covariance = np.linalg.inv(result.jac.T @ result.jac)
    return result, np.sqrt(np.diag(covariance))


def main(epochs=400):
    t, observed, sigma = simulate(epochs)
    result, errors = fit(t, observed, sigma)
    print(
        f"{epochs} epochs, chi^2 = {2 * result.cost:.1f}"
        f" for {epochs - len(NAMES)} degrees of freedom"
    )
    print(f"{'':>4} {'true':>10} {'fitted':>10} {'error':>9}")
    for name, value, error in zip(NAMES, result.x, errors, strict=True):
        print(f"{name:>4} {TRUE[name]:10.5f} {value:10.5f} {error:9.5f}")


if __name__ == "__main__":
    main(*(int(argument) for argument in sys.argv[1:2]))
