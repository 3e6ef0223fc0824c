// The derivatives of the disk whose brightness is mu ln mu (power_weighted_disk.hpp) in the
// separation u and the radius a, both in Einstein radii, by lines through the lens.
#pragma once

#include "models/law_gradient_terms.hpp"
#include "models/mu_weighted_disk_gradient.hpp"
#include "models/power_weighted_disk_gradient.hpp"

namespace obrivane::models {

// dL/du and dL/da of L = log_weighted_disk_integral(u, a), given as `value`, with `mu` the
// mu-weighted disk's gradient there (mu_weighted_disk_gradient), for 0 < a <=
// largest_radius_by_lines, u >= 0 and u != a (on the limb the angle integrand's logarithm at the
// tangent line is not resolved). About 1e-14 relative to the larger of the derivative and
// |L|/max(u, a).
PowerDiskSlopes log_weighted_disk_slopes(double u, double a, double value, const DiskGradient& mu) noexcept;

// The same for the weighted excess E of a large source with the lens well outside
// (large_source_lines.hpp), given E as `value` and the mu term's weighted excess with its
// derivatives as `mu`, by the same lines with the point-lens excess as the kernel.
PowerDiskSlopes log_weighted_disk_excess_slopes_outside(double u, double a, double value,
                                                        const TermIntegral& mu) noexcept;

}  // namespace obrivane::models
