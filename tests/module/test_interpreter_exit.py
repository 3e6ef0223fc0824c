"""The interpreter exits cleanly while daemon threads are inside calls: exit status 0 and nothing
on standard error, whatever the call (short calls that give up the lock, long limb-darkened
ones), the pool size, and whether the exiting thread is itself interrupted by Ctrl-C during
the exit. Threads that ask for the interpreter lock during the exit are kept off it.

Each case runs in REPEATS child processes at once (a race at exit shows up in some of them);
the plain run covers the interpreter running the tests, the tooling run every other CPython
3.11-3.13 on the machine, built as tools/build_on_each_python.sh builds them."""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import textwrap

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
REPEATS = 20
POOL_SIZES = (1, 2, 8)

# A daemon thread calling in a loop: every call holds 8 elements, the fewest that give up the
# lock, so the thread takes the lock back every few microseconds.
SHORT_CALLS = """
import threading, time, obrivane
def loop():
    while True: obrivane.witt_mao_magnification([0.5]*8, 1.0, 0.1)
threading.Thread(target=loop, daemon=True).start(); time.sleep(0.3)
"""

# Daemon threads in limb-darkened calls (separations inside a source of 100 Einstein radii, the
# costly case): one in calls of about a tenth of a second, computing on the pool at exit, two
# in calls of a few milliseconds, which end while the interpreter finalises.
LONG_CALLS = """
import threading, time, obrivane
def loop(count):
    separations = [2.0 * i / count for i in range(count)]
    while True: obrivane.integrated_witt_mao_magnification(separations, 1.0, 100.0)
for count in (4000, 50, 50): threading.Thread(target=loop, args=(count,), daemon=True).start()
time.sleep(0.3)
"""

# The exiting thread itself makes calls after obrivane's exit hook has run (an atexit hook
# registered before the import runs after it): a short unlocked call gives its result, and a
# long one (limb-darkened, tens of seconds of work) is stopped by Ctrl-C, sent by a daemon
# thread, with KeyboardInterrupt, while daemon threads are in calls.
INTERRUPTED_AT_EXIT = """
import atexit, signal, threading, time

def at_exit():
    assert obrivane.witt_mao_magnification([0.5] * 8, 1.0, 0.1) == expected
    exiting.set()
    start = time.perf_counter()
    try:
        obrivane.integrated_witt_mao_magnification(inside, 1.0, 100.0)
    except KeyboardInterrupt:
        print("interrupted after", "%.3f" % (time.perf_counter() - start), "s")

atexit.register(at_exit)
import obrivane

expected = obrivane.witt_mao_magnification([0.5] * 8, 1.0, 0.1)
# Separations inside a source of 100 Einstein radii: tens of seconds of work uninterrupted.
inside = [2.0 * i / 200_000 for i in range(200_000)]
exiting = threading.Event()
main = threading.main_thread().ident

def interrupt():
    exiting.wait()
    time.sleep(0.05)
    signal.pthread_kill(main, signal.SIGINT)

def loop(count):
    while True: obrivane.witt_mao_magnification([0.5] * count, 1.0, 0.1)

threading.Thread(target=interrupt, daemon=True).start()
for count in (8, 1000):
    threading.Thread(target=loop, args=(count,), daemon=True).start()
time.sleep(0.2)
"""

# Daemon threads in NumPy ufunc calls of obrivane.fspl: short ones (NumPy keeps the lock, the
# loop gives it up), long ones (NumPy gives the lock up around the loop, which takes it back to
# watch for signals) and refused ones (the loop takes the lock to raise ValueError).
UFUNC_CALLS = """
import threading, time, numpy as np
from obrivane import fspl
def loop(count, u1):
    u = np.linspace(0.0, 0.02, count)
    while True:
        try:
            fspl.linear(u, 0.01, u1)
        except ValueError:
            pass
for count, u1 in ((8, 0.6), (20_000, 0.6), (600, 3.5)):
    threading.Thread(target=loop, args=(count, u1), daemon=True).start()
time.sleep(0.3)
"""

PROGRAMS = {
    "short calls": SHORT_CALLS,
    "long calls": LONG_CALLS,
    "interrupted": INTERRUPTED_AT_EXIT,
}


def run_at_once(
    python: str, program: str, environment: dict, count: int = REPEATS, timeout: float = 120
):
    """Runs `program` in `count` child processes at once; their (status, stdout, stderr). A
    child still running after `timeout` seconds is killed and reported as timed out."""
    children = [
        subprocess.Popen(
            [python, "-c", textwrap.dedent(program)],
            env=environment,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
        )
        for _ in range(count)
    ]
    outcomes = []
    for child in children:
        try:
            stdout, stderr = child.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            child.kill()
            stdout, stderr = child.communicate()
            stderr += "\n(timed out)"
        outcomes.append((child.returncode, stdout, stderr))
    return outcomes


def environment_for(pythonpath: str, pool_size: int) -> dict:
    environment = dict(os.environ, RAYON_NUM_THREADS=str(pool_size), PYTHONPATH=pythonpath)
    environment.pop("PYTHONWARNINGS", None)
    return environment


def check_exits(python: str, pythonpath: str, name: str, pool_size: int):
    program = UFUNC_CALLS if name == "ufunc calls" else PROGRAMS[name]
    outcomes = run_at_once(python, program, environment_for(pythonpath, pool_size))
    failures = [(status, stderr[-1500:]) for status, _, stderr in outcomes if status != 0 or stderr]
    assert not failures, f"{len(failures)} of {len(outcomes)} exits failed; first: {failures[0]}"
    if name == "interrupted":
        # Stopped within a poll interval or so of the signal, not after the call's seconds.
        for _, stdout, _ in outcomes:
            words = stdout.split()
            assert words[:2] == ["interrupted", "after"], stdout
            assert float(words[2]) < 2.0, stdout


# The other interpreters' builds have no NumPy to run the ufuncs with.
@pytest.mark.parametrize("pool_size", POOL_SIZES)
@pytest.mark.parametrize("name", [*PROGRAMS, "ufunc calls"])
def test_exit_with_threads_in_calls(name, pool_size):
    check_exits(sys.executable, os.pathsep.join(sys.path), name, pool_size)


# Four daemon threads take the lock back every 0.2 ms through cycle_lock (mode 0: a permit and
# PyEval_RestoreThread; 1: a permit and PyGILState_Ensure, as a loop run by NumPy would; 2: no
# permit). Without a permit the interpreter ends such threads inside the request on 3.11-3.13.
CYCLING = """
import sys, threading, time, _obrivane_testing as testing
for _ in range(4):
    threading.Thread(target=testing.cycle_lock, args=(0.0002, {mode}), daemon=True).start()
time.sleep(0.2)
"""


@pytest.mark.parametrize("mode", [0, 1])
def test_threads_taking_the_lock_back_at_exit_are_kept_off_it(testing_module, mode):
    program = CYCLING.format(mode=mode)
    outcomes = run_at_once(sys.executable, program, environment_for(os.pathsep.join(sys.path), 2))
    failures = [(status, stderr[-1500:]) for status, _, stderr in outcomes if status != 0 or stderr]
    assert not failures, f"{len(failures)} of {len(outcomes)} exits failed; first: {failures[0]}"


@pytest.mark.skipif(
    not (sys.platform == "linux" and (3, 11) <= sys.version_info[:2] <= (3, 13)),
    reason="the interpreter ends threads by a forced unwind on Linux, 3.11-3.13",
)
def test_threads_taking_the_lock_back_without_a_permit_are_ended(testing_module):
    # The check above would see a thread ended inside the request.
    outcomes = run_at_once(
        sys.executable, CYCLING.format(mode=2), environment_for(os.pathsep.join(sys.path), 2), 5
    )
    assert any("cycle_lock: ended while taking the lock" in stderr for _, _, stderr in outcomes), (
        outcomes
    )


# A forked child inherits the count of permits held by the parent's threads, which do not exist
# there; its exit hook must not wait for them.
FORKING = """
import os, threading, time, warnings, _obrivane_testing as testing
warnings.simplefilter("ignore", DeprecationWarning)  # fork() of a multi-threaded process
for _ in range(4):
    threading.Thread(target=testing.cycle_lock, args=(0.0, 0), daemon=True).start()
time.sleep(0.05)
for _ in range(10):
    child = os.fork()
    if child == 0:
        threading.Thread(target=testing.cycle_lock, args=(0.0002, 0), daemon=True).start()
        time.sleep(0.05)
        break
    _, status = os.waitpid(child, 0)
    assert status == 0, status
"""


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs os.fork")
def test_a_forked_child_exits_while_the_parent_held_permits(testing_module):
    # A child whose exit hook waited for them would never exit.
    environment = environment_for(os.pathsep.join(sys.path), 2)
    outcomes = run_at_once(sys.executable, FORKING, environment, 2, timeout=60)
    failures = [(status, stderr[-1500:]) for status, _, stderr in outcomes if status != 0 or stderr]
    assert not failures, failures[0]


OTHER_VERSIONS = [v for v in ("3.11", "3.12", "3.13") if v != "{}.{}".format(*sys.version_info[:2])]


@pytest.mark.tooling
@pytest.mark.parametrize("version", OTHER_VERSIONS)
def test_exit_with_threads_in_calls_on_other_interpreters(version):
    path = os.pathsep.join([str(pathlib.Path(sys.executable).parent), os.environ.get("PATH", "")])
    if shutil.which("cmake", path=path) is None or shutil.which("ninja", path=path) is None:
        pytest.skip("cmake and ninja are needed to build the module")
    # The build of tools/build_on_each_python.sh, up to date after its first run; it names the
    # interpreter it found.
    built = subprocess.run(
        [str(ROOT / "tools" / "build_on_each_python.sh"), version],
        env=dict(os.environ, PATH=path),
        capture_output=True,
        text=True,
        timeout=600,
    )
    if f"python{version}: not found" in built.stdout:
        pytest.skip(f"python{version} not found")
    assert built.returncode == 0, built.stdout + built.stderr
    found = re.search(rf"^python{re.escape(version)} \((.+)\): built", built.stdout, re.M)
    assert found, built.stdout
    for name in PROGRAMS:
        for pool_size in POOL_SIZES:
            check_exits(found[1], str(ROOT / "build" / f"python{version}"), name, pool_size)
