// Uniform-disk magnification of a disk far from the lens, by the mean-value series of the
// point-lens magnification. The closed form of the uniform disk loses about eps (u/a)^2 to
// cancellation when the separation u is large against the radius a; the series loses nothing.
#pragma once

#include <span>

#include "models/disk_mean_value_series.hpp"

namespace obrivane::models {

// The series is used for a <= far_disk_ratio * u. There its terms fall by about (a/u)^2 <= 1/16
// each (the singularity of A at the lens, at distance u, sets the rate; the branch points
// r^2 = -4 lie farther away), and the first omitted term, k = 13, is near
// 16^-13 / (pi 13^2) ~ 4e-19 of the sum. At the bound the closed form is still good to about
// eps 16 ~ 4e-15, so switching between the two leaves no visible step.
inline constexpr double far_disk_ratio = 0.25;

// Magnification of the uniformly bright disk of radius a (Einstein radii) whose centre lies at
// u > 0 from the lens, for 0 <= a <= far_disk_ratio * u.
double uniform_disk_magnification_far(double u, double a) noexcept;

// The mean of the point-lens magnification over the same disk weighted by a radially symmetric
// brightness I(x), x the distance from the centre in units of a:
//   sum_k c_k (a^2/4)^k / (k!)^2 Laplacian^k A(u),  c_k = int_0^1 x^(2k+1) I dx / int_0^1 x I dx.
// The uniform disk has c_k = 1/(k+1); weights[k-1] holds the ratio (k+1) c_k for k = 1, 2, ...,
// which multiplies the k-th term of the uniform disk's series. For a non-negative profile
// c_k <= 1, so the terms fall as fast as the uniform disk's up to the factor k + 1. The series
// has as many terms as there are weights, at most disk_mean_value_terms.
double weighted_disk_magnification_far(double u, double a, std::span<const double> weights) noexcept;

}  // namespace obrivane::models
