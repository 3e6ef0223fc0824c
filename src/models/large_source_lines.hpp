// The excess A - 1 of a large source (largest_radius_by_lines < a) with the lens well outside it,
// u >= gauss_outside_ratio a, by the lines through the lens of power_weighted_disk.cpp with the
// point-lens excess g(w) = w (A(w) - 1) in place of F(w) = w A(w): the weighted excess
//   E_p = (1/(pi a^2)) integral of mu^p (A - 1) d^2r
// comes directly, not as the difference of two numbers near 1, and every term of a law takes one
// pass over the lines, with its limb singularity in the Gauss-Jacobi rules of the chord and angle
// weights.
#pragma once

#include "models/point_lens_along_line.hpp"
#include "models/power_logarithm_weighted_disk.hpp"
#include "models/power_weighted_disk.hpp"
#include "models/power_weighted_disk_gradient.hpp"
#include "models/power_weighted_lines.hpp"

namespace obrivane::models {

// The chord rules of every line take the band of this half-length (28 points), whatever the
// chord's length (large_source_lines.cpp).
inline constexpr double excess_chord_length = 3;
// The angle rules are those of a disk of this radius (32 points).
inline constexpr double excess_angle_radius = 10;
// From this separation (source radii) on, the lines' branch points lie further out: every chord
// has delta >= 1 and the angle's singularity lies at t >= 2, so both Bernstein ellipses have a
// ratio of at least 2 + sqrt(3) = 3.73, and 12 chord points (the band of far_excess_chord_length)
// leave 3.73^-24 = 2e-14 of an excess that is itself below 2e-5 of A there, 24 angle points (the
// rules of a disk of far_excess_angle_radius) 3.73^-48.
inline constexpr double far_excess_lines_ratio = 2;
inline constexpr double far_excess_chord_length = 1;
inline constexpr double far_excess_angle_radius = 3;

inline bool far_excess_lines(double u, double a) noexcept { return u >= far_excess_lines_ratio * a; }
inline double excess_chord_length_for(double u, double a) noexcept {
  return far_excess_lines(u, a) ? far_excess_chord_length : excess_chord_length;
}
inline double excess_angle_radius_for(double u, double a) noexcept {
  return far_excess_lines(u, a) ? far_excess_angle_radius : excess_angle_radius;
}

// Whether a large source's excess comes by these lines: the lens well outside it.
inline bool large_source_by_lines(double u, double a) noexcept {
  return u >= power_lines::gauss_outside_ratio * a;
}

// The point-lens excess times the distance as the kernel of the lines' chord sums.
inline double excess_kernel(double w) noexcept { return point_lens_excess_times_radius(w); }

// E_p for p > 0, from `rules` = PowerChordRules(p).
double power_weighted_disk_excess_outside(double u, double a, const PowerChordRules& rules) noexcept;

// E_1, the mu-weighted disk's, by rules made once.
double mu_weighted_disk_excess_outside(double u, double a) noexcept;

// E_1 and the same for the brightness mu ln mu, the derivative of E_p in p at p = 1, from one pass
// over the lines (power_logarithm_weighted_disk_excess_outside with the rules of mu and their
// slopes in p), where the two took three: mu, and mu ln mu's logarithm along the angle and along
// the chord apart.
PowerAndLogarithm mu_and_log_weighted_disk_excess_outside(double u, double a) noexcept;

// dE_p/du and dE_p/da (those of T_p, whose flux part is constant) given E_p as `value`, by the
// lines of power_weighted_disk_gradient.cpp with g: the slope in u loses nothing, since the mean of
// mu^(p-2) (x - u) over the disk vanishes, and a dE_p/da = p E_(p-2) - (p + 2) E_p, the fluxes'
// parts cancelling (p 2/p = (p + 2) 2/(p + 2)). `lower_rules` = PowerChordRules(p - 2).
PowerDiskSlopes power_weighted_disk_excess_slopes_outside(double u, double a, double p, double value,
                                                          const PowerChordRules& lower_rules) noexcept;

}  // namespace obrivane::models
