// Magnification of a linearly limb-darkened disk far from the lens, by the weighted mean-value
// series of the point-lens magnification.
#pragma once

namespace obrivane::models {

// Brightness 0.4 + 0.6 mu, mu = sqrt(1 - r^2/a^2), over the disk of radius a (Einstein radii)
// whose centre lies at u > 0 from the lens, for 0 <= a <= far_disk_ratio * u.
double limb_darkened_magnification_far(double u, double a) noexcept;

}  // namespace obrivane::models
