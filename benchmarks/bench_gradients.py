"""Cost of the laws' magnifications with their derivatives (the ufuncs obrivane.fspl.<law> and
<law>_and_gradient) against the cost of the magnification alone, and the derivatives' accuracy
(models/law_gradients.hpp, through the test-only module) against the references of
tests/law_gradient_reference.json.

    PYTHONPATH=build/dev:python python benchmarks/bench_gradients.py [--accuracy] [--repeats N]

1. Per law and region of s = u/rho (inside, about the limb 0.9 < s < 1.25, outside within four
   radii, the far series beyond) and rho (0.01, 0.5, 5, 30): the time of <law>_and_gradient over
   the time of <law> on the same 200 separations, one thread (min and median of the repeats, the
   two calls one after the other in each), and the gradient's own time per separation.
2. With --accuracy: the worst error of each quantity per law and region, as the tests measure it
   (tests/models/test_law_gradients.py): derivatives in u and rho relative to the larger of their
   size and A/max(u, rho), derivatives in coefficients relative to the larger of their size and
   |A - 1|/100 beyond an absolute floor of 16 epsilon A.
"""

import os

# One worker thread, and NumPy's BLAS threads kept from spinning beside the timed calls.
os.environ.setdefault("RAYON_NUM_THREADS", "1")
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import pathlib
import statistics
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "models"))


LAWS = [
    ("uniform", 0, (0.0, 0.0)),
    ("linear", 1, (0.6, 0.0)),
    ("quadratic", 2, (0.4, 0.25)),
    ("square_root", 3, (0.3, 0.5)),
    ("logarithmic", 4, (0.6, 0.2)),
    ("power2", 5, (0.6, 0.3)),
    # A typical exponent beside the small one above, whose rules crowd their nodes at the limb.
    ("power2", 5, (0.6, 0.7)),
]

REGIONS = {
    "inside (s < 0.9)": (0.0, 0.9),
    "limb (0.9 < s < 1.25)": (0.9, 1.25),
    "outside (1.25 < s < 4)": (1.25, 4.0),
    "far (4 < s < 40)": (4.0, 40.0),
}


def ratios_and_times(name, u, rho, coefficients, repeats):
    """Per repeat, the value's and the gradient's times, run one after the other so that the
    machine's load weighs on both alike."""
    from obrivane import fspl

    value = getattr(fspl, name)
    gradient = getattr(fspl, name + "_and_gradient")
    # The first calls make what the laws keep (the power-2 law's rules for its exponent).
    value(u, rho, *coefficients)
    gradient(u, rho, *coefficients)
    ratios, times = [], []
    for _ in range(repeats):
        start = time.perf_counter()
        value(u, rho, *coefficients)
        middle = time.perf_counter()
        gradient(u, rho, *coefficients)
        end = time.perf_counter()
        ratios.append((end - middle) / (middle - start))
        times.append(end - middle)
    return ratios, times


def cost(repeats):
    import numpy as np

    print("gradient time / value time (min, median of the repeats); gradient time per point")
    for name, _, coefficients in LAWS:
        arguments = coefficients[: {"uniform": 0, "linear": 1}.get(name, 2)]
        for rho in (0.01, 0.5, 5.0, 30.0):
            for where, (low, high) in REGIONS.items():
                u = rho * (low + (high - low) * (np.arange(200) + 0.5) / 200)
                ratios, times = ratios_and_times(name, u, rho, arguments, repeats)
                label = f"power2 a={arguments[1]}" if name == "power2" else name
                print(
                    f"  {label:12} rho = {rho:<5} {where:24} ratio min {min(ratios):7.1f}"
                    f"  median {statistics.median(ratios):7.1f}"
                    f"  gradient {min(times) / len(u) * 1e6:8.2f} us"
                )


def region(u, rho):
    s = u / rho
    if s == 0:
        return "centre"
    if abs(s - 1) <= 1e-6:
        return "limb (|s - 1| <= 1e-6)"
    if s < 1:
        return "inside"
    if s < 4:
        return "outside, s < 4"
    return "far"


def accuracy():
    import mpmath
    import test_law_gradients as reference

    worst = {}
    for name, coefficients in reference.COEFFICIENTS:
        for case in reference.REFERENCE["cases"]:
            u, rho = case["u"], case["rho"]
            expected = reference.reference_gradient(case, name, coefficients)
            actual = reference.LAWS[name].gradient(u, rho, coefficients)
            magnification = expected[0]
            errors = {"A": float(abs(mpmath.mpf(actual[0]) / magnification - 1))}
            for index, label in ((1, "d_u"), (2, "d_rho")):
                if expected[index] is not None:
                    errors[label] = reference.geometry_error(
                        actual[index], expected[index], magnification, u, rho
                    )
            for index, slope in enumerate(expected[3:]):
                errors[f"d_c{index}"] = reference.coefficient_error(
                    actual[3 + index], slope, magnification
                )
            band = "rho <= 3" if rho <= 3 else "rho > 3"
            for label, error in errors.items():
                key = (f"{name}{coefficients}", label, band, region(u, rho))
                if error >= worst.get(key, (-1.0,))[0]:
                    worst[key] = (error, u, rho)
    print("worst error per law, quantity, band of rho and region (at u, rho)")
    for (law, label, band, where), (error, u, rho) in sorted(worst.items()):
        print(f"  {law:26} {label:6} {band:9} {where:24} {error:8.1e}  (u = {u!r}, rho = {rho!r})")


def main(argv):
    repeats = int(argv[argv.index("--repeats") + 1]) if "--repeats" in argv else 5
    if "--accuracy" in argv:
        accuracy()
    else:
        cost(repeats)


if __name__ == "__main__":
    main(sys.argv)
