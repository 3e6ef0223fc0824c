"""Per-call cost of small calls in two builds, measured side by side in one run.

    python benchmarks/compare_call_overhead.py build/before build/after [--rounds 7]

Each round times every case in a fresh interpreter per build, the builds taking turns, so that
both see the same machine load; the figures are the min and the median over the rounds, in
nanoseconds per call, and the ratio after/before of each.
"""

import argparse
import json
import statistics

from build_runs import run_in_build

CASES = {
    "witt_mao_magnification([2.0], 1.0, 0.5)": "f([2.0], 1.0, 0.5)",
    "heyrovsky_magnification(2.0, 0.5, 1.0, 1.0)": "g(2.0, 0.5, 1.0, 1.0)",
    "witt_mao_magnification([], 1.0, 0.5)": "f([], 1.0, 0.5)",
    "witt_mao_magnification(16 separations)": "f(l16, 1.0, 0.5)",
    "integrated_heyrovsky_magnification(8 separations)": "h(l8, 1.0, 0.5)",
}

TIMER = r"""
import json, sys, timeit
import obrivane

f = obrivane.witt_mao_magnification
g = obrivane.heyrovsky_magnification
h = obrivane.integrated_heyrovsky_magnification
l16 = [0.25 * k for k in range(16)]
l8 = [0.25 * k for k in range(8)]
out = {}
for label, statement in json.loads(sys.argv[1]).items():
    timer = timeit.Timer(statement, globals=globals())
    number = 100_000 if "integrated" not in label else 100
    out[label] = min(timer.repeat(repeat=5, number=number)) / number * 1e9
print(json.dumps(out))
"""


def time_build(build: str) -> dict:
    return run_in_build(build, TIMER, json.dumps(CASES))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=7)
    arguments = parser.parse_args()
    samples = {
        build: {label: [] for label in CASES} for build in (arguments.before, arguments.after)
    }
    for _ in range(arguments.rounds):
        for build in (arguments.before, arguments.after):
            for label, cost in time_build(build).items():
                samples[build][label].append(cost)
    print(f"{'case':52s} {'before min/med':>16s} {'after min/med':>16s}  after/before min, med")
    for label in CASES:
        before = samples[arguments.before][label]
        after = samples[arguments.after][label]
        ratio_min = min(after) / min(before)
        ratio_median = statistics.median(after) / statistics.median(before)
        print(
            f"{label:52s} {min(before):7.1f} {statistics.median(before):7.1f}  "
            f"{min(after):7.1f} {statistics.median(after):7.1f}   "
            f"{ratio_min:5.3f} {ratio_median:5.3f}"
        )


if __name__ == "__main__":
    main()
