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

import sys

import generate_brightness_law_reference as base
from header_rendering import write_rendered_with_jobs

# Source radii either side of the switch to rays through the lens (10) and over the range of
# large sources; separations in source radii over the centre, inside, at and about the limb (a
# relative 1e-6 either side), outside and at three radii, and 0.9, 0.95 and 1.1, a few Einstein
# radii or more from the limb (the rays' middle rules from rho = 30 on), 0.7, where the rays'
# whole angle rule meets the quarter rules, and 0.3, where its shortest trapezoidal rules serve.
# Then, for the sources taken along rays, the lens at 0.07, 0.15, 0.35 and 1.2 Einstein radii
# inside the limb, where the singular terms take their own rules along the rays (longer ones on
# the rays that start near the limb behind the lens) and the angle its longest rules.
RADII = (10.0, 10.5, 30.0, 100.0, 300.0, 1000.0)
SEPARATIONS = (0.0, 0.3, 0.5, 0.7, 0.9, 0.95, 1 - 1e-6, 1.0, 1 + 1e-6, 1.1, 1.5, 3.0)
LIMB_DISTANCES = (0.07, 0.15, 0.35, 1.2)
CASES = [(s, rho) for rho in RADII for s in SEPARATIONS] + [
    (1 - distance / rho, rho) for rho in RADII[1:] for distance in LIMB_DISTANCES
]


def render(jobs: int = 1) -> str:
    return base.reference_document(base.case_integrals, CASES, base.DPS, base.PROFILES, jobs)


def main(argv: list[str]) -> int:
    return write_rendered_with_jobs(render, argv)


if __name__ == "__main__":
    raise SystemExit(main(sys.argv))
