"""Per-call overhead of obrivane's call entry, against a plain C builtin (math.hypot) in the
same run.

Run with the built modules on the path, for example
    PYTHONPATH=build/<name> python3 benchmarks/bench_call_overhead.py
The test-only module _obrivane_testing (built with OBRIVANE_TESTING=ON) adds calls that do no
computation at all, which isolate the boundary's own cost.
"""

import math
import timeit

import obrivane

try:
    import _obrivane_testing as testing
except ImportError:
    testing = None


def nanoseconds_per_call(call, number=200_000, repeat=7):
    return min(timeit.repeat(call, number=number, repeat=repeat)) / number * 1e9


def refused_in_matching():
    try:
        obrivane.heyrovsky_magnification(2.0, 0.5, 1.0)
    except TypeError:
        pass


def main():
    hypot = math.hypot
    cases = [
        ("math.hypot(3.0, 4.0)", lambda: hypot(3.0, 4.0)),
        ("math.hypot(3, 4, 12)  [ints]", lambda: hypot(3, 4, 12)),
        (
            "heyrovsky_magnification(2.0, 0.5, 1.0, 1.0)",
            lambda: obrivane.heyrovsky_magnification(2.0, 0.5, 1.0, 1.0),
        ),
        (
            "heyrovsky_magnification(l=2.0, r=0.5, re=1.0, rstar=1.0)",
            lambda: obrivane.heyrovsky_magnification(l=2.0, r=0.5, re=1.0, rstar=1.0),
        ),
        (
            "witt_mao_magnification([2.0], 1.0, 0.5)",
            lambda: obrivane.witt_mao_magnification([2.0], 1.0, 0.5),
        ),
        ("heyrovsky_magnification(2.0, 0.5, 1.0)  [TypeError in matching]", refused_in_matching),
    ]
    if testing is not None:
        cases += [
            ("_obrivane_testing.echo_float(2.0)", lambda: testing.echo_float(2.0)),
            (
                "_obrivane_testing.conversion_probe([2.0], 1.0)",
                lambda: testing.conversion_probe([2.0], 1.0),
            ),
        ]
    baseline = None
    for label, call in cases:
        try:
            call()
        except BaseException as failure:  # noqa: BLE001 - a model not built yet is reported, not timed
            print(f"{label:66s} skipped: {type(failure).__name__}: {failure}")
            continue
        cost = nanoseconds_per_call(call)
        baseline = cost if baseline is None else baseline
        print(f"{label:66s} {cost:8.1f} ns/call  ({cost / baseline:4.2f} x math.hypot)")


if __name__ == "__main__":
    main()
