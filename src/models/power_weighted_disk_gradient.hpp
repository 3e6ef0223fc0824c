// The derivatives of the mu^p-weighted disk (power_weighted_disk.hpp) in the separation u and the
// radius a, both in Einstein radii, by lines through the lens.
#pragma once

#include "models/power_weighted_disk.hpp"

namespace obrivane::models {

struct PowerDiskSlopes {
  double d_u;
  double d_radius;
};

// dT_p/du and dT_p/da of T_p = power_weighted_disk_integral(u, a, p, ...), given as `value`, for
// p > 0, 0 < a <= largest_radius_by_lines and u >= 0, with `lower_rules` = PowerChordRules(p - 2).
// About 1e-14 relative to the larger of the derivative and T_p/max(u, a) (a few 1e-14 for dT_p/da
// just inside four radii, a difference of two integrals), except with the lens exactly on the
// limb (u = a) for p < 2, where the integrand's singularity at the tangent line is not resolved.
PowerDiskSlopes power_weighted_disk_slopes(double u, double a, double p, double value,
                                           const PowerChordRules& lower_rules) noexcept;

}  // namespace obrivane::models
