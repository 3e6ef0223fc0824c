"""Light curve of a microlensing event in which a point-mass lens crosses the face of the source
star, for a uniformly bright and for a limb-darkened source.

The source has a radius of 0.05 Einstein radii and the lens passes 0.02 Einstein radii from its
centre, so for a while the lens is inside the disk. A point source would be magnified without
bound as the separation shrinks; a finite source caps the magnification, and limb darkening
(brightness falling from the centre to the limb, here the linear law with coefficient 0.6)
raises it while the lens is over the bright centre and lowers it near the limb crossings.

Prints a short table and, if matplotlib is installed, saves the curves to light_curve.png in
the current directory.
"""

import numpy as np
from obrivane import fspl

SOURCE_RADIUS = 0.05  # rho, in Einstein radii
IMPACT_PARAMETER = 0.02  # closest approach of lens and source centre, in Einstein radii
LIMB_DARKENING = 0.6  # u1 of the linear law I(mu) = 1 - u1 (1 - mu)


def light_curves(time):
    """Magnifications at the given times, in units of the Einstein-radius crossing time from the
    closest approach (the relative motion is a straight line)."""
    u = np.hypot(IMPACT_PARAMETER, time)
    uniform = fspl.uniform(u, SOURCE_RADIUS)
    limb_darkened = fspl.linear(u, SOURCE_RADIUS, LIMB_DARKENING)
    return u, fspl.point_source(u), uniform, limb_darkened


def print_table(time):
    u, point, uniform, limb_darkened = light_curves(time)
    print(f"source radius {SOURCE_RADIUS} and impact parameter {IMPACT_PARAMETER} Einstein radii")
    print(f"{'time':>8} {'u':>8} {'point':>10} {'uniform':>10} {'limb-dark':>10} {'ratio':>9}")
    for row in zip(time, u, point, uniform, limb_darkened, limb_darkened / uniform, strict=True):
        t, separation, a_point, a_uniform, a_limb, ratio = row
        print(
            f"{t:8.4f} {separation:8.5f} {a_point:10.4f} {a_uniform:10.4f} {a_limb:10.4f}"
            f" {ratio:9.6f}"
        )


def plot(time, path="light_curve.png"):
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot")
        return
    u, point, uniform, limb_darkened = light_curves(time)
    figure, (curves, ratio) = plt.subplots(
        2, 1, sharex=True, figsize=(7, 6), gridspec_kw={"height_ratios": [3, 1]}
    )
    curves.plot(time, point, ":", color="grey", label="point source")
    curves.plot(time, uniform, label="uniform source")
    curves.plot(time, limb_darkened, label="limb-darkened source")
    curves.set_ylim(0, 1.3 * limb_darkened.max())
    curves.set_ylabel("magnification")
    curves.legend()
    ratio.plot(time, limb_darkened / uniform)
    ratio.axhline(1.0, color="grey", lw=0.5)
    ratio.set_ylabel("limb-darkened / uniform")
    ratio.set_xlabel("time from closest approach (Einstein-radius crossing times)")
    figure.tight_layout()
    figure.savefig(path, dpi=120)
    print(f"saved {path}")


def main():
    crossing = np.sqrt(SOURCE_RADIUS**2 - IMPACT_PARAMETER**2)
    print_table(np.round(np.linspace(-2.5 * crossing, 2.5 * crossing, 21), 4))
    plot(np.linspace(-3 * crossing, 3 * crossing, 1201))


if __name__ == "__main__":
    main()
