"""Throughput and per-call cost of witt_mao_magnification, with one worker and with two, side by
side with the same Witt-Mao formula vectorised with NumPy and scipy.special (Pi from Carlson's
forms, R_F(0, 1-m, 1) + n/3 R_J(0, 1-m, 1, 1-n)) on the same inputs.

    python benchmarks/bench_uniform_disk.py [--elements N] [--repeats R]

Each pool size runs in its own interpreter (this script, started with --child), since the
pool is sized once per process from RAYON_NUM_THREADS. Wall-clock times are the best of R
repetitions; the processor time (all threads of the process) shows the work done whatever
share of the machine the process got. The obrivane figures include converting the separation
list in and the result list out.
"""

import argparse
import json
import os
import subprocess
import sys
import time


def best_time(call, repeats: int) -> float:
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def processor_time(call, repeats: int) -> float:
    start = time.process_time()
    for _ in range(repeats):
        call()
    return (time.process_time() - start) / repeats


def scipy_witt_mao(x, re: float, rstar: float):
    import numpy as np
    import scipy.special as special

    rho = rstar / re
    u = x * rho
    d = u - rho
    s = rho + u
    root = np.sqrt(d * d + 4)
    n = 4 * rho * u / (s * s)
    m = 4 * n / (root * root)
    big_e = special.ellipe(m)
    big_k = special.ellipk(m)
    big_p = special.elliprf(0, 1 - m, 1) + n / 3 * special.elliprj(0, 1 - m, 1, 1 - n)
    rho2 = rho * rho
    t1 = s * root / (2 * rho2) * big_e
    t2 = d * ((u * u - rho2) * 0.5 + 4) / (root * rho2) * big_k
    t3 = 2 * d * d * (rho2 + 1) / (root * s * rho2) * big_p
    return (t1 - t2 + t3) / np.pi


def measure(elements: int, repeats: int) -> dict:
    """Runs in the child interpreter, whose pool size is fixed by its environment."""
    import numpy as np
    import obrivane

    separations = np.random.default_rng(7).uniform(0.0, 3.0, elements)
    listed = separations.tolist()
    re, rstar = 1.0, 0.5

    def ours():
        return obrivane.witt_mao_magnification(listed, re, rstar)

    difference = np.abs(np.array(ours()) - scipy_witt_mao(separations, re, rstar))
    result = {
        "throughput": best_time(ours, repeats),
        "from_array": best_time(
            lambda: obrivane.witt_mao_magnification(separations, re, rstar), repeats
        ),
        # rstar = 0 makes every element a trivial NaN: what remains is the serial part, the
        # conversion of the list in and out and the hand-off to the pool.
        "serial_part": best_time(lambda: obrivane.witt_mao_magnification(listed, re, 0.0), repeats),
        "processor": processor_time(ours, repeats),
        "scipy": best_time(lambda: scipy_witt_mao(separations, re, rstar), repeats),
        "difference": float(np.max(difference / np.abs(np.array(ours())))),
        "per_call": {},
    }
    for count in (1, 16, 256):
        few = listed[:count]
        calls = 20000 if count < 256 else 4000
        obrivane.witt_mao_magnification(few, re, rstar)

        def many_calls(few=few, calls=calls):
            for _ in range(calls):
                obrivane.witt_mao_magnification(few, re, rstar)

        result["per_call"][str(count)] = best_time(many_calls, 5) / calls
    return result


def run_child(threads: int, elements: int, repeats: int) -> dict:
    environment = {**os.environ, "RAYON_NUM_THREADS": str(threads)}
    completed = subprocess.run(
        [
            sys.executable,
            __file__,
            "--child",
            "--elements",
            str(elements),
            "--repeats",
            str(repeats),
        ],
        env=environment,
        capture_output=True,
        text=True,
        check=True,
    )
    return json.loads(completed.stdout.strip().splitlines()[-1])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--elements", type=int, default=1_000_000)
    parser.add_argument("--repeats", type=int, default=7)
    parser.add_argument("--child", action="store_true", help=argparse.SUPPRESS)
    arguments = parser.parse_args()
    n = arguments.elements
    if arguments.child:
        print(json.dumps(measure(n, arguments.repeats)))
        return

    print(f"load average before the run: {os.getloadavg()[0]:.2f} on {os.cpu_count()} CPUs")
    runs = {threads: run_child(threads, n, arguments.repeats) for threads in (1, 2)}
    print(f"\n{n} separations, ns per element (wall clock, best of {arguments.repeats}):")
    for threads, run in runs.items():
        print(
            f"  obrivane, {threads} thread(s): {run['throughput'] / n * 1e9:7.1f}"
            f"  (processor time {run['processor'] / n * 1e9:6.1f})"
            f"    SciPy in the same process: {run['scipy'] / n * 1e9:7.1f}"
        )
    for threads, run in runs.items():
        print(
            f"  {threads} thread(s): from a NumPy array {run['from_array'] / n * 1e9:7.1f};"
            f" serial part (conversions, hand-off) {run['serial_part'] / n * 1e9:5.1f}"
        )
    print(f"  largest relative difference from SciPy: {runs[1]['difference']:.1e}")
    scipy_time = min(run["scipy"] for run in runs.values())
    speed_up = runs[1]["throughput"] / runs[2]["throughput"]
    print(f"\n  speed-up 2 threads / 1 thread:    {speed_up:.2f}")
    print(f"  SciPy / obrivane with 1 thread:   {scipy_time / runs[1]['throughput']:.2f}")
    print(f"  SciPy / obrivane with 2 threads:  {scipy_time / runs[2]['throughput']:.2f}")

    print("\nper call (microseconds, best of 5 loops):")
    for count in ("1", "16", "256"):
        cells = "   ".join(
            f"{threads} thread(s): {run['per_call'][count] * 1e6:7.2f}"
            for threads, run in runs.items()
        )
        print(f"  {count:>4} separations   {cells}")


if __name__ == "__main__":
    main()
