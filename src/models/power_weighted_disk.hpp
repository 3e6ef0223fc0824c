// The disk whose brightness is mu^p, mu = sqrt(1 - r^2/a^2), p >= 0, by integrals along lines
// through the lens (as mu_weighted_disk.hpp for p = 1).
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "models/chord_rules.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models {

// The Gauss rules of the chord weight (1 - s^2)^(p/2), one per band of chord length: the node
// counts of chord_rules.hpp, set by the branch points of the point-lens magnification, 2/h from the
// chord, which do not depend on the weight.
class PowerChordRules {
 public:
  static constexpr std::size_t total_size = [] {
    std::size_t total = 0;
    for (const std::size_t size : chord_band_sizes) total += size;
    return total;
  }();

  PowerChordRules() noexcept = default;
  explicit PowerChordRules(double p) noexcept;

  // The rule for a chord of half-length h (chord_rules.hpp).
  std::span<const numeric::GaussNode> for_length(double h) const noexcept;

  // With the lens well outside the disk, the angle integral in t = (u/a) sin(theta) carries the
  // weight (1 - t^2)^((p+1)/2): its Gauss rules, 24 points for a <= 3 and 32 beyond.
  std::span<const numeric::GaussNode> outside_rule(double a) const noexcept;

  // With the lens just outside, the last panel of the angle integral, by the tangent line,
  // carries the weight (1 - x)^((p+1)/2) on [-1, 1]: its 16-point Gauss rule.
  std::span<const numeric::GaussNode> limb_rule() const noexcept { return limb_nodes_; }

 private:
  std::array<numeric::GaussNode, total_size> nodes_{};
  std::array<numeric::GaussNode, 24 + 32> outside_nodes_{};
  std::array<numeric::GaussNode, 16> limb_nodes_{};
};

// The integral of mu^p A over the disk of radius a centred u from the lens, divided by pi a^2 (the
// magnification times the flux 2/(p + 2)), for 0 < a <= chord_band_lengths.back() and
// u >= 0, to about 1e-15 relative (the rules are fixed).
double power_weighted_disk_integral(double u, double a, double p, const PowerChordRules& rules) noexcept;

// The same for the brightness mu ln mu (the derivative of mu^p at p = 1; flux -2/9), with the
// Chebyshev and logarithmic Chebyshev rules of gauss_rules.hpp.
double log_weighted_disk_integral(double u, double a) noexcept;

}  // namespace obrivane::models
