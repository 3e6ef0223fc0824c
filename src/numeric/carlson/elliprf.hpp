// Carlson's symmetric integral of the first kind
//   R_F(x, y, z) = 1/2 * integral_0^inf dt / sqrt((t + x)(t + y)(t + z)),
// by Carlson's duplication theorem and a seventh-order series (Carlson 1995), with closed forms
// for two equal arguments and the arithmetic-geometric mean when one argument is zero.
#pragma once

#include <algorithm>
#include <cmath>
#include <utility>

#include "numeric/carlson/elliprc.hpp"
#include "numeric/elliptic_constants.hpp"
#include "numeric/elliptic_result.hpp"

namespace obrivane::numeric {

inline EllipticResult elliprf(double x, double y, double z) noexcept {
  namespace constants = elliptic_constants;
  // std::fmin ignores a NaN operand, so NaN passes this check.
  if (std::fmin(std::fmin(x, y), z) < 0 || x + y == 0 || y + z == 0 || x + z == 0) {
    return EllipticResult::failure("elliprf: x, y, and z must be non-negative, and at most one can be zero.");
  }

  // Two equal arguments: R_F(x, y, y) = R_C(x, y).
  if (x == y) {
    if (x == z) return EllipticResult::value_of(1 / std::sqrt(x));
    if (z == 0) return EllipticResult::value_of(constants::pi / (2 * std::sqrt(x)));
    return elliprc(z, x);
  }
  if (x == z) {
    if (y == 0) return EllipticResult::value_of(constants::pi / (2 * std::sqrt(x)));
    return elliprc(y, x);
  }
  if (y == z) {
    if (x == 0) return EllipticResult::value_of(constants::pi / (2 * std::sqrt(y)));
    return elliprc(x, y);
  }

  // Move a zero argument into z.
  if (x == 0) {
    std::swap(x, z);
  } else if (y == 0) {
    std::swap(y, z);
  }

  if (z == 0) {
    // R_F(x, y, 0) = pi / (2 AGM(sqrt x, sqrt y)).
    double a = std::sqrt(x);
    double b = std::sqrt(y);
    while (std::fabs(a - b) >= constants::agm_tolerance * std::fabs(a)) {
      const double geometric = std::sqrt(a * b);
      a = (a + b) / 2;
      b = geometric;
    }
    return EllipticResult::value_of(constants::pi / (a + b));
  }

  // Duplication: R_F(x, y, z) = R_F((x + lambda) / 4, (y + lambda) / 4, (z + lambda) / 4), and each
  // pass shrinks the spread of the arguments about their mean fourfold.
  const double mean0 = (x + y + z) / 3;
  double spread = constants::rf_stop_factor * std::max(std::max(std::fabs(mean0), std::fabs(mean0 - x)),
                                                       std::max(std::fabs(mean0 - y), std::fabs(mean0 - z)));
  double scale = 1;
  double mean = mean0;
  double xn = x;
  double yn = y;
  double zn = z;
  bool converged = false;
  for (int pass = 0; pass < constants::rf_max_passes; ++pass) {
    const double lambda =
        std::sqrt(xn) * std::sqrt(yn) + std::sqrt(xn) * std::sqrt(zn) + std::sqrt(yn) * std::sqrt(zn);
    mean = (mean + lambda) / 4;
    xn = (xn + lambda) / 4;
    yn = (yn + lambda) / 4;
    zn = (zn + lambda) / 4;
    spread = spread / 4;
    scale = 4 * scale;
    if (spread < std::fabs(mean)) {
      converged = true;
      break;
    }
  }
  if (!converged) return EllipticResult::failure("elliprf: Failed to converge.");

  // Series in the elementary symmetric functions of the normalised deviations.
  const double dx = (mean0 - x) / (mean * scale);
  const double dy = (mean0 - y) / (mean * scale);
  const double dz = -dx - dy;
  const double e2 = dx * dy - dz * dz;
  const double e3 = dx * dy * dz;
  return EllipticResult::value_of(
      (1 + e3 * (1.0 / 14 + 3 * e3 / 104) +
       e2 * (-1.0 / 10 + e2 / 24 - 3 * e3 / 44 - 5 * e2 * e2 / 208 + e2 * e3 / 16)) /
      std::sqrt(mean));
}

}  // namespace obrivane::numeric
