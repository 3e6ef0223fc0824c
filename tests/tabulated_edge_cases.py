"""Tables with narrow features and crowded limbs, and the separations at which their
magnifications are checked against tests/tabulated_ring_reference.py (cached in
tests/tabulated_edge_references.json by tools/generate_tabulated_edge_references.py).

s is the separation of the source centre from the lens in source radii, rho the source radius in
Einstein radii.
"""

import numpy as np

# A bright ring 1e-6 wide, a step, and two radii 1e-9 apart (a slope of 5e8 between them).
RING = ([0.0, 0.5, 0.5, 0.500001, 0.500001, 1.0], [0.0, 0.0, 1.0, 1.0, 0.0, 0.0])
STEP = ([0.0, 0.4, 0.4, 1.0], [1.0, 1.0, 0.5, 0.5])
NEAR_DUPLICATE = ([0.0, 0.3, 0.3 + 1e-9, 1.0], [1.0, 1.0, 0.5, 0.5])


def quadratic_law(rows):
    """I = 1 - 0.4 (1 - mu) - 0.3 (1 - mu)^2 on radii crowding towards the limb,
    r_k = sin(pi k / (2 (rows - 1)))."""
    k = np.arange(rows)
    radii = np.sin(np.pi * k / (2 * (rows - 1)))
    radii[-1] = 1.0
    mu = np.sqrt(np.maximum(1 - radii * radii, 0.0))
    return radii.tolist(), (1 - 0.4 * (1 - mu) - 0.3 * (1 - mu) ** 2).tolist()


def table(name):
    if name.startswith("quadratic-"):
        return quadratic_law(int(name.split("-")[1]))
    return {"ring": RING, "step": STEP, "near-duplicate": NEAR_DUPLICATE}[name]


# (table, rho, separations): on, inside and beside the features, at the centre, on the limb and
# beyond it; the crowded tables with the lens on the limb and a little inside it.
CASES = [
    ("ring", 0.01, [0.0, 0.3, 0.5, 0.5000005, 0.500001, 0.5000011, 1.0, 2.0, 3.9]),
    ("ring", 1.0, [0.4999999, 0.5000005, 1.0, 3.0]),
    ("ring", 300.0, [0.5, 0.5000005, 0.51]),
    ("step", 0.01, [0.4, 0.4 + 1e-9, 0.7, 2.0]),
    ("step", 30.0, [0.4, 0.41]),
    ("near-duplicate", 0.1, [0.0, 0.3, 0.3 + 5e-10, 0.3 + 1e-9, 0.3 - 1e-9, 1.0, 1.5]),
    ("near-duplicate", 300.0, [0.3, 0.3 + 5e-10]),
    *(
        (f"quadratic-{rows}", rho, [1.0, 1 - 1e-7])
        for rows in (40, 1000)
        for rho in (1.0, 30.0, 300.0, 1000.0)
    ),
    *(("quadratic-10000", rho, [1.0]) for rho in (1.0, 30.0, 300.0, 1000.0)),
]
