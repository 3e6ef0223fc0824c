"""Thin-ring cases at the edges of the double range: huge and tiny scales, Einstein radii far
larger or smaller than the ring, quotients re/rstar that overflow or underflow."""

EXTREME_RING_CASES = [
    # 4 q^2 overflows: the closed form gave 0.0
    (0.956, 0.527, 2.06e154, 2.74),
    (1.0, 0.5, 1e300, 1e-10),  # q itself overflows, and so does the magnification
    (1e308, 0.9e308, 1e300, 1e-10),  # l + r overflows; q overflows, the magnification does not
    (1e308, 0.9e308, 1.0, 1.0),
    (1e-320, 3e-320, 1.0, 1.0),  # subnormal radii
    (1e-300, 2e-300, 1.0, 1.0),
    (1.0, 2.0, 1e-300, 1.0),  # q^2 underflows
    (1e200, 2e200, 1e-200, 1.0),
    (1e-200, 1.5e-200, 1e-200, 1.0),
    (3.0, 3.0 + 3e-15, 1e160, 1.0),  # near the lens with q^2 out of range
    (3.0, 3.0 + 3e-15, 1e-160, 1.0),
    (0.0, 1e-300, 1e300, 1.0),
    (1e-310, 0.0, 1.0, 1e10),
    (1.5, 1.5 * (1 + 2**-52), 1e-300, 1.0),
    (1e150, 1e-150, 1.0, 1.0),
    (5e-324, 1.0, 1.0, 1.0),
    (1.0, 0.5, 5e-324, 1.0),
    (1.0, 0.5, 1.0, 1.7e308),
]
