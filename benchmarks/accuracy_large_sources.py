"""Accuracy of sources of 10 to 1000 Einstein radii (models/large_source.hpp) against the
two-dimensional source integrals of tests/large_source_reference.json: for every law of
tests/models/test_large_sources.py and the built-in linear law, the worst relative error of A and
of its excess A - 1 (where |A - 1| >= 1e-6), over rho = 10.5 to 1000 and the lens over the
centre, inside, within a relative 1e-6 of the limb, outside and three radii away; and apart, the
same over the separations of 1.25 radii or more, where the laws take lines through the lens.

    PYTHONPATH=build/dev python benchmarks/accuracy_large_sources.py
"""

import pathlib
import sys

import obrivane

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "models"))

import test_large_sources as cases  # noqa: E402

# From this separation (source radii) the laws take lines through the lens (large_source_lines.hpp).
LINES_FROM = 1.25


def worst(evaluate, weights, lines_only=False):
    on_a, on_excess, where = 0.0, 0.0, None
    for case in cases.REFERENCE["cases"]:
        if case["rho"] <= 10:  # rho = 10 itself is integrated along lines
            continue
        if lines_only and case["s"] < LINES_FROM:
            continue
        expected, excess = cases.reference(case, weights)
        error_a, error_excess = cases.errors(evaluate(case), expected, excess)
        on_a = max(on_a, error_a)
        if error_excess is not None and error_excess > on_excess:
            on_excess, where = error_excess, (case["s"], case["rho"])
    return on_a, on_excess, where


def main():
    print(f"{'law':34} {'worst on A':>11} {'on A - 1':>10}  (s, rho) of the latter")
    for lines_only in (False, True):
        if lines_only:
            print(f"separations of {LINES_FROM} source radii or more (lines through the lens)")
        for name, coefficients in cases.COEFFICIENTS:
            hook, terms = cases.LAWS[name]
            on_a, on_excess, where = worst(
                lambda c, h=hook, k=coefficients: h(c["s"] * c["rho"], c["rho"], *k),
                terms(*coefficients),
                lines_only,
            )
            print(f"{name + ' ' + repr(coefficients):34} {on_a:11.1e} {on_excess:10.1e}  {where}")
        if not lines_only:
            print_built_in()


def print_built_in():
    def built_in(case):
        return obrivane.integrated_witt_mao_magnification([case["s"]], 1.0, case["rho"])[0]

    on_a, on_excess, where = worst(built_in, {"0": 0.4, "1": 0.6})
    print(f"{'integrated_witt_mao_magnification':34} {on_a:11.1e} {on_excess:10.1e}  {where}")


if __name__ == "__main__":
    main()
