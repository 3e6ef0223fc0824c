// Magnification of a uniformly bright disk by a point-mass lens at separation u and radius rho, both
// in Einstein radii, to a few ulps everywhere: Witt & Mao's closed form recast as two of Bulirsch's
// integrals of one modulus from one loop, and the mean-value series clear of the lens.
#pragma once

namespace obrivane::models {

// NaN for u < 0, a NaN argument, rho <= 0 or an infinite rho; 1 for an infinite u.
double uniform_disk_magnification_fast(double u, double rho) noexcept;

}  // namespace obrivane::models
