"""Sources of 10 to 1000 Einstein radii: time per point of every obrivane.fspl law and of the
built-in linear law (integrated_witt_mao_magnification), this build beside a previous one, on
one worker thread; the min and the median of the repeats, each build timed in its own child
process, the two alternating. With --gradients, the laws' <law>_and_gradient ufuncs instead.

    RAYON_NUM_THREADS=1 PYTHONPATH=build/dev python benchmarks/bench_large_sources.py \\
        --previous /tmp/previous/build [--quick] [--gradients] [--peer PYTHON]

The previous build is any build directory holding an obrivane module, for example that of the
commit before the rays through the lens:

    git archive e6a5949 | tar -x -C /tmp/previous && cmake -S /tmp/previous \\
        -B /tmp/previous/build -G Ninja -DCMAKE_LIBRARY_OUTPUT_DIRECTORY=/tmp/previous/build \\
        && cmake --build /tmp/previous/build

With --peer, a Python that has VBMicrolensing (installed for the benchmark only, for example in a
virtual environment: python -m venv /tmp/peervenv && /tmp/peervenv/bin/pip install
VBMicrolensing numpy) also times its ESPLMagDark (the linear law, a1 = 0.6, Tol = RelTol = 1e-3,
or each of --peer-tolerances) on the same points, with its largest error relative to A and to the
excess A - 1 against fspl.linear(u, rho, 0.6); "refused" where it raises for the source's size,
"crashed" where its process dies.

Workloads (u and rho in Einstein radii): "light curve", u uniform in [0, 3 rho]; "over the
source", u uniform in [0, rho]; rho = 10.5, 30, 100, 300, 1000.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys

RADII = (10.5, 30.0, 100.0, 300.0, 1000.0)
LOADS = {"light curve": 3.0, "over the source": 1.0}
LAWS = {
    "linear": (0.6,),
    "quadratic": (0.4, 0.25),
    "square_root": (0.3, 0.4),
    "logarithmic": (0.5, 0.2),
    "power2": (0.6, 0.7),
    "built-in linear": (),
}

CHILD = """
import json, sys, time
import numpy as np
import obrivane
from obrivane import fspl
name, extent, rho, count, repeats, gradients = json.loads(sys.argv[1])
u = np.linspace(0.0, extent * rho, count)
coefficients = {laws}[name]
if name == "built-in linear":
    x = (u / rho).tolist()
    call = lambda: obrivane.integrated_witt_mao_magnification(x, 1.0, rho)
else:
    law = getattr(fspl, name + "_and_gradient" if gradients else name)
    call = lambda: law(u, rho, *coefficients)
call()
times = []
for _ in range(repeats):
    start = time.perf_counter(); call(); times.append(time.perf_counter() - start)
print(json.dumps([t / count * 1e6 for t in times]))
"""


PEER = """
import json, os, sys, time
import numpy as np
import VBMicrolensing
extent, rho, count, repeats, tolerance = json.loads(sys.argv[1])
u = np.linspace(0.0, extent * rho, count)[1:]  # the peer gives NaN with the lens on the centre
engine = VBMicrolensing.VBMicrolensing()
engine.Tol = engine.RelTol = tolerance
engine.a1 = 0.6
try:
    values = np.array([engine.ESPLMagDark(x, rho) for x in u.tolist()])
except Exception:
    print(json.dumps(None))
    sys.exit(0)
times = []
for _ in range(repeats):
    start = time.perf_counter()
    [engine.ESPLMagDark(x, rho) for x in u.tolist()]
    times.append(time.perf_counter() - start)
from obrivane import fspl
exact = fspl.linear(u, rho, 0.6)
print(json.dumps([[t / len(u) * 1e6 for t in times],
                  float(np.max(np.abs(values / exact - 1))),
                  float(np.max(np.abs((values - exact) / (exact - 1))))]))
"""


def peer_timed(python, build, extent, rho, count, repeats, tolerance):
    """The peer's times and errors; None where it refuses the source, and the signal's number
    (negative) where its process dies."""
    environment = dict(os.environ, PYTHONPATH=build, RAYON_NUM_THREADS="1")
    output = subprocess.run(
        [python, "-c", PEER, json.dumps([extent, rho, count, repeats, tolerance])],
        env=environment,
        capture_output=True,
        text=True,
        check=False,
    )
    if output.returncode < 0:
        return output.returncode
    output.check_returncode()
    return json.loads(output.stdout)


def timed(build, name, extent, rho, count, repeats, gradients):
    environment = dict(os.environ, PYTHONPATH=build, RAYON_NUM_THREADS="1")
    program = CHILD.format(laws=repr(LAWS))
    output = subprocess.run(
        [sys.executable, "-c", program, json.dumps([name, extent, rho, count, repeats, gradients])],
        env=environment,
        capture_output=True,
        text=True,
        check=True,
    )
    return json.loads(output.stdout)


def show_peer(arguments, label, extent, rho, count, repeats, tolerance):
    workload = label + f", rho = {rho:g}"
    name = "ESPLMagDark" if tolerance == 1e-3 else f"ESPLMagDark {tolerance:g}"
    peer = peer_timed(arguments.peer, arguments.current, extent, rho, count, repeats, tolerance)
    if peer is None or isinstance(peer, int):
        outcome = "refused" if peer is None else f"crashed (signal {-peer})"
        print(f"{workload:34} {name:16} {outcome}", flush=True)
        return
    times, error, excess_error = peer
    print(
        f"{workload:34} {name:16}"
        f" {min(times):7.2f} / {statistics.median(times):6.2f}"
        f"   error {error:.1e} of A, {excess_error:.1e} of A - 1",
        flush=True,
    )


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--previous", required=True, help="build directory of the previous code")
    parser.add_argument("--current", default=os.environ.get("PYTHONPATH", "build/dev"))
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--gradients", action="store_true", help="time <law>_and_gradient")
    parser.add_argument("--peer", help="a Python with VBMicrolensing, to time its ESPLMagDark")
    parser.add_argument(
        "--peer-tolerances",
        default="1e-3",
        help="the peer's Tol (= RelTol) values, comma-separated (default 1e-3)",
    )
    arguments = parser.parse_args()
    count = 300 if arguments.quick else 1000
    repeats = 3 if arguments.quick else 5
    rounds = 1 if arguments.quick else 2
    print("us per point, min / median of repeats, one thread; speed-up of the min")
    print(f"{'workload':34} {'law':16} {'this build':>16} {'previous':>16} {'speed-up':>8}")
    for label, extent in LOADS.items():
        for rho in RADII:
            for name in LAWS:
                if arguments.gradients and name == "built-in linear":
                    continue
                ours, theirs = [], []
                for _ in range(rounds):
                    ours += timed(
                        arguments.current, name, extent, rho, count, repeats, arguments.gradients
                    )
                    theirs += timed(
                        arguments.previous, name, extent, rho, count, repeats, arguments.gradients
                    )
                print(
                    f"{label + f', rho = {rho:g}':34} {name:16}"
                    f" {min(ours):7.2f} / {statistics.median(ours):6.2f}"
                    f" {min(theirs):7.2f} / {statistics.median(theirs):6.2f}"
                    f" {min(theirs) / min(ours):8.1f}",
                    flush=True,
                )
            if arguments.peer and not arguments.gradients:
                for tolerance in map(float, arguments.peer_tolerances.split(",")):
                    show_peer(arguments, label, extent, rho, count, repeats, tolerance)


if __name__ == "__main__":
    main()
