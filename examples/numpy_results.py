"""Results as NumPy arrays, and what the conversion costs.

Every function returns Python floats in lists (a list of lists for
multi_witt_mao_magnification); np.array turns them into float64 arrays. Inputs may already be
NumPy arrays: a one-dimensional float64 array is read straight from its buffer, while a list is
read element by element. This script times, side by side on one machine, the call itself and the
conversion of its result, for array and list inputs.

Run: python examples/numpy_results.py [number of separations]
"""

import sys
import timeit

import numpy as np
import obrivane


def as_array(separations, re, rstar):
    """Uniform-disk magnifications as a float64 array."""
    return np.array(obrivane.witt_mao_magnification(separations, re, rstar))


def as_grid(separations, re, rstar):
    """The batched form as a 2-D array of shape (len(re) * len(rstar), len(separations))."""
    return np.array(obrivane.multi_witt_mao_magnification(separations, re, rstar)).reshape(
        -1, len(separations)
    )


def best_of(statement, repeat=7):
    """Minimum and median seconds per run of statement over repeats."""
    number = max(1, int(0.05 / max(timeit.timeit(statement, number=1), 1e-7)))
    times = sorted(t / number for t in timeit.repeat(statement, number=number, repeat=repeat))
    return times[0], times[len(times) // 2]


def measure(n):
    separations = np.linspace(0.0, 10.0, n)
    as_list = separations.tolist()
    result = obrivane.witt_mao_magnification(separations, 1.0, 0.05)
    rows = {
        "call, float64 array in": lambda: obrivane.witt_mao_magnification(separations, 1.0, 0.05),
        "call, list in": lambda: obrivane.witt_mao_magnification(as_list, 1.0, 0.05),
        "np.array(result)": lambda: np.array(result),
        "np.fromiter(result, float)": lambda: np.fromiter(result, float, len(result)),
    }
    return {name: best_of(statement) for name, statement in rows.items()}


def main(n=100_000):
    timings = measure(n)
    call = timings["call, float64 array in"][0]
    print(f"{n} separations; per-element times, and each as a fraction of the call (array in)")
    print(f"{'':>28} {'min (ns)':>9} {'median (ns)':>12} {'/ call':>7}")
    for name, (low, median) in timings.items():
        print(f"{name:>28} {1e9 * low / n:9.1f} {1e9 * median / n:12.1f} {low / call:7.2f}")


if __name__ == "__main__":
    main(*(int(argument) for argument in sys.argv[1:2]))
