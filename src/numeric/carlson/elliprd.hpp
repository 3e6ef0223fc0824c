// Carlson's symmetric integral of the second kind
//   R_D(x, y, z) = R_J(x, y, z, z) = 3/2 * integral_0^inf dt / ((t + z) sqrt((t + x)(t + y)(t + z))),
// by duplication with a seventh-order series (Carlson 1995), with closed forms for equal
// arguments and a weighted arithmetic-geometric mean when x or y is zero.
#pragma once

#include <algorithm>
#include <cmath>
#include <utility>

#include "numeric/carlson/weighted_agm.hpp"
#include "numeric/elliptic_constants.hpp"
#include "numeric/elliptic_result.hpp"

namespace obrivane::numeric {

namespace detail {

// Seventh-order series of the duplication method for R_D and R_J in the elementary symmetric
// functions E2 ... E5 of the normalised deviations (Carlson 1995).
inline double rd_rj_series(double e2, double e3, double e4, double e5) noexcept {
  return 1 - 3 * e2 / 14 + e3 / 6 + 9 * e2 * e2 / 88 - 3 * e4 / 22 - 9 * e2 * e3 / 52 + 3 * e5 / 26 -
         e2 * e2 * e2 / 16 + 3 * e3 * e3 / 40 + 3 * e2 * e4 / 20 + 45 * e2 * e2 * e3 / 272 -
         9 * (e3 * e4 + e2 * e5) / 68;
}

}  // namespace detail

inline EllipticResult elliprd(double x, double y, double z) noexcept {
  namespace constants = elliptic_constants;
  if (std::fmin(x, y) < 0 || x + y == 0) {
    return EllipticResult::failure("elliprd: x and y must be non-negative, and at most one can be zero.");
  }
  if (z <= 0) return EllipticResult::failure("elliprd: z must be positive");

  // R_D is symmetric in x and y only; bring an argument equal to z into y.
  if (x == z) std::swap(x, y);

  if (y == z) {
    if (x == y) return EllipticResult::value_of(1 / (x * std::sqrt(x)));
    if (x == 0) return EllipticResult::value_of(constants::three_pi / (4 * y * std::sqrt(y)));
  }

  if (x == 0) {
    // R_D(0, y, z) from the arithmetic-geometric mean of sqrt y and sqrt z and the weighted sum
    // of the squared differences, as for the complete integral of the second kind.
    const double a0 = std::sqrt(y);
    const double b0 = std::sqrt(z);
    const auto [a, b, sum] = detail::weighted_agm(a0, b0);
    const double rf = constants::pi / (a + b);
    const double bracket = (a0 + 3 * b0) / (4 * z * (a0 + b0)) - sum / (z * (y - z));
    return EllipticResult::value_of(3 * rf * bracket);
  }

  // Duplication. Unlike R_F, each pass leaves a remainder 3 / (sqrt(z)(z + lambda)) scaled by 4^-k.
  const double mean0 = (x + y + 3 * z) / 5;
  double spread = constants::rd_stop_factor * std::max(std::max(mean0 - x, mean0 - y), mean0 - z) *
                  constants::rd_stop_margin;
  double scale = 1;
  double sum = 0;
  double mean = mean0;
  double xn = x;
  double yn = y;
  double zn = z;
  bool converged = false;
  for (int pass = 0; pass < constants::rd_max_passes; ++pass) {
    const double rx = std::sqrt(xn);
    const double ry = std::sqrt(yn);
    const double rz = std::sqrt(zn);
    const double lambda = rx * ry + rx * rz + ry * rz;
    sum = sum + scale / (rz * (zn + lambda));
    mean = (mean + lambda) / 4;
    xn = (xn + lambda) / 4;
    yn = (yn + lambda) / 4;
    zn = (zn + lambda) / 4;
    scale = scale / 4;
    spread = spread / 4;
    if (spread < mean) {
      converged = true;
      break;
    }
  }
  if (!converged) return EllipticResult::failure("elliprd: Failed to converge.");

  const double dx = scale * (mean0 - x) / mean;
  const double dy = scale * (mean0 - y) / mean;
  const double dz = -(dx + dy) / 3;
  const double e2 = dx * dy - 6 * dz * dz;
  const double e3 = (3 * dx * dy - 8 * dz * dz) * dz;
  const double e4 = 3 * (dx * dy - dz * dz) * dz * dz;
  const double e5 = dx * dy * dz * dz * dz;
  return EllipticResult::value_of(scale * std::pow(mean, -1.5) * detail::rd_rj_series(e2, e3, e4, e5) +
                                  3 * sum);
}

}  // namespace obrivane::numeric
