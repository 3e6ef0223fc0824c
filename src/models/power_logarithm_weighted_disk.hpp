// The disk whose brightness is mu^p ln mu, the derivative of mu^p in p (p > 0), by the lines
// through the lens of the mu^p-weighted disk (power_weighted_disk.hpp) with every rule
// differentiated in its exponent.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "models/power_weighted_disk.hpp"
#include "numeric/gauss_jacobi_exponent_slopes.hpp"

namespace obrivane::models {

// The derivatives in p of the nodes of PowerChordRules(p): the chord rules of (1 - s^2)^(p/2), the
// outside rules of (1 - t^2)^((p+1)/2) and the limb rule of (1 - x)^((p+1)/2), each in the same
// order as there.
class PowerChordSlopes {
 public:
  PowerChordSlopes() noexcept = default;
  PowerChordSlopes(double p, const PowerChordRules& rules) noexcept;

  std::span<const numeric::GaussNodeSlope> for_length(double h) const noexcept;
  std::span<const numeric::GaussNodeSlope> outside_rule(double a) const noexcept;
  std::span<const numeric::GaussNodeSlope> limb_rule() const noexcept { return limb_; }

 private:
  std::array<numeric::GaussNodeSlope, PowerChordRules::total_size> chords_{};
  std::array<numeric::GaussNodeSlope, 24 + 32> outside_{};
  std::array<numeric::GaussNodeSlope, 16> limb_{};
};

// The integrals of mu^p A and of mu^p ln mu A over the disk of radius a centred u from the lens,
// each divided by pi a^2, for 0 < a <= chord_band_lengths.back(), u >= 0 and p > 0: the first
// (power_weighted_disk_integral's, though not always to its last bit) and its derivative in p, to
// about 1e-15 of the first.
struct PowerAndLogarithm {
  double power;
  double logarithm;
};

PowerAndLogarithm power_logarithm_weighted_disk_integral(double u, double a, double p,
                                                         const PowerChordRules& rules,
                                                         const PowerChordSlopes& slopes) noexcept;

// For a large disk (largest_radius_by_lines < a) with the lens well outside it
// (u >= gauss_outside_ratio a): the excesses (1/(pi a^2)) integral of mu^p (A - 1) and of
// mu^p ln mu (A - 1), by the lines of large_source_lines.hpp differentiated in p, from
// the rules of p and their slopes.
PowerAndLogarithm power_logarithm_weighted_disk_excess_outside(double u, double a,
                                                               const PowerChordRules& rules,
                                                               const PowerChordSlopes& slopes) noexcept;

}  // namespace obrivane::models
