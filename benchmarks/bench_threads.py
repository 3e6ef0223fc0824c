"""What the interpreter lock lets other Python threads do during long calls, for one or more
builds side by side in one run.

    python benchmarks/bench_threads.py build/before build/after [--rounds 5]

1. Progress: a Python thread counts in a loop while the main thread makes a long call
   (witt_mao_magnification on 10^6 separations); its rate during the call as a fraction of
   its rate alone, with a one-worker pool (one processor left for the counter on a 2-core
   machine) and with the default pool (whose workers take every processor); for reference, the
   same fraction during numpy.sort of 3*10^6 values, which releases the lock itself.
2. Overlap: with a one-worker pool (RAYON_NUM_THREADS=1), four Python threads each calling
   witt_mao_magnification on 10^5 separations at once, against one thread making the four calls
   in turn: wall time of each, and their ratio.

Each round runs every build in a fresh interpreter, the builds taking turns; the figures are
the min and the median over the rounds.
"""

import argparse
import statistics

from build_runs import run_in_build

PROGRESS = r"""
import json, threading, time
import numpy as np
import obrivane
l = np.linspace(0.0, 5.0, 1_000_000)
obrivane.witt_mao_magnification(l[:1000], 1.0, 0.1)  # the pool exists before timing

count = 0
stop = False
def counter():
    global count
    while not stop:
        count += 1

thread = threading.Thread(target=counter)
thread.start()
time.sleep(0.2)
start_count, start = count, time.perf_counter()
time.sleep(0.5)
solo_rate = (count - start_count) / (time.perf_counter() - start)
start_count, start = count, time.perf_counter()
obrivane.witt_mao_magnification(l, 1.0, 0.1)
call_rate = (count - start_count) / (time.perf_counter() - start)
# For reference, a NumPy call of similar length that releases the lock itself.
values = np.random.default_rng(1).random(3_000_000)
start_count, start = count, time.perf_counter()
np.sort(values)
numpy_rate = (count - start_count) / (time.perf_counter() - start)
stop = True
thread.join()
print(json.dumps({"progress": call_rate / solo_rate, "numpy": numpy_rate / solo_rate}))
"""

OVERLAP = r"""
import json, threading, time
import numpy as np
import obrivane

l = np.linspace(0.0, 5.0, 100_000)
obrivane.witt_mao_magnification(l[:1000], 1.0, 0.1)

start = time.perf_counter()
for k in range(4):
    obrivane.witt_mao_magnification(l, 1.0, 0.1 + k)
one_thread = time.perf_counter() - start

call = obrivane.witt_mao_magnification
threads = [threading.Thread(target=call, args=(l, 1.0, 0.1 + k)) for k in range(4)]
start = time.perf_counter()
for thread in threads:
    thread.start()
for thread in threads:
    thread.join()
four_threads = time.perf_counter() - start
print(json.dumps({"one_thread": one_thread, "four_threads": four_threads}))
"""


def run(build: str, code: str, threads: int | None = None) -> dict:
    return run_in_build(build, code, threads=threads)


def summary(values: list[float]) -> str:
    return f"min {min(values):7.3f}  median {statistics.median(values):7.3f}"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("builds", nargs="+")
    parser.add_argument("--rounds", type=int, default=5)
    arguments = parser.parse_args()
    results = {
        build: {
            "progress": [],
            "numpy": [],
            "progress_default": [],
            "one_thread": [],
            "four_threads": [],
            "ratio": [],
        }
        for build in arguments.builds
    }
    for _ in range(arguments.rounds):
        for build in arguments.builds:
            progress = run(build, PROGRESS, threads=1)
            results[build]["progress"].append(progress["progress"])
            results[build]["numpy"].append(progress["numpy"])
            results[build]["progress_default"].append(run(build, PROGRESS)["progress"])
            overlap = run(build, OVERLAP, threads=1)
            results[build]["one_thread"].append(overlap["one_thread"])
            results[build]["four_threads"].append(overlap["four_threads"])
            results[build]["ratio"].append(overlap["four_threads"] / overlap["one_thread"])
    labels = {
        "progress": "counter rate in a 10^6 call / alone, 1 worker",
        "numpy": "the same during numpy.sort, 1 worker",
        "progress_default": "the same, default pool",
        "one_thread": "4 calls of 10^5, one thread [s]",
        "four_threads": "the same from four threads at once [s]",
        "ratio": "four threads / one thread",
    }
    for build in arguments.builds:
        print(build)
        for key, label in labels.items():
            print(f"  {label:48s} {summary(results[build][key])}")


if __name__ == "__main__":
    main()
