// The sines and cosines of the angles of the lines through the lens where they are fixed: with the
// lens inside the source, a Gauss-Legendre rule over the quarter circle [0, pi/2] places its lines
// at theta = (pi/4)(1 + x), whatever the geometry, so their sines and cosines are made once per
// rule (on first use) rather than at every separation. They are the very numbers std::sin and
// std::cos give for the angle formed so.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace obrivane::models {

struct LineAngle {
  double sine;
  double cosine;
};

template <const auto& Rule>
const auto& quarter_circle_angles() noexcept {
  static const auto angles = [] {
    std::array<LineAngle, Rule.size()> made{};
    const double half_range = std::numbers::pi / 2 * 0.5;
    for (std::size_t i = 0; i < Rule.size(); ++i) {
      const double theta = half_range + half_range * Rule[i].abscissa;
      made[i] = {std::sin(theta), std::cos(theta)};
    }
    return made;
  }();
  return angles;
}

}  // namespace obrivane::models
