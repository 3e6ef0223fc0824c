"""Accuracy of the built-in limb-darkened magnification (both functions) per region, against the
double-exponential source integral of tests/profile_reference.py.

    python benchmarks/accuracy_limb_darkened.py

Regions in l (source radii): the centre (l <= 1e-3), the limb (|l - 1| <= 1e-3, down to 1e-12 and
l = 1 exactly), elsewhere inside four radii, the series from four to 100 radii and beyond, for rho
from 1e-4 to 10; and rho from 20 to 1000. The reference is itself good to about 1e-12 within 1e-6
of the limb and 1e-13 beyond 100 radii (tests/models/test_profile_weighted.py checks those regions
against the closed form and the mean-value expansion in mpmath); elsewhere to about 1e-15.
"""

import pathlib
import sys

import numpy as np
import obrivane

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests"))
from profile_reference import profile_magnification, relative_error  # noqa: E402

FUNCTIONS = (
    obrivane.integrated_witt_mao_magnification,
    obrivane.integrated_heyrovsky_magnification,
)


def region(x):
    if x <= 1e-3:
        return "l <= 1e-3 (centre)"
    if abs(x - 1) <= 1e-3:
        return "|l - 1| <= 1e-3 (limb)"
    if x < 4:
        return "elsewhere inside 4 radii"
    if x <= 100:
        return "4 <= l <= 100"
    return "100 < l <= 1e4"


def main():
    worst = {}
    limb = [1 + d for d in (-1e-3, -1e-6, -1e-9, -1e-12, 0.0, 1e-12, 1e-9, 1e-6, 1e-3)]
    xs = [0.0, 1e-9, 1e-6, 1e-3, *np.linspace(0.01, 0.99, 12), *limb, *np.linspace(1.01, 3.9, 8)]
    xs += [3.999, 4.0, 4.001, 5.0, 20.0, 100.0, 1e3, 1e4]
    for rho in [1e-4, 3e-4, 1e-3, 0.003, 0.01, 0.03, 0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0]:
        references = [profile_magnification(x, 1 / rho) for x in xs]
        for function in FUNCTIONS:
            for x, value, reference in zip(xs, function(xs, 1.0, rho), references, strict=True):
                name = f"rho in [1e-4, 10], {region(x)}"
                worst[name] = max(worst.get(name, 0.0), relative_error(value, reference))
    large = [0.0, 0.5, 1 - 1e-6, 1.0, 1 + 1e-6, 2.0, 3.99, 5.0, 50.0]
    for rho in [20.0, 100.0, 1000.0]:
        references = [profile_magnification(x, 1 / rho) for x in large]
        for function in FUNCTIONS:
            for value, reference in zip(function(large, 1.0, rho), references, strict=True):
                name = "rho in [20, 1000], l in [0, 50]"
                worst[name] = max(worst.get(name, 0.0), relative_error(value, reference))
    for name, error in worst.items():
        print(f"{name:50} worst relative error {error:.1e}")


if __name__ == "__main__":
    main()
