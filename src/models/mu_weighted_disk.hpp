// Magnification of a disk whose brightness is mu = sqrt(1 - r^2/a^2) (the limb-darkened part of
// the linear law): the mean of the point-lens magnification over the disk of radius a (Einstein
// radii) centred u from the lens, weighted by mu.
#pragma once

namespace obrivane::models {

// The largest radius for which the line integrals below reach rounding level with their node
// tables; beyond it the laws take their excess over 1 from rays through the lens
// (large_source.hpp).
inline constexpr double largest_radius_by_lines = 10;

// By integrals along lines through the lens, for 0 < a <= largest_radius_by_lines and u >= 0.
double mu_weighted_disk_magnification(double u, double a) noexcept;

}  // namespace obrivane::models
