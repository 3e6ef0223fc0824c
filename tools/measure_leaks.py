"""Memory kept per call: every path of every function (a result, argument errors, MemoryError,
the internal failure of unequal table columns) run CALLS times, with the growth of the
interpreter's traced memory, its allocated blocks and the process's resident memory reported per
100,000 calls.

    PYTHONPATH=build/dev python tools/measure_leaks.py [CALLS]
"""

import gc
import os
import sys
import tracemalloc

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests"))

import _obrivane_testing  # noqa: E402
from test_module_leaks import EVERY_FUNCTION, function_paths, swallow  # noqa: E402


def resident_bytes():
    with open("/proc/self/statm", encoding="ascii") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def measure(name, calls):
    cause = ValueError("the root of it")
    paths = function_paths(_obrivane_testing, name, cause)
    rounds = max(1, calls // len(paths))
    for _ in range(3):
        for path in paths:
            swallow(path)
    gc.collect()
    resident = resident_bytes()
    blocks = sys.getallocatedblocks()
    tracemalloc.start()
    traced, _ = tracemalloc.get_traced_memory()
    for _ in range(rounds):
        for path in paths:
            swallow(path)
    gc.collect()
    traced_after, _ = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    made = rounds * len(paths)
    scale = 100_000 / made
    return (
        made,
        (traced_after - traced) * scale,
        (sys.getallocatedblocks() - blocks) * scale,
        (resident_bytes() - resident) * scale,
    )


def main():
    calls = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
    print(f"{'function':46} {'calls':>8} {'traced B':>10} {'blocks':>8} {'resident B':>11}")
    print(f"{'':46} {'':>8} {'per 1e5 calls':>31}")
    for name in sorted(EVERY_FUNCTION):
        made, traced, blocks, resident = measure(name, calls)
        print(f"{name:46} {made:8d} {traced:10.0f} {blocks:8.0f} {resident:11.0f}")


if __name__ == "__main__":
    main()
