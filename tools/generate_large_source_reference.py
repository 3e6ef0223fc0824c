"""Generate tests/large_source_reference.json: reference magnification integrals of the brightness
profiles mu^p (and mu ln mu) over sources of 10 to 1000 Einstein radii, by the direct
two-dimensional integral of tools/generate_brightness_law_reference.py (polar coordinates about
the source centre, the circle means in Carlson's closed form, mpmath's tanh-sinh quadrature over
the radius split where the circle through the lens is).

For a source this large the whole signal is the excess A - 1 ~ 2/rho^2, so the integrals are kept
to 25 digits at 30-digit working precision: the excess keeps 19 of them at rho = 1000.

Usage: python3 tools/generate_large_source_reference.py [OUTPUT] [--jobs N]
(default: print the JSON). A few seconds per case.
"""

from __future__ import annotations

import importlib.util
import json
import sys
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

from header_rendering import write_rendered_with_jobs

BASE = Path(__file__).resolve().parent / "generate_brightness_law_reference.py"
_spec = importlib.util.spec_from_file_location("generate_brightness_law_reference", BASE)
base = importlib.util.module_from_spec(_spec)
sys.modules[_spec.name] = base  # so that worker processes find its functions by name
_spec.loader.exec_module(base)

# Source radii either side of the switch to rays through the lens (10) and over the range of
# large sources; separations in source radii over the centre, inside, at and about the limb (a
# relative 1e-6 either side), outside and at three radii, and 0.9 and 1.1, a few Einstein radii
# or more from the limb (the rays' middle rules from rho = 30 on).
RADII = (10.0, 10.5, 30.0, 100.0, 300.0, 1000.0)
SEPARATIONS = (0.0, 0.5, 0.9, 1 - 1e-6, 1.0, 1 + 1e-6, 1.1, 1.5, 3.0)
CASES = [(s, rho) for rho in RADII for s in SEPARATIONS]


def render(jobs: int = 1) -> str:
    with ProcessPoolExecutor(max_workers=jobs) as pool:
        rows = []
        for row in pool.map(base.case_integrals, CASES):
            rows.append(row)
            print(f"{len(rows)}/{len(CASES)}", file=sys.stderr, flush=True)
    document = {"dps": base.DPS, "profiles": list(base.PROFILES), "cases": rows}
    return json.dumps(document, indent=1) + "\n"


def main(argv: list[str]) -> int:
    return write_rendered_with_jobs(render, argv)


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
