// Carlson's degenerate integral R_C(x, y) = R_F(x, y, y)
//   = 1/2 * integral_0^inf dt / ((t + y) sqrt(t + x)),
// in closed form through atan (y > x) or a logarithm (y < x). For y < 0 it is the Cauchy
// principal value, reduced to positive arguments by R_C(x, y) = sqrt(x / (x - y)) R_C(x - y, -y).
#pragma once

#include <cmath>

#include "numeric/elliptic_constants.hpp"
#include "numeric/elliptic_result.hpp"

namespace obrivane::numeric {

inline EllipticResult elliprc(double x, double y) noexcept {
  namespace constants = elliptic_constants;
  if (x < 0) return EllipticResult::failure("elliprc: x must be non-negative.");
  if (y == 0) return EllipticResult::failure("elliprc: y must be non-zero.");

  double prefactor = 1;
  if (y < 0) {
    prefactor = std::sqrt(x / (x - y));
    x = x - y;
    y = -y;
  }

  if (x == 0) return EllipticResult::value_of((prefactor * constants::half_pi) / std::sqrt(y));
  if (x == y) return EllipticResult::value_of(prefactor / std::sqrt(x));
  if (y > x)
    return EllipticResult::value_of(prefactor * std::atan(std::sqrt((y - x) / x)) / std::sqrt(y - x));
  if (y / x > 0.5) {
    // Close arguments: atanh(a) / a through log1p keeps the relative accuracy.
    const double a = std::sqrt((x - y) / x);
    return EllipticResult::value_of(prefactor * (std::log1p(a) - std::log1p(-a)) / (2 * std::sqrt(x - y)));
  }
  return EllipticResult::value_of(prefactor * std::log((std::sqrt(x) + std::sqrt(x - y)) / std::sqrt(y)) /
                                  std::sqrt(x - y));
}

}  // namespace obrivane::numeric
