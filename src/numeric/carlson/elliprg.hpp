// Carlson's completely symmetric integral of the second kind
//   R_G(x, y, z) = 1/(4 pi) * integral over the unit sphere of sqrt(x s1^2 + y s2^2 + z s3^2) dA,
// from R_F and R_D (Carlson 1995), with closed forms for equal arguments and the weighted
// arithmetic-geometric mean when the smallest argument is zero.
#pragma once

#include <cmath>
#include <utility>

#include "numeric/carlson/elliprc.hpp"
#include "numeric/carlson/elliprd.hpp"
#include "numeric/carlson/elliprf.hpp"
#include "numeric/carlson/weighted_agm.hpp"
#include "numeric/elliptic_constants.hpp"
#include "numeric/elliptic_result.hpp"

namespace obrivane::numeric {

inline EllipticResult elliprg(double x, double y, double z) noexcept {
  namespace constants = elliptic_constants;
  if (x < 0 || y < 0 || z < 0) return EllipticResult::failure("elliprg: x, y, and z must be non-negative.");

  // Order the arguments x >= z >= y: with the middle one in z, the R_D term below has a
  // non-positive factor (x - z)(y - z) and the sum involves no cancellation.
  if (x < y) std::swap(x, y);
  if (x < z) std::swap(x, z);
  if (y > z) std::swap(y, z);

  if (x == z) {
    if (y == z) return EllipticResult::value_of(std::sqrt(x));
    if (y == 0) return EllipticResult::value_of((std::sqrt(x) * constants::pi) / 4);
    const EllipticResult rc = elliprc(y, x);
    if (!rc.ok()) return rc;
    return EllipticResult::value_of((x * rc.value() + std::sqrt(y)) / 2);
  }
  if (y == z) {
    if (y == 0) return EllipticResult::value_of(std::sqrt(x) / 2);
    const EllipticResult rc = elliprc(x, y);
    if (!rc.ok()) return rc;
    return EllipticResult::value_of((y * rc.value() + std::sqrt(x)) / 2);
  }
  if (y == 0) {
    // The weighted arithmetic-geometric mean that also gives the complete integral E.
    const double a0 = std::sqrt(x);
    const double b0 = std::sqrt(z);
    const auto [a, b, sum] = detail::weighted_agm(a0, b0);
    return EllipticResult::value_of(((a0 + b0) * (a0 + b0) / 4 - sum) * (constants::pi / (a + b)) / 2);
  }

  const EllipticResult rf = elliprf(x, y, z);
  if (!rf.ok()) return rf;
  const EllipticResult rd = elliprd(x, y, z);
  if (!rd.ok()) return rd;
  return EllipticResult::value_of(
      (std::sqrt(x * y / z) + z * rf.value() - (x - z) * (y - z) * rd.value() / 3) / 2);
}

}  // namespace obrivane::numeric
