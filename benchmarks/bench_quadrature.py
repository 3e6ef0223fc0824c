"""Cost of the tanh-sinh integrator and of the linear interpolation, through the test-only module.

    PYTHONPATH=build/<dir> python3 benchmarks/bench_quadrature.py

Prints nanoseconds per integration (and per integrand evaluation) for the built-in C++
integrands on [0, 1] with target 1e-16, as the models call it, and nanoseconds per point of the
interpolation table form for tables of several lengths, next to numpy.interp on the same points.
The figures include the call overhead of the test-only module (argument and result conversion).
"""

import time

import _obrivane_testing as testing
import numpy as np


def best_of(repeats, function):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter_ns()
        function()
        best = min(best, time.perf_counter_ns() - start)
    return best


def bench_integrate():
    print("integrate on [0, 1], target 1e-16 (built-in integrands)")
    calls = 2000
    for name in ["one", "x", "sqrt", "inverse_sqrt", "nan"]:
        _, _, evaluations = testing.integrate_builtin(name, 0.0, 1.0, 1e-16)

        def run(name=name):
            for _ in range(calls):
                testing.integrate_builtin(name, 0.0, 1.0, 1e-16)

        per_call = best_of(5, run) / calls
        print(
            f"  {name:>13}: {per_call:8.0f} ns per integration, {evaluations:3d} evaluations,"
            f" {per_call / evaluations:6.2f} ns per evaluation"
        )


def bench_interp():
    print("interpolation table form, Fill(0.0), points uniform on [-0.1, 1.1]")
    rng = np.random.default_rng(0)
    points = rng.uniform(-0.1, 1.1, 200_000)
    point_list = list(points)
    for n in [10, 100, 1000, 10000]:
        x = np.linspace(0.0, 1.0, n)
        y = 1.0 - 0.6 * (1.0 - np.sqrt(1.0 - x * x))
        x_list, y_list = list(x), list(y)
        ours = best_of(
            5,
            lambda x_list=x_list, y_list=y_list: testing.interp_table_fill(
                x_list, y_list, point_list, 0.0
            ),
        )
        reference = best_of(5, lambda x=x, y=y: np.interp(points, x, y, left=0.0, right=0.0))
        print(
            f"  n = {n:5d}: {ours / points.size:6.1f} ns per point (numpy.interp on an array:"
            f" {reference / points.size:5.1f} ns)"
        )


if __name__ == "__main__":
    bench_integrate()
    bench_interp()
