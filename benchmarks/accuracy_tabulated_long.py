"""Accuracy of the tabulated-profile magnification for long tables near the source, against the
integral of the interpolated table over the source radius (tests/tabulated_reference.py).

    PYTHONPATH=build/dev python benchmarks/accuracy_tabulated_long.py [--rows 1000 10000]

The linear limb-darkening law sampled on n rows crowding towards the limb, rho = 0.01, 0.1 and 1,
separations from 0 to 4 source radii: the centre, on and beside knots, the limb.
"""

import argparse
import math
import pathlib
import sys

import numpy as np
import obrivane

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests"))
import tabulated_reference  # noqa: E402
from profile_reference import relative_error  # noqa: E402


def limb_law(rows):
    k = np.arange(rows)
    radii = np.sin(np.pi * k / (2 * (rows - 1)))
    radii[-1] = 1.0
    return radii.tolist(), (0.4 + 0.6 * np.sqrt(np.maximum(1 - radii * radii, 0.0))).tolist()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, nargs="+", default=[1000, 10000])
    arguments = parser.parse_args()
    for rows in arguments.rows:
        bl, bf = limb_law(rows)
        knot = bl[rows // 3]
        separations = [0.0, 1e-6, 0.3, knot, math.nextafter(knot, 1), knot + 1e-9]
        separations += [bl[rows // 2], 0.9, 0.999, 1 - 1e-9, 1.0, 1.0 + 1e-9, 1.5, 3.0, 3.999]
        for rho in (0.01, 0.1, 1.0):
            values = obrivane.integrated_flux_map_heyrovsky_magnification(
                separations, 1.0, rho, bl, bf
            )
            worst = max(
                relative_error(value, tabulated_reference.magnification(s, rho, bl, bf))
                for s, value in zip(separations, values, strict=True)
            )
            print(f"rows {rows:>6}  rho {rho:<5}  worst relative error {worst:.1e}")


if __name__ == "__main__":
    main()
