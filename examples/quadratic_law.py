"""A quadratic limb-darkening law through a tabulated profile, and how many rows it needs.

I(mu) = 1 - a (1 - mu) - b (1 - mu)^2, mu = sqrt(1 - x^2), is passed as a table (bl, bf) of
radii x_k and brightnesses I(x_k); obrivane interpolates it linearly between the rows. Near the
limb mu falls like sqrt(1 - x), which a straight line through evenly spaced rows follows
badly; rows at x_k = sin(pi k / (2 (n - 1))) crowd towards the limb and follow it well.

The reference is independent of any table: the thin-ring magnification integrated over the
source radius with scipy.integrate.quad, A = int 2 pi x I(x) A_ring(x) dx / int 2 pi x I(x) dx.

Run: python examples/quadratic_law.py
"""

import numpy as np
import obrivane
from scipy import integrate

A, B = 0.4, 0.25  # a typical quadratic law in the optical


def brightness(x, a=A, b=B):
    one_minus_mu = 1.0 - np.sqrt(np.clip(1.0 - np.square(x), 0.0, None))
    return 1.0 - a * one_minus_mu - b * one_minus_mu**2


def uniform_rows(n):
    return np.linspace(0.0, 1.0, n)


def limb_dense_rows(n):
    return np.sin(np.pi * np.arange(n) / (2 * (n - 1)))


def tabulated(separations, re, rstar, radii, a=A, b=B):
    """Magnifications of the law from a table of the given rows."""
    return np.array(
        obrivane.integrated_flux_map_heyrovsky_magnification(
            separations, re, rstar, radii, brightness(radii, a, b)
        )
    )


def reference(separation, re, rstar, a=A, b=B):
    """The source integral over thin rings, for one separation (in source radii)."""
    # The ring through the lens (radius = separation) has a logarithmic peak: split there.
    points = [separation] if 0.0 < separation < 1.0 else None

    def ring(x):
        return (
            2
            * np.pi
            * x
            * brightness(x, a, b)
            * obrivane.heyrovsky_magnification(separation, x, re, rstar)
        )

    numerator = integrate.quad(ring, 0.0, 1.0, points=points, epsabs=0.0, epsrel=1e-12, limit=500)[
        0
    ]
    flux = integrate.quad(lambda x: 2 * np.pi * x * brightness(x, a, b), 0.0, 1.0, epsrel=1e-13)[0]
    return numerator / flux


def accuracy_table(
    rows=(5, 10, 20, 50, 100, 200), separations=(0.0, 0.5, 0.95, 1.05, 2.0), rho=0.05
):
    """The largest relative error over the separations, for each number of rows and sampling."""
    expected = np.array([reference(s, 1.0, rho) for s in separations])
    table = []
    for n in rows:
        errors = [
            np.max(np.abs(tabulated(separations, 1.0, rho, sampling(n)) / expected - 1.0))
            for sampling in (uniform_rows, limb_dense_rows)
        ]
        table.append((n, *errors))
    return table


def main():
    print(f"quadratic law a = {A}, b = {B}; largest relative error against the ring integral")
    print(f"{'rows':>6} {'uniform rows':>14} {'limb-dense rows':>16}")
    for n, uniform_error, limb_dense_error in accuracy_table():
        print(f"{n:6d} {uniform_error:14.2e} {limb_dense_error:16.2e}")


if __name__ == "__main__":
    main()
