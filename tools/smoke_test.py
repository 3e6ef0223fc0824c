"""Smoke test of a build of the obrivane module with the interpreter running it: import, version,
help texts, and one call of every function against values known in closed form.

    PYTHONPATH=build/python3.X python3.X tools/smoke_test.py
"""

import math
import sys

import obrivane

# The uniform disk at the lens position: sqrt(rho^2 + 4) / rho; on the limb with rho = 1:
# (2 + pi) / pi.
assert obrivane.witt_mao_magnification([0.0], 1.0, 0.5) == [math.sqrt(4.25) / 0.5]
assert obrivane.witt_mao_magnification([1.0], 1.0, 1.0) == [(2 + math.pi) / math.pi]
assert len(obrivane.multi_witt_mao_magnification([0.5, 2.0], [1.0, 2.0], [0.1])) == 2
# A ring centred on the lens: every point is r / q Einstein radii away.
u = 0.5 / 2.0
ring = obrivane.heyrovsky_magnification(0.0, 0.5, 2.0, 1.0)
assert math.isclose(ring, (u * u + 2) / (u * math.sqrt(u * u + 4)), rel_tol=1e-12)
limb = obrivane.integrated_witt_mao_magnification([0.0, 3.0], 1.0, 0.1)
assert limb[0] > obrivane.witt_mao_magnification([0.0], 1.0, 0.1)[0] > 1.0
rings = obrivane.integrated_heyrovsky_magnification([3.0], 1.0, 0.1)
assert math.isclose(rings[0], limb[1], rel_tol=1e-6)
# A uniform table gives the uniform disk back.
table = ([0.0, 1.0], [1.0, 1.0])
uniform = obrivane.witt_mao_magnification([3.0], 1.0, 0.1)[0]
for function in (
    obrivane.integrated_flux_map_witt_mao_magnification,
    obrivane.integrated_flux_map_heyrovsky_magnification,
):
    assert math.isclose(function([3.0], 1.0, 0.1, *table)[0], uniform, rel_tol=1e-6)
assert obrivane.discrete_flux_map_heyrovsky_magnification([0.0], 2.0, 1.0, [0.5], [2.0]) == [
    2 * ring
]
assert obrivane.__all__[0] == "witt_mao_magnification" and len(obrivane.__all__) == 8
assert obrivane.witt_mao_magnification.__text_signature__ == "(l, re, rstar)"
assert obrivane.witt_mao_magnification.__doc__.startswith("Magnification of a uniformly")
print(f"obrivane {obrivane.__version__} on Python {sys.version.split()[0]}: ok")
