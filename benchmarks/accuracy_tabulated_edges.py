"""Accuracy of the tabulated-profile magnification at the edges of tables: narrow rings, steps,
near-duplicate radii and limb-crowded tables with the lens on the limb, against the 24-digit
radial integral cached in tests/tabulated_edge_references.json
(tools/generate_tabulated_edge_references.py; tests/tabulated_ring_reference.py).

    PYTHONPATH=build/dev python benchmarks/accuracy_tabulated_edges.py

Prints, per table and source radius, the worst relative error of A and, where
1e-5 <= A - 1 <= 1e-3, of A - 1.
"""

import json
import pathlib
import sys

import mpmath
import obrivane

TESTS = pathlib.Path(__file__).resolve().parents[1] / "tests"
sys.path.insert(0, str(TESTS))
import tabulated_edge_cases  # noqa: E402


def main():
    references = json.loads((TESTS / "tabulated_edge_references.json").read_text())
    groups = {}
    for entry in references:
        groups.setdefault((entry["table"], entry["rho"]), []).append(entry)
    print(f"{'table':>16} {'rho':>7} {'points':>6} {'worst on A':>11} {'worst on A - 1':>15}")
    for (name, rho), entries in groups.items():
        bl, bf = tabulated_edge_cases.table(name)
        separations = [entry["s"] for entry in entries]
        values = obrivane.integrated_flux_map_heyrovsky_magnification(separations, 1.0, rho, bl, bf)
        on_a, on_small = 0.0, None
        for value, entry in zip(values, entries, strict=True):
            a_minus_one = mpmath.mpf(entry["a_minus_one"])
            error = mpmath.mpf(value) - 1 - a_minus_one
            on_a = max(on_a, float(abs(error / (1 + a_minus_one))))
            if 1e-5 <= a_minus_one <= 1e-3:
                on_small = max(on_small or 0.0, float(abs(error / a_minus_one)))
        small = "-" if on_small is None else f"{on_small:.1e}"
        print(f"{name:>16} {rho:>7} {len(entries):>6} {on_a:>11.1e} {small:>15}")


if __name__ == "__main__":
    main()
