// Definite integral over a finite interval by the tanh-sinh (double-exponential) rule of
// Takahasi and Mori.
//
// The substitution y = M + H tanh(pi/2 sinh t) maps [a, b] onto the whole t axis and makes the
// integrand decay double-exponentially, so the trapezoidal rule in t converges very fast, even
// for integrable end-point singularities. The estimate after level k is h_k times the sum over
// all points t = j h_k with |t| <= 3; each level halves the previous estimate and adds the
// points that are new at its step, stored in tanh_sinh_table.hpp.
//
// Every operation below is written in the order and grouping that fixes the result bit for bit.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <type_traits>

#include "numeric/tanh_sinh_table.hpp"

namespace obrivane::numeric {

struct IntegrationResult {
  double integral;
  double error_estimate;
  std::uint32_t evaluations;
};

namespace detail {

// The rule drops non-finite integrand values (they usually come from a failure of the
// integrand's own special functions at isolated points) instead of poisoning the whole sum.
template <class Integrand>
double finite_or_zero(Integrand& integrand, double y) {
  const double value = integrand(y);
  return std::isfinite(value) ? value : 0.0;
}

}  // namespace detail

// Integrates `integrand` over [a, b] until the error estimate falls below `target` or the
// seven levels of the table are used up (at most 385 evaluations). Never fails: the last
// estimate is returned either way. The integrand is called on the calling thread, one point at
// a time, and never at a or b themselves. Allocates nothing.
template <class Integrand>
IntegrationResult integrate(Integrand&& integrand, double a, double b,
                            double target) noexcept(std::is_nothrow_invocable_v<Integrand&, double>) {
  constexpr double pi = std::numbers::pi;
  constexpr double largest_double = 1.7976931348623157e308;
  // Levels 1 and 2 have too few points for their difference to say anything about convergence;
  // the first test comes after level 3.
  constexpr std::uint32_t untested_evaluations = 13;

  const double half_width = (b - a) * 0.5;
  const double midpoint = (a + b) * 0.5;
  // The sums below integrate over [-1, 1]; the final result is scaled by the half-width.
  const double scaled_target = (target * 0.25) / half_width;

  double estimate = pi * detail::finite_or_zero(integrand, midpoint + half_width * 0.0);
  std::uint32_t evaluations = 1;
  double previous_difference = largest_double;
  double error = largest_double;

  for (std::size_t level = 0; level < tanh_sinh_levels; ++level) {
    const std::size_t first = tanh_sinh_level_offsets[level];
    const std::size_t last = tanh_sinh_level_offsets[level + 1];
    double sum = 0.0;
    for (std::size_t i = first; i < last; ++i) {
      const TanhSinhNode& node = tanh_sinh_nodes[i];
      const double right = detail::finite_or_zero(integrand, midpoint + half_width * node.abscissa);
      const double left = detail::finite_or_zero(integrand, midpoint - half_width * node.abscissa);
      sum = sum + node.weight * (right + left);
    }
    const double half = estimate * 0.5;
    evaluations = evaluations + static_cast<std::uint32_t>(2 * (last - first));
    const double difference = std::fabs(half - sum);
    estimate = half + sum;

    if (evaluations <= untested_evaluations) {
      previous_difference = difference;
      continue;
    }
    if (half - sum == 0.0) {
      return IntegrationResult{half_width * estimate, half_width * 0.0, evaluations};
    }
    // Once the rule converges, each halving of the step squares the error: the logarithms of
    // successive differences then have a ratio near 2, and the square of the latest difference
    // is a fair estimate of the remaining error. Otherwise the difference itself is used.
    const double ratio = std::log(difference) / std::log(previous_difference);
    if (1.9 < ratio && ratio < 2.1) {
      error = (half - sum) * (half - sum);
    } else {
      error = difference;
    }
    previous_difference = difference;
    if (error < scaled_target) break;
  }
  return IntegrationResult{half_width * estimate, half_width * error, evaluations};
}

// The rule's sum of weights after each level (over [-1, 1]): the estimate of the integral of 1,
// in the order of operations of integrate().
inline constexpr std::array<double, tanh_sinh_levels> tanh_sinh_weight_sums = [] {
  std::array<double, tanh_sinh_levels> sums{};
  double estimate = std::numbers::pi;
  for (std::size_t level = 0; level < tanh_sinh_levels; ++level) {
    double sum = 0.0;
    for (std::size_t i = tanh_sinh_level_offsets[level]; i < tanh_sinh_level_offsets[level + 1]; ++i) {
      sum = sum + tanh_sinh_nodes[i].weight * 2.0;
    }
    estimate = estimate * 0.5 + sum;
    sums[level] = estimate;
  }
  return sums;
}();

// The same integral, exact for constant (and, by symmetry, linear) integrands at every level.
// The weights of a level do not sum to 2: the points stop at |t| = 3, whose abscissa is
// 1 - 4.3e-14, and the coarse levels alias; an integrand that does not vanish at the ends loses or
// gains up to a relative 4e-14 that way, far above the rule's accuracy once it has converged.
// The difference 2 - (sum of weights) is added back at the ends, from the integrand at a and b
// themselves (a non-finite end value counts as 0, as inside the rule).
template <class Integrand>
IntegrationResult integrate_to_the_ends(Integrand&& integrand, double a, double b, double target) noexcept(
    std::is_nothrow_invocable_v<Integrand&, double>) {
  IntegrationResult result = integrate(integrand, a, b, target);
  // evaluations = 1 + 2 * (points up to the last level).
  std::size_t level = 0;
  while (level + 1 < tanh_sinh_levels && 1 + 2 * tanh_sinh_level_offsets[level + 1] < result.evaluations)
    ++level;
  const double missing = 2.0 - tanh_sinh_weight_sums[level];
  const double ends = detail::finite_or_zero(integrand, a) + detail::finite_or_zero(integrand, b);
  result.integral = result.integral + ((b - a) * 0.25) * (missing * ends);
  return result;
}

}  // namespace obrivane::numeric
