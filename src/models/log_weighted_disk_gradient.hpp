// The derivatives of the disk whose brightness is mu ln mu (power_weighted_disk.hpp) in the
// separation u and the radius a, both in Einstein radii, by lines through the lens.
#pragma once

#include "models/mu_weighted_disk_gradient.hpp"
#include "models/power_weighted_disk_gradient.hpp"

namespace obrivane::models {

// dL/du and dL/da of L = log_weighted_disk_integral(u, a), given as `value`, with `mu` the
// mu-weighted disk's gradient there (mu_weighted_disk_gradient), for 0 < a <=
// largest_radius_by_lines, u >= 0 and u != a (on the limb the angle integrand's logarithm at the
// tangent line is not resolved). About 1e-14 relative to the larger of the derivative and
// |L|/max(u, a).
PowerDiskSlopes log_weighted_disk_slopes(double u, double a, double value, const DiskGradient& mu) noexcept;

}  // namespace obrivane::models
