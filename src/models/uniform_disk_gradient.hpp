// The uniform disk's magnification with its exact partial derivatives in the separation u and the
// radius rho (Einstein radii): forward-mode differentiation (numeric/dual.hpp) of the same
// evaluation as uniform_disk_magnification_accurate, Bulirsch's two-integral closed form near the
// source and the mean-value series clear of it, so the derivatives are those of that closed form
// and that series, to rounding.
//
// Where the lens crosses the limb the disk's magnification has a (u - rho) ln|u - rho| term: both
// derivatives diverge logarithmically, d_u to -inf and d_rho to +inf (the magnification falls
// steeply as the lens leaves the disk, and a growing disk takes the lens in). At u = rho exactly
// those infinities are returned.
#pragma once

namespace obrivane::models {

struct UniformDiskGradient {
  double magnification;
  double d_u;
  double d_rho;
};

// NaN for u < 0, a NaN argument, rho <= 0 or an infinite rho; magnification 1 and derivatives 0
// for an infinite u or a radius beyond which the magnification rounds to 1 (the derivatives are
// then below 1e-26). The magnification is not bounded below by 1.
UniformDiskGradient uniform_disk_gradient(double u, double rho) noexcept;

// The same with d = u - rho given, more accurately than u and rho give it: beside the limb both
// derivatives follow ln|d|, and an error of epsilon rho in d moves them by epsilon rho / |d|. For
// u >= 0 and rho > 0 finite, |d| consistent with u and rho to their rounding.
UniformDiskGradient uniform_disk_gradient(double u, double rho, double d) noexcept;

}  // namespace obrivane::models
