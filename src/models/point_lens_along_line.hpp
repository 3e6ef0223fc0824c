// The point-lens magnification times the distance from the lens, along a line through it: with
// w the signed position on the line, d^2r = |w| dw dtheta and
//   F(w) = A(|w|) |w| = (w^2 + 2) / sqrt(w^2 + 4),
// analytic on the whole real line (branch points at w = +-2i), the integrand of every integral
// along lines through the lens.
#pragma once

#include <cmath>

namespace obrivane::models {

inline double point_lens_times_radius(double w) noexcept {
  const double w_squared = w * w;
  return (w_squared + 2) / std::sqrt(w_squared + 4);
}

// The point-lens excess times the distance, g(w) = w (A(w) - 1), for w > 0, formed without the
// cancellation of F(w) - w: 4 / (sqrt(w^2 + 4) (w^2 + 2 + w sqrt(w^2 + 4))). It falls as 2/w^3.
inline double point_lens_excess_times_radius(double w) noexcept {
  const double root = std::sqrt(w * w + 4);
  return 4 / (root * ((w * w + 2) + w * root));
}

}  // namespace obrivane::models
