"""Accuracy of witt_mao_magnification just outside its near-limb band.

    PYTHONPATH=build/dev python benchmarks/accuracy_uniform_band_edges.py [--samples N]

Within 1e-3 (u + rho) of the limb (|l - 1| below about 2e-3) the uniform disk takes Carlson's
forms with exact complements; outside, the Witt-Mao formula in its fixed order of operations,
whose Legendre routines form 1 - n from n. Just outside the band 1 - n = ((l - 1)/(l + 1))^2 is
about 1e-6, and the rounding of n costs up to a relative 1e-16 / (1 - n) there. Random source
radii rho = rstar/re from 0.01 to 100 Einstein radii and separations with |l - 1| from 2e-3 to
3.5e-3 on either side of the limb (those inside the band left out), against the Witt-Mao formula
evaluated by mpmath at 40 digits, its elliptic integrals included.

Printed: the relative error (median and worst, also in units of the machine epsilon 2^-52) and
where the worst one lies.
"""

import argparse
import random
import statistics

import mpmath
import obrivane
from accuracy_closed_forms import witt_mao

EPS = 2.0**-52


def in_near_limb_band(u: float, rho: float) -> bool:
    """The test witt_mao_magnification applies, in the same double arithmetic."""
    d = u - rho
    return abs(d) < 1e-5 or abs(d) < 1e-3 * (u + rho)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--samples", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=1)
    arguments = parser.parse_args()
    rng = random.Random(arguments.seed)
    errors = []
    worst = (0.0, None)
    while len(errors) < arguments.samples:
        rho = 10 ** rng.uniform(-2, 2)
        separation = 1 + rng.choice([-1, 1]) * rng.uniform(2e-3, 3.5e-3)
        if in_near_limb_band(separation * rho, rho):
            continue
        got = obrivane.witt_mao_magnification([separation], 1.0, rho)[0]
        expected = witt_mao(separation * rho, rho)
        error = float(abs((mpmath.mpf(got) - expected) / expected))
        errors.append(error)
        if error > worst[0]:
            worst = (error, (separation, rho))
    median = statistics.median(errors)
    print(f"{len(errors)} separations, rho 0.01 to 100, |l - 1| from 2e-3 to 3.5e-3")
    print(f"relative error: median {median:.2e} ({median / EPS:.0f} eps)")
    print(f"                worst  {worst[0]:.2e} ({worst[0] / EPS:.0f} eps)")
    print(f"worst at l = {worst[1][0]!r}, rho = {worst[1][1]!r}")


if __name__ == "__main__":
    main()
