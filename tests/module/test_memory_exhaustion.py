"""Memory that runs out inside a call: the caller gets a MemoryError (the interpreter's own where
the interpreter ran out), an ordinary Exception, with nothing written to standard error and
nothing left allocated, and the module keeps working."""

import gc
import os
import subprocess
import sys
import textwrap

import obrivane
import pytest

np = pytest.importorskip("numpy")

SEPARATIONS = [0.5 + i for i in range(300)]
TABLE = ([0.0, 0.5, 1.0], [1.0, 0.8, 0.3])

# Every function, with arguments whose result list is long enough that building it allocates
# far beyond the interpreter's free lists.
CALLS = {
    "witt_mao_magnification": (SEPARATIONS, 1.0, 0.8),
    "multi_witt_mao_magnification": (SEPARATIONS[:40], [1.0, 2.0], [0.5, 0.8, 1.0]),
    "heyrovsky_magnification": (2.0, 0.5, 1.0, 1.0),
    "integrated_witt_mao_magnification": (SEPARATIONS[:150], 1.0, 0.8),
    "integrated_heyrovsky_magnification": (SEPARATIONS[:150], 1.0, 0.8),
    "integrated_flux_map_witt_mao_magnification": (SEPARATIONS[:150], 1.0, 0.8, *TABLE),
    "integrated_flux_map_heyrovsky_magnification": (SEPARATIONS[:150], 1.0, 0.8, *TABLE),
    "discrete_flux_map_heyrovsky_magnification": (SEPARATIONS, 1.0, 0.8, *TABLE),
}

# Allocations allowed before the interpreter's allocators refuse: the first request, one inside
# the float free list's reach, and ones deep into the result list.
REFUSAL_POINTS = [0, 1, 7, 60, 150, 240]


@pytest.mark.parametrize("name", sorted(CALLS))
@pytest.mark.parametrize("after", REFUSAL_POINTS)
def test_result_list_that_cannot_be_built_raises_memory_error(testing_module, capfd, name, after):
    function = getattr(obrivane, name)
    arguments = CALLS[name]
    expected = function(*arguments)
    try:
        value = testing_module.fail_allocations(after, function, *arguments)
    except MemoryError:
        assert testing_module.refused_allocations() >= 1
    else:
        # Enough was allowed to build the whole result: then it is the ordinary one.
        assert value == expected
    assert capfd.readouterr().err == ""
    assert function(*arguments) == expected


@pytest.mark.parametrize("name", sorted(CALLS))
def test_refusing_from_the_first_request_on_always_raises(testing_module, name):
    if name == "heyrovsky_magnification":
        pytest.skip("a single float comes from the interpreter's free list")
    with pytest.raises(MemoryError):
        testing_module.fail_allocations(0, getattr(obrivane, name), *CALLS[name])


def test_memory_error_is_an_ordinary_exception(testing_module):
    try:
        testing_module.fail_allocations(5, obrivane.witt_mao_magnification, SEPARATIONS, 1.0, 1.0)
    except Exception as error:  # noqa: BLE001 - what a fitting loop would write
        assert type(error) is MemoryError
    else:
        pytest.fail("no MemoryError")


@pytest.mark.parametrize("failing", [[0], [63], [0, 99], list(range(100))])
def test_allocation_failure_on_a_worker_raises_memory_error(testing_module, capfd, failing):
    with pytest.raises(MemoryError):
        testing_module.bad_alloc_in_parallel_for(100, failing)
    assert capfd.readouterr().err == ""
    assert testing_module.bad_alloc_in_parallel_for(3, []) == [0.0, 1.0, 2.0]


def test_failing_calls_leave_nothing_allocated(testing_module):
    arguments = CALLS["witt_mao_magnification"]
    watched = arguments[0]

    def fail_all():
        for after in REFUSAL_POINTS:
            try:
                testing_module.fail_allocations(after, obrivane.witt_mao_magnification, *arguments)
            except MemoryError:
                pass

    fail_all()
    gc.collect()
    blocks = sys.getallocatedblocks()
    references = sys.getrefcount(watched)
    for _ in range(200):
        fail_all()
    gc.collect()
    assert sys.getrefcount(watched) == references
    # One leaked float per failing call would be 1200 blocks.
    assert sys.getallocatedblocks() - blocks < 100


def run_with_address_space_limit(code: str) -> subprocess.CompletedProcess:
    """Runs code in a child whose address space is capped, so that a call that did try to
    touch the memory it asked for would fail there instead of exhausting the machine."""
    directory = os.path.dirname(obrivane.__file__)
    environment = dict(os.environ, PYTHONPATH=directory, RAYON_NUM_THREADS="2")
    prologue = textwrap.dedent(
        """
        import resource
        with open("/proc/self/statm", encoding="ascii") as statm:
            used = int(statm.read().split()[0]) * resource.getpagesize()
        limit = used + 2 * 1024**3
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        """
    )
    return subprocess.run(
        [sys.executable, "-c", prologue + textwrap.dedent(code)],
        capture_output=True,
        text=True,
        env=environment,
        timeout=120,
    )


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
def test_ten_billion_results_raise_memory_error_without_touching_memory():
    completed = run_with_address_space_limit(
        """
        import resource
        import numpy
        import obrivane
        ones = numpy.ones(10**5)
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        for l in ([0.5], [], [0.5, 1.5]):
            try:
                obrivane.multi_witt_mao_magnification(l, ones, ones)
            except MemoryError:
                pass
            else:
                raise AssertionError("no MemoryError")
        grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
        assert grown < 64 * 1024, grown  # kilobytes
        assert obrivane.multi_witt_mao_magnification([0.5], [1.0], [1.0])[0][0] > 1
        print("ok")
        """
    )
    assert completed.returncode == 0, completed.stderr
    assert completed.stdout.strip() == "ok"
    assert completed.stderr == ""


class FloatRefused:
    def __float__(self):
        raise TypeError("refused")


@pytest.mark.parametrize("name", sorted(CALLS))
@pytest.mark.parametrize(
    "bad", ["text", FloatRefused(), [1.0, "x"], None], ids=["str", "__float__", "element", "None"]
)
def test_argument_errors_when_memory_runs_out(testing_module, name, bad):
    # Making the argument error's message needs memory too: with too little, the caller gets a
    # MemoryError, never an internal failure.
    function = getattr(obrivane, name)
    arguments = list(CALLS[name])
    arguments[1] = bad
    for after in range(12):
        try:
            testing_module.fail_allocations(after, function, *arguments)
        except (TypeError, MemoryError):
            pass
        else:
            pytest.fail("the invalid argument was accepted")
    with pytest.raises(TypeError, match="^argument '"):
        function(*arguments)
