// The point-lens magnification times the distance from the lens, along a line through it: with
// w the signed position on the line, d^2r = |w| dw dtheta and
//   F(w) = A(|w|) |w| = (w^2 + 2) / sqrt(w^2 + 4),
// analytic on the whole real line (branch points at w = +-2i), the integrand of every integral
// along lines through the lens.
#pragma once

#include <cmath>
#include <span>

#include "numeric/gauss_rules.hpp"

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

// A chord's Gauss sum, sum_j weight_j kernel(m + h x_j), over the rule's nodes x_j mapped onto the
// chord of midpoint m and half-length h (positions w along the line), by default of F.
template <class Kernel>
double chord_sum_of(const Kernel& kernel, double m, double h,
                    std::span<const numeric::GaussNode> rule) noexcept {
  double sum = 0;
  for (const numeric::GaussNode& point : rule) sum += point.weight * kernel(m + h * point.abscissa);
  return sum;
}

inline double chord_sum(double m, double h, std::span<const numeric::GaussNode> rule) noexcept {
  return chord_sum_of([](double w) { return point_lens_times_radius(w); }, m, h, rule);
}

}  // namespace obrivane::models
