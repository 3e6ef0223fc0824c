"""Writes tests/tabulated_edge_references.json: A - 1 to 20 digits for every case of
tests/tabulated_edge_cases.py, from the radial integral of tests/tabulated_ring_reference.py
(a few minutes on two cores).

    python tools/generate_tabulated_edge_references.py [--check N]

With --check N, re-derives N cases spread over the file and compares them with it instead.
"""

import argparse
import json
import multiprocessing
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests"))
import mpmath  # noqa: E402
import tabulated_edge_cases  # noqa: E402
import tabulated_ring_reference  # noqa: E402

OUTPUT = ROOT / "tests" / "tabulated_edge_references.json"
DIGITS = 20  # of the reference's 24


def reference(case):
    name, rho, s = case
    bl, bf = tabulated_edge_cases.table(name)
    value = tabulated_ring_reference.magnification_minus_one(s, rho, bl, bf)
    return {"table": name, "rho": rho, "s": s, "a_minus_one": mpmath.nstr(value, DIGITS)}


def cases():
    return [
        (name, rho, s) for name, rho, separations in tabulated_edge_cases.CASES for s in separations
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", type=int, default=0)
    arguments = parser.parse_args()
    if arguments.check:
        stored = json.loads(OUTPUT.read_text())
        step = max(1, len(stored) // arguments.check)
        for entry in stored[::step]:
            fresh = reference((entry["table"], entry["rho"], entry["s"]))
            agree = fresh["a_minus_one"] == entry["a_minus_one"]
            verdict = "same" if agree else "DIFFERS"
            print(f"{entry['table']:>16} rho {entry['rho']:<7} s {entry['s']:<12} {verdict}")
            if not agree:
                sys.exit(1)
        return
    with multiprocessing.Pool(2) as pool:
        results = pool.map(reference, cases(), chunksize=1)
    OUTPUT.write_text(json.dumps(results, indent=1) + "\n")


if __name__ == "__main__":
    main()
