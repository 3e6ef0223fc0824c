"""Time from SIGINT to KeyboardInterrupt during a long call of each function family, for one
or more builds side by side in one run.

    python benchmarks/bench_interrupt.py build/before build/after [--rounds 3] [--delay 0.15]

Each call would take a second or more; this process sends SIGINT to the one making the call
`delay` seconds after the call starts. The figure is the time from the signal to the
KeyboardInterrupt in the calling (main) thread, min and median over the rounds, each round a
fresh interpreter per build.
A build that cannot stop a call raises the exception only when the call has ended.
"""

import argparse
import json
import os
import signal
import statistics
import subprocess
import sys
import time

CALLS = {
    "witt_mao_magnification (10^7)": "obrivane.witt_mao_magnification(l, 1.0, 0.1)",
    "multi_witt_mao_magnification (10^5 x 100)": (
        "obrivane.multi_witt_mao_magnification(l[:100_000], [1.0] * 10, [0.1] * 10)"
    ),
    "integrated_witt_mao_magnification (10^4)": (
        "obrivane.integrated_witt_mao_magnification(l[:10_000], 1.0, 0.1)"
    ),
    "integrated_heyrovsky_magnification (4e4)": (
        "obrivane.integrated_heyrovsky_magnification(l[:40_000], 1.0, 0.1)"
    ),
    "integrated_flux_map_witt_mao_magnification (10^4)": (
        "obrivane.integrated_flux_map_witt_mao_magnification(l[:10_000], 1.0, 0.1, b, f)"
    ),
    "integrated_flux_map_heyrovsky_magnification (4e4)": (
        "obrivane.integrated_flux_map_heyrovsky_magnification(l[:40_000], 1.0, 0.1, b, f)"
    ),
    "discrete_flux_map_heyrovsky_magnification (4e4 x 300)": (
        "obrivane.discrete_flux_map_heyrovsky_magnification(l[:40_000], 1.0, 0.1, rings, ones)"
    ),
}

PROGRAM = r"""
import json, sys, time
import numpy as np
import obrivane
l = np.linspace(0.01, 5.0, 10_000_000)
b, f = [0.0, 0.5, 1.0], [1.0, 0.8, 0.5]
rings, ones = list(np.linspace(0.01, 1.0, 300)), [1.0] * 300
obrivane.witt_mao_magnification(l[:1000], 1.0, 0.1)
print("start", flush=True)
try:
    eval(sys.argv[1])
    print(json.dumps(None), flush=True)
except KeyboardInterrupt:
    print(json.dumps(time.monotonic()), flush=True)
"""


def latency(build: str, call: str, delay: float) -> float | None:
    """Starts the call in a child process, sends it SIGINT from here `delay` seconds later (a
    build that holds the interpreter lock could not even run a timer thread meanwhile), and
    returns the time until the child caught KeyboardInterrupt (CLOCK_MONOTONIC is shared by
    all processes)."""
    env = dict(os.environ, PYTHONPATH=os.path.abspath(build))
    child = subprocess.Popen(
        [sys.executable, "-c", PROGRAM, call], env=env, stdout=subprocess.PIPE, text=True
    )
    assert child.stdout.readline().strip() == "start"
    time.sleep(delay)
    sent = time.monotonic()
    child.send_signal(signal.SIGINT)
    caught = json.loads(child.stdout.readline())
    child.wait()
    return None if caught is None else caught - sent


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("builds", nargs="+")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--delay", type=float, default=0.15)
    arguments = parser.parse_args()
    for label, call in CALLS.items():
        samples = {build: [] for build in arguments.builds}
        for _ in range(arguments.rounds):
            for build in arguments.builds:
                samples[build].append(latency(build, call, arguments.delay))
        print(label)
        for build in arguments.builds:
            values = [value for value in samples[build] if value is not None]
            if len(values) < len(samples[build]):
                print(f"  {build:24s} the call ended before the signal in some rounds")
            if values:
                print(
                    f"  {build:24s} SIGINT -> KeyboardInterrupt: min {min(values) * 1e3:8.1f} ms"
                    f"  median {statistics.median(values) * 1e3:8.1f} ms"
                )


if __name__ == "__main__":
    main()
