"""Draws the pictures of the documentation into docs/_static from the module itself.

    python tools/make_doc_figures.py

light_curves.png: light curves of one lens trajectory across sources of several radii.
limb_darkening_ratio.png: limb-darkened over uniform magnification against the separation,
for several linear limb-darkening coefficients (from the two built-in results).
"""

import pathlib
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "examples"))

from event_light_curve import magnification  # noqa: E402
from limb_darkening_coefficient import linear_limb_darkening  # noqa: E402

STATIC = ROOT / "docs" / "_static"


def point_lens(u):
    return (u * u + 2) / (u * np.sqrt(u * u + 4))


def light_curves(path):
    u0 = 0.01
    t = np.linspace(-0.15, 0.15, 601)  # (t - t0) / tE
    figure, axes = plt.subplots(figsize=(7, 4.2))
    axes.plot(t, point_lens(np.hypot(u0, t)), ":", color="grey", label="point source")
    for rho in (0.003, 0.01, 0.03, 0.1):
        uniform = magnification(t, 0.0, u0, 1.0, rho)
        limb = magnification(t, 0.0, u0, 1.0, rho, limb_darkened=True)
        (line,) = axes.plot(t, limb, label=f"rho = {rho}")
        axes.plot(t, uniform, "--", lw=0.8, color=line.get_color())
    axes.set_yscale("log")
    axes.set_xlabel("(t - t0) / tE")
    axes.set_ylabel("magnification")
    axes.set_title("u0 = 0.01: limb-darkened (solid) and uniform (dashed) sources", fontsize=10)
    axes.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(path, dpi=110)
    plt.close(figure)


def limb_darkening_ratio(path):
    rho = 0.05
    separations = np.linspace(0.0, 3.0, 301)
    uniform = np.array(linear_limb_darkening(separations, 1.0, rho, 0.0))
    figure, axes = plt.subplots(figsize=(7, 3.6))
    for c in (0.3, 0.6, 0.9):
        ratio = linear_limb_darkening(separations, 1.0, rho, c) / uniform
        axes.plot(separations, ratio, label=f"c = {c}")
    axes.axhline(1.0, color="grey", lw=0.5)
    axes.axvline(1.0, color="grey", lw=0.5, ls=":")
    axes.set_xlabel("lens-source separation l (source radii)")
    axes.set_ylabel("limb-darkened / uniform")
    axes.set_title(f"linear law I = 1 - c (1 - mu), rho = {rho}", fontsize=10)
    axes.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(path, dpi=110)
    plt.close(figure)


def main():
    STATIC.mkdir(parents=True, exist_ok=True)
    light_curves(STATIC / "light_curves.png")
    limb_darkening_ratio(STATIC / "limb_darkening_ratio.png")
    for name in ("light_curves.png", "limb_darkening_ratio.png"):
        print(STATIC / name)


if __name__ == "__main__":
    main()
