"""Ctrl-C during a long call: the call stops within a fraction of a second, raises the signal
handler's exception and returns no partial result; the pool and the module stay usable.

The signal is sent to the main thread by a timer thread while the call runs (the call gives up
the interpreter lock, so the timer can run). The bounds on elapsed time are about liveness only:
every call here would take several seconds or more if it were not stopped."""

import contextlib
import signal
import threading
import time

import numpy as np
import obrivane
import pytest

# Generous: a stopped call ends within tens of milliseconds.
LIVENESS_BOUND = 3.0


class Stop(Exception):
    """Raised by the test's own signal handler."""


@contextlib.contextmanager
def sigint_after(delay: float, handler=signal.default_int_handler):
    """Sends SIGINT to the main thread `delay` seconds into the block, with `handler`
    installed; yields a list that receives the sending time."""
    sent = []
    armed = threading.Event()
    armed.set()

    def send():
        if armed.is_set():
            sent.append(time.perf_counter())
            signal.pthread_kill(threading.main_thread().ident, signal.SIGINT)

    previous = signal.signal(signal.SIGINT, handler)
    timer = threading.Timer(delay, send)
    timer.start()
    try:
        yield sent
    finally:
        armed.clear()
        timer.cancel()
        timer.join()
        signal.signal(signal.SIGINT, previous)


separations = np.linspace(0.01, 5.0, 100_000)
rings, weights = list(np.linspace(0.01, 1.0, 300)), [1.0] * 300
table = ([0.0, 0.5, 1.0], [1.0, 0.8, 0.5])
# The profile functions take about a microsecond per point for small sources: long calls need
# their costly cases, points inside large sources and long tables.
inside = np.linspace(0.0, 2.0, 400_000)
long_table = (list(np.linspace(0.0, 1.0, 1000)), list(np.linspace(1.0, 0.4, 1000)))

LONG_CALLS = {
    "witt_mao_magnification": lambda: obrivane.witt_mao_magnification(
        np.linspace(0.01, 5.0, 10_000_000), 1.0, 0.1
    ),
    "multi_witt_mao_magnification": lambda: obrivane.multi_witt_mao_magnification(
        separations[:20_000], [1.0] * 40, list(np.linspace(0.05, 0.5, 40))
    ),
    "integrated_witt_mao_magnification": lambda: obrivane.integrated_witt_mao_magnification(
        inside, 1.0, 100.0
    ),
    "integrated_heyrovsky_magnification": lambda: obrivane.integrated_heyrovsky_magnification(
        inside, 1.0, 100.0
    ),
    "integrated_flux_map_witt_mao_magnification": (
        lambda: obrivane.integrated_flux_map_witt_mao_magnification(
            inside[:100_000], 1.0, 0.1, *long_table
        )
    ),
    "integrated_flux_map_heyrovsky_magnification": (
        lambda: obrivane.integrated_flux_map_heyrovsky_magnification(
            inside[:100_000], 1.0, 0.1, *long_table
        )
    ),
    "discrete_flux_map_heyrovsky_magnification": (
        lambda: obrivane.discrete_flux_map_heyrovsky_magnification(
            separations, 1.0, 0.1, rings, weights
        )
    ),
}

SHORT_CALLS = {
    "witt_mao_magnification": lambda: obrivane.witt_mao_magnification(separations[:50], 1.0, 0.1),
    "multi_witt_mao_magnification": lambda: obrivane.multi_witt_mao_magnification(
        separations[:20], [1.0, 2.0], [0.1, 0.2]
    ),
    "integrated_witt_mao_magnification": lambda: obrivane.integrated_witt_mao_magnification(
        separations[:8], 1.0, 0.1
    ),
    "integrated_heyrovsky_magnification": lambda: obrivane.integrated_heyrovsky_magnification(
        separations[:8], 1.0, 0.1
    ),
    "integrated_flux_map_witt_mao_magnification": (
        lambda: obrivane.integrated_flux_map_witt_mao_magnification(
            separations[:8], 1.0, 0.1, *table
        )
    ),
    "integrated_flux_map_heyrovsky_magnification": (
        lambda: obrivane.integrated_flux_map_heyrovsky_magnification(
            separations[:8], 1.0, 0.1, *table
        )
    ),
    "discrete_flux_map_heyrovsky_magnification": (
        lambda: obrivane.discrete_flux_map_heyrovsky_magnification(
            separations[:20], 1.0, 0.1, rings, weights
        )
    ),
}


@pytest.mark.parametrize("name", LONG_CALLS)
def test_ctrl_c_stops_a_long_call(name):
    before = SHORT_CALLS[name]()
    start = time.perf_counter()
    with pytest.raises(KeyboardInterrupt), sigint_after(0.1) as sent:
        LONG_CALLS[name]()
    assert sent, "the call ended before the signal was sent"
    assert time.perf_counter() - sent[0] < LIVENESS_BOUND
    assert time.perf_counter() - start < LIVENESS_BOUND + 0.1
    # The module and the pool go on working, with the same results.
    after = SHORT_CALLS[name]()
    assert np.asarray(after).tobytes() == np.asarray(before).tobytes()


def test_the_handlers_own_exception_is_raised():
    def handler(signum, frame):
        raise Stop(signum)

    with pytest.raises(Stop) as caught, sigint_after(0.1, handler):
        LONG_CALLS["integrated_heyrovsky_magnification"]()
    assert caught.value.args == (signal.SIGINT,)


def test_a_handler_that_does_not_raise_lets_the_call_finish():
    seen = []
    expected = obrivane.discrete_flux_map_heyrovsky_magnification(
        separations[:3000], 1.0, 0.1, rings, weights
    )
    with sigint_after(0.02, lambda signum, frame: seen.append(signum)):
        result = obrivane.discrete_flux_map_heyrovsky_magnification(
            separations[:3000], 1.0, 0.1, rings, weights
        )
        time.sleep(0.05)  # the handler has run by now, whether during the call or after it
    assert seen == [signal.SIGINT]
    assert result == expected


@pytest.mark.parametrize("parallel", [True, False], ids=["pool", "calling thread"])
def test_the_work_stops_between_items(testing_module, parallel):
    # 2000 items of 5 ms each: ten seconds of work even on two workers.
    with pytest.raises(KeyboardInterrupt), sigint_after(0.2):
        testing_module.probe_interruptible([0.0] * 2000, 0.005, parallel)
    stopped_at = testing_module.probe_interruptible_count()
    time.sleep(0.05)
    # Every piece had stopped before the call returned: nothing runs on in the background.
    assert testing_module.probe_interruptible_count() == stopped_at
    assert stopped_at < 1000
    assert testing_module.probe_interruptible([0.0] * 20, 0.0, parallel) == list(range(20))


def test_a_call_from_another_thread_is_not_stopped_by_the_main_threads_signal():
    # Only the main thread runs signal handlers; a call made elsewhere goes on, and the
    # handler runs in the main thread as usual.
    seen = []
    results = []

    def work():
        results.append(
            obrivane.discrete_flux_map_heyrovsky_magnification(
                separations[:3000], 1.0, 0.1, rings, weights
            )
        )

    expected = obrivane.discrete_flux_map_heyrovsky_magnification(
        separations[:3000], 1.0, 0.1, rings, weights
    )
    with sigint_after(0.02, lambda signum, frame: seen.append(signum)):
        thread = threading.Thread(target=work)
        thread.start()
        thread.join()
        time.sleep(0.05)
    assert results == [expected]
    assert seen == [signal.SIGINT]
