// Uniform-disk magnification of a disk far from the lens, by the mean-value series of the
// point-lens magnification. The closed form of the uniform disk loses about eps (u/a)^2 to
// cancellation when the separation u is large against the radius a; the series loses nothing.
#pragma once

namespace obrivane::models {

// The series is used for a <= far_disk_ratio * u. There its terms fall by about (a/u)^2 <= 1/16
// each (the singularity of A at the lens, at distance u, sets the rate; the branch points
// r^2 = -4 lie farther away), and the first omitted term, k = 13, is near
// 16^-13 / (pi 13^2) ~ 4e-19 of the sum. At the bound the closed form is still good to about
// eps 16 ~ 4e-15, so switching between the two leaves no visible step in a central difference.
inline constexpr double far_disk_ratio = 0.25;

// Magnification of the uniformly bright disk of radius a (Einstein radii) whose centre lies at
// u > 0 from the lens, for 0 <= a <= far_disk_ratio * u.
double uniform_disk_magnification_far(double u, double a) noexcept;

}  // namespace obrivane::models
