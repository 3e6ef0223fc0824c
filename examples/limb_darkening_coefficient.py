"""Any linear limb-darkening coefficient from the two built-in results.

For the linear law I(mu) = 1 - c (1 - mu) = (1 - c) + c mu, mu = sqrt(1 - x^2), the
magnification is the flux-weighted mean of the magnifications of its two parts: a uniform disk
(A_U, flux pi) and the profile I = mu (A_mu, flux 2 pi / 3). The total flux is pi (1 - c/3), so

    A_c = ((1 - c) A_U + (2c/3) A_mu) / (1 - c/3).

The built-in limb-darkened result is this with c = 0.6, A_0.6 = (A_U + A_mu) / 2, so
A_mu = 2 A_0.6 - A_U, and two calls give every coefficient exactly (to rounding).

Run: python examples/limb_darkening_coefficient.py
"""

import numpy as np
import obrivane


def linear_limb_darkening(separations, re, rstar, c):
    """Magnifications of a source with the linear law of coefficient c (0 <= c <= 1, or an
    array of coefficients broadcast against the separations)."""
    a_uniform = np.array(obrivane.witt_mao_magnification(separations, re, rstar))
    a_builtin = np.array(obrivane.integrated_witt_mao_magnification(separations, re, rstar))
    a_mu = 2.0 * a_builtin - a_uniform
    c = np.asarray(c, dtype=float)
    return ((1.0 - c) * a_uniform + (2.0 * c / 3.0) * a_mu) / (1.0 - c / 3.0)


def tabulated_linear_law(separations, re, rstar, c, rows=2001):
    """The same from a table of the law, sampled densely near the limb, for comparison."""
    x = np.sin(np.pi * np.arange(rows) / (2 * (rows - 1)))
    brightness = 1.0 - c * (1.0 - np.sqrt(np.clip(1.0 - x * x, 0.0, None)))
    return np.array(
        obrivane.integrated_flux_map_witt_mao_magnification(separations, re, rstar, x, brightness)
    )


def main():
    rho = 0.05
    separations = np.array([0.0, 0.5, 0.9, 1.1, 2.0, 5.0])
    print(f"source radius {rho} Einstein radii; separations in source radii")
    print(f"{'c':>5} {'l':>5} {'from two results':>17} {'from a table':>14} {'difference':>11}")
    for c in (0.0, 0.3, 0.6, 0.9):
        exact = linear_limb_darkening(separations, 1.0, rho, c)
        table = tabulated_linear_law(separations, 1.0, rho, c)
        for separation, a, b in zip(separations, exact, table, strict=True):
            print(f"{c:5.2f} {separation:5.2f} {a:17.10f} {b:14.10f} {(b - a) / a:11.2e}")


if __name__ == "__main__":
    main()
