// The mu-weighted disk's magnification (mu_weighted_disk.hpp) with its partial derivatives in the
// separation u and the radius a, both in Einstein radii.
#pragma once

namespace obrivane::models {

struct DiskGradient {
  double magnification;
  double d_u;
  double d_radius;
};

// For 0 < a <= largest_radius_by_lines and u >= 0; the magnification is the same number as
// mu_weighted_disk_magnification(u, a), and the derivatives reach about 1e-14 relative to the
// larger of themselves and the magnification over max(u, a).
DiskGradient mu_weighted_disk_gradient(double u, double a) noexcept;

}  // namespace obrivane::models
