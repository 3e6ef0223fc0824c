"""The interpreter lock is given up while a model computes: other Python threads run during a
long call, calls from several threads give the same results as made one after another, and
failures raised inside the unlocked computation still reach the caller as before."""

import threading
import time

import numpy as np
import obrivane
import pytest

PANIC = "pyo3_runtime.PanicException"


def counter_share_during(call) -> float:
    """The rate at which a counting Python thread counts while `call` runs in this thread, as
    a fraction of its rate alone."""
    count = 0
    stop = threading.Event()

    def counter():
        nonlocal count
        while not stop.is_set():
            count += 1

    thread = threading.Thread(target=counter)
    thread.start()
    try:
        while count == 0:
            pass  # the counter is running before anything is measured
        time.sleep(0.05)
        before, start = count, time.perf_counter()
        time.sleep(0.2)
        solo_rate = (count - before) / (time.perf_counter() - start)
        before, start = count, time.perf_counter()
        call()
        return (count - before) / (time.perf_counter() - start) / solo_rate
    finally:
        stop.set()
        thread.join()


def test_another_thread_runs_during_a_long_call():
    # Held for the whole call, the lock lets the counter in for one switch interval (5 ms) at
    # most, a few percent of a call of about half a second; given up, the counter shares the
    # machine with the workers. The bound is generous for a loaded machine.
    separations = np.linspace(0.0, 5.0, 3_000_000)
    share = counter_share_during(lambda: obrivane.witt_mao_magnification(separations, 1.0, 0.1))
    assert share > 0.1


@pytest.mark.parametrize(
    ("count", "held"), [(0, True), (1, True), (7, True), (8, False), (10_000, False)]
)
def test_the_lock_is_kept_for_small_calls_only(testing_module, count, held):
    assert testing_module.lock_held_during([1.0] * count) == (1.0 if held else 0.0)


CALLS = [
    ("witt_mao_magnification", lambda k: ((np.linspace(0, 4, 3000), 1.0, 0.1 + k),)),
    (
        "multi_witt_mao_magnification",
        lambda k: ((np.linspace(0, 4, 200), [1.0, 2.0], [0.1, 0.2 + k]),),
    ),
    ("integrated_witt_mao_magnification", lambda k: ((np.linspace(0, 3, 12), 1.0, 0.1 + k),)),
    ("integrated_heyrovsky_magnification", lambda k: ((np.linspace(0.1, 3, 12), 1.0, 0.1 + k),)),
    (
        "discrete_flux_map_heyrovsky_magnification",
        lambda k: ((np.linspace(0.1, 3, 40), 1.0, 0.1 + k, [0.2, 0.5, 0.9], [1.0, 0.8, 0.3]),),
    ),
]


@pytest.mark.parametrize(("name", "arguments"), CALLS, ids=[name for name, _ in CALLS])
def test_concurrent_calls_give_the_sequential_results(name, arguments):
    function = getattr(obrivane, name)
    inputs = [arguments(k)[0] for k in range(6)]
    expected = [function(*call) for call in inputs]
    results = [None] * len(inputs)
    barrier = threading.Barrier(len(inputs))

    def run(k):
        barrier.wait()
        for _ in range(3):
            results[k] = function(*inputs[k])

    threads = [threading.Thread(target=run, args=(k,)) for k in range(len(inputs))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for got, want in zip(results, expected, strict=True):
        assert np.array_equal(np.asarray(got), np.asarray(want), equal_nan=True)
        assert np.asarray(got).tobytes() == np.asarray(want).tobytes()


@pytest.mark.parametrize("count", [3, 100])
@pytest.mark.parametrize(
    ("kind", "expected", "message"),
    [
        (1, "builtins.RuntimeError", "probe: error value"),
        (2, PANIC, "probe: internal failure"),
        (3, PANIC, "probe: unexpected"),
    ],
)
def test_failures_are_raised_alike_with_and_without_the_lock(
    testing_module, count, kind, expected, message
):
    with pytest.raises(BaseException) as caught:
        testing_module.probe_outcome([0.5] * count, kind)
    assert f"{type(caught.value).__module__}.{type(caught.value).__name__}" == expected
    assert caught.value.args == (message,)
    assert testing_module.probe_outcome([0.5] * count, 0) == [0.5] * count


def test_an_internal_failure_of_a_long_model_call_leaves_the_module_usable():
    # Tables of unequal length fail the discrete sum's invariant.
    separations = np.linspace(0.1, 5.0, 1000)
    with pytest.raises(BaseException) as caught:
        obrivane.discrete_flux_map_heyrovsky_magnification(separations, 1.0, 0.1, [0.5, 0.6], [1.0])
    assert f"{type(caught.value).__module__}.{type(caught.value).__name__}" == PANIC
    results = []
    thread = threading.Thread(
        target=lambda: results.append(obrivane.witt_mao_magnification([2.0] * 20, 1.0, 0.5))
    )
    thread.start()
    thread.join()
    assert results[0] == obrivane.witt_mao_magnification([2.0] * 20, 1.0, 0.5)
