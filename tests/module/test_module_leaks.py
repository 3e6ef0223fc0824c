"""No call leaks: reference counts of arguments and results are unchanged after many calls on
success and failure paths, and neither interpreter memory nor process memory grows."""

import gc
import os
import sys
import tracemalloc

import obrivane
import pytest

np = pytest.importorskip("numpy")

REPEAT = 1000


class Enormous:
    def __len__(self):
        return 2**60

    def __getitem__(self, index):
        raise IndexError(index)


class FloatFails:
    def __float__(self):
        raise ValueError("refused")


def swallow(call):
    try:
        call()
    except BaseException:  # noqa: BLE001 - every failure path is exercised on purpose
        pass


def call_paths(t, values, re, element):
    """Calls through every path of the call entry; the arguments are the objects watched."""
    return [
        lambda: t.echo_vector(values),
        lambda: t.echo_vector(l=values),
        lambda: t.echo_float(re),
        lambda: t.echo_rows(values, (element, re)),
        lambda: t.conversion_probe(values, re),
        lambda: t.model_vector(values),
        lambda: t.model_error(re),
        lambda: t.elliptic_failure(re),
        lambda: t.internal_failure(re),
        lambda: t.unexpected_exception(re),
        lambda: t.echo_vector([element, re, "x"]),
        lambda: t.echo_vector([element, FloatFails()]),
        lambda: t.echo_vector(Enormous()),
        lambda: t.echo_vector(re),
        lambda: t.echo_vector("text"),
        lambda: t.conversion_probe(values, "bad"),
        lambda: t.conversion_probe(values, FloatFails()),
        lambda: t.conversion_probe(values, re, re),
        lambda: t.conversion_probe(values, re=re, l=values),
        lambda: t.conversion_probe(values, unknown=re),
        lambda: t.conversion_probe(),
        lambda: obrivane.witt_mao_magnification(values, re, 10**400),
        lambda: obrivane.witt_mao_magnification(values, re, "x"),
        lambda: obrivane.heyrovsky_magnification(element, re, re),
    ]


def test_reference_counts_of_arguments_are_unchanged(testing_module):
    element = float("1.25")  # a fresh object, not a shared constant
    re = float("0.5")
    values = [element, element, 3.5]
    array = np.array([1.0, 2.0, 3.0])
    paths = call_paths(testing_module, values, re, element)
    paths += [
        lambda: testing_module.echo_vector(array),
        lambda: testing_module.echo_vector(array[::2]),
    ]
    for path in paths:  # warm up lazily created values
        swallow(path)
    gc.collect()
    before = [sys.getrefcount(obj) for obj in (element, re, values, array)]
    for _ in range(REPEAT // 10):
        for path in paths:
            swallow(path)
    gc.collect()
    after = [sys.getrefcount(obj) for obj in (element, re, values, array)]
    assert after == before


def test_results_are_held_only_by_the_caller(testing_module):
    result = testing_module.echo_vector([1.5, 2.5])
    # Held by the name and by getrefcount's argument; items also by the loop variable.
    assert sys.getrefcount(result) == 2
    assert all(sys.getrefcount(item) == 3 for item in result)
    rows = testing_module.echo_rows([1.5], [2.5])
    assert sys.getrefcount(rows) == 2
    assert all(sys.getrefcount(row) == 3 for row in rows)
    value = testing_module.echo_float(float("7.5"))
    assert sys.getrefcount(value) == 2


def test_interpreter_memory_does_not_grow(testing_module):
    element = 1.25
    values = [float(i) for i in range(10)]
    paths = call_paths(testing_module, values, 0.5, element)
    for path in paths:
        swallow(path)
    gc.collect()
    tracemalloc.start()
    try:
        for _ in range(2):  # settle free lists and caches
            for path in paths:
                swallow(path)
        gc.collect()
        start, _ = tracemalloc.get_traced_memory()
        for _ in range(REPEAT):
            for path in paths:
                swallow(path)
        gc.collect()
        end, _ = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    # One leaked float per call would be 24 kB per path; one leaked list or exception far more.
    assert end - start < 16 * 1024


def resident_bytes():
    with open("/proc/self/statm", encoding="ascii") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
def test_process_memory_does_not_grow_with_large_vectors(testing_module):
    size = 100_000
    as_list = [float(i) for i in range(size)]
    failing_list = as_list[:-1] + ["not a float"]
    as_array = np.arange(float(size))
    paths = [
        lambda: testing_module.echo_vector(as_list),
        lambda: testing_module.echo_vector(as_array),
        lambda: testing_module.echo_vector(as_array[::-1]),
        lambda: testing_module.echo_vector(failing_list),
        lambda: testing_module.conversion_probe(as_array, "bad"),
        lambda: testing_module.echo_rows(as_array, as_list),
    ]
    for path in paths:
        swallow(path)
    gc.collect()
    start = resident_bytes()
    for _ in range(40):
        for path in paths:
            swallow(path)
    gc.collect()
    growth = resident_bytes() - start
    # A leaked vector per call would be 800 kB, 190 MB over this loop.
    assert growth < 32 * 1024 * 1024


class FloatRefusedWithCause:
    """__float__ raises a TypeError whose cause the renamed argument error carries on."""

    def __init__(self, cause):
        self.cause = cause

    def __float__(self):
        raise TypeError("refused") from self.cause


TABLE = ([0.0, 0.5, 1.0], [1.0, 0.8, 0.3])
EVERY_FUNCTION = {
    "witt_mao_magnification": ([0.5, 2.0, 7.0], 1.0, 0.8),
    "multi_witt_mao_magnification": ([0.5, 2.0], [1.0, 2.0], [0.8]),
    "heyrovsky_magnification": (2.0, 0.5, 1.0, 1.0),
    "integrated_witt_mao_magnification": ([0.5, 2.0], 1.0, 0.8),
    "integrated_heyrovsky_magnification": ([0.5, 2.0], 1.0, 0.8),
    "integrated_flux_map_witt_mao_magnification": ([0.5, 2.0], 1.0, 0.8, *TABLE),
    "integrated_flux_map_heyrovsky_magnification": ([0.5, 2.0], 1.0, 0.8, *TABLE),
    "discrete_flux_map_heyrovsky_magnification": ([0.5, 2.0], 1.0, 0.8, *TABLE),
}


def function_paths(t, name, cause):
    """Every way a call of the function can end: a result, a renamed TypeError (with a cause
    from __float__), a TypeError for a sequence, an exception passed through, MemoryError while
    the result is built, and the internal failure of unequal table columns."""
    function = getattr(obrivane, name)
    arguments = EVERY_FUNCTION[name]

    def replaced(position, value):
        changed = list(arguments)
        changed[position] = value
        return changed

    # A float parameter (or, for a function of sequences only, an element of one) and the first
    # sequence parameter.
    floats = [i for i, a in enumerate(arguments) if isinstance(a, float)]
    sequences = [i for i, a in enumerate(arguments) if isinstance(a, list)]
    sequence_position = sequences[0] if sequences else None

    def scalar(value):
        return replaced(floats[0], value) if floats else replaced(sequences[-1], [value])

    paths = [
        lambda: function(*arguments),
        lambda: function(*scalar(FloatRefusedWithCause(cause))),
        lambda: function(*scalar(FloatFails())),
        lambda: function(*replaced(sequence_position or 0, [1.0, FloatRefusedWithCause(cause)])),
        lambda: function(*replaced(sequence_position or 0, "text")),
        lambda: t.fail_allocations(0, function, *arguments),
        lambda: t.fail_allocations(3, function, *arguments),
    ]
    if len(arguments) == 5:
        paths.append(lambda: function(*arguments[:4], [1.0]))
    return paths


@pytest.mark.parametrize("name", sorted(EVERY_FUNCTION))
def test_every_function_leaks_nothing_on_any_path(testing_module, name):
    cause = ValueError("the root of it")
    arguments = EVERY_FUNCTION[name]
    paths = function_paths(testing_module, name, cause)
    for path in paths:
        swallow(path)
    gc.collect()
    watched = [cause, *arguments]
    references = [sys.getrefcount(obj) for obj in watched]
    blocks = sys.getallocatedblocks()
    for _ in range(REPEAT // 5):
        for path in paths:
            swallow(path)
    gc.collect()
    assert [sys.getrefcount(obj) for obj in watched] == references
    # A leaked float, list or exception per call would be at least 200 blocks.
    assert sys.getallocatedblocks() - blocks < 50


def test_renamed_type_error_keeps_one_reference_to_its_cause(testing_module):
    cause = ValueError("the root of it")
    refusing = FloatRefusedWithCause(cause)
    with pytest.raises(TypeError) as raised:
        obrivane.heyrovsky_magnification(refusing, 0.5, 1.0, 1.0)
    assert raised.value.__cause__ is cause
    del raised
    gc.collect()
    before = sys.getrefcount(cause)
    for _ in range(REPEAT):
        swallow(lambda: obrivane.heyrovsky_magnification(refusing, 0.5, 1.0, 1.0))
    gc.collect()
    assert sys.getrefcount(cause) == before
