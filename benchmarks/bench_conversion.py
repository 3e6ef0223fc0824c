"""Conversion cost per element of a 10**6-element sequence given as `l`: list, tuple and NumPy
float64 array (contiguous and strided), against a plain memory copy of the same data.

Uses _obrivane_testing.vector_length, which converts its argument exactly as every public
function converts `l` and returns only the element count, so no result list is built. Run with
    PYTHONPATH=build/<name> python3 benchmarks/bench_conversion.py
(the build needs OBRIVANE_TESTING=ON).
"""

import timeit

import _obrivane_testing as testing
import numpy as np

SIZE = 1_000_000


def nanoseconds_per_element(call, number=5, repeat=5):
    return min(timeit.repeat(call, number=number, repeat=repeat)) / number / SIZE * 1e9


def main():
    array = np.random.default_rng(1).random(SIZE)
    as_list = array.tolist()
    as_tuple = tuple(as_list)
    wide = np.random.default_rng(2).random(2 * SIZE)
    strided = wide[::2]
    float32 = array.astype(np.float32)
    count = testing.vector_length
    for candidate in (as_list, as_tuple, array, strided):
        assert count(candidate) == SIZE
    cases = [
        ("numpy copy of a float64 array (memory copy)", lambda: array.copy()),
        ("numpy copy of a strided float64 view", lambda: strided.copy()),
        ("l = list of floats", lambda: count(as_list)),
        ("l = tuple of floats", lambda: count(as_tuple)),
        ("l = numpy float64 array, contiguous", lambda: count(array)),
        ("l = numpy float64 array, stride 2", lambda: count(strided)),
        ("l = numpy float32 array (iterated)", lambda: count(float32)),
    ]
    for label, call in cases:
        print(f"{label:48s} {nanoseconds_per_element(call):7.3f} ns/element")


if __name__ == "__main__":
    main()
