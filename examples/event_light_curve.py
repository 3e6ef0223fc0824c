"""Light curve of a point-lens event from its parameters (t0, u0, tE, rho), with NumPy.

The lens and the source move on a straight line relative to each other: at time t the
separation in Einstein radii is u(t) = sqrt(u0^2 + ((t - t0)/tE)^2). obrivane.fspl takes u and
the source radius rho in Einstein radii, so a whole light curve is one call on the array u.

Run: python examples/event_light_curve.py [number of epochs]
"""

import sys

import numpy as np
from obrivane import fspl


def magnification(t, t0, u0, tE, rho, u1=None):
    """Magnification at the times t (a NumPy array, any time unit shared with t0 and tE).

    u0 and rho are in Einstein radii; the source is uniform or, given u1, follows the linear
    limb-darkening law I(mu) = 1 - u1 (1 - mu)."""
    u = np.hypot(u0, (np.asarray(t, dtype=float) - t0) / tE)
    if u1 is None:
        return fspl.uniform(u, rho)
    return fspl.linear(u, rho, u1)


def main(epochs=41):
    t0, u0, tE, rho = 7000.0, 0.01, 25.0, 0.02  # days, Einstein radii, days, Einstein radii
    t = np.linspace(t0 - 1.0, t0 + 1.0, epochs)
    uniform = magnification(t, t0, u0, tE, rho)
    limb_darkened = magnification(t, t0, u0, tE, rho, u1=0.6)
    print(f"t0 = {t0}, u0 = {u0}, tE = {tE} d, rho = {rho}; limb darkening u1 = 0.6")
    print(f"{'t - t0 (d)':>11} {'u':>9} {'uniform':>10} {'limb-dark':>10}")
    for time, a_uniform, a_limb in zip(t, uniform, limb_darkened, strict=True):
        u = np.hypot(u0, (time - t0) / tE)
        print(f"{time - t0:11.4f} {u:9.5f} {a_uniform:10.4f} {a_limb:10.4f}")


if __name__ == "__main__":
    main(*(int(argument) for argument in sys.argv[1:2]))
