// Carlson's symmetric integral of the third kind
//   R_J(x, y, z, p) = 3/2 * integral_0^inf dt / ((t + p) sqrt((t + x)(t + y)(t + z))),
// with the Cauchy principal value for p < 0 (Carlson 1995): after sorting x <= y <= z,
//   (z + q) R_J(x, y, z, -q) = (p' - z) R_J(x, y, z, p') - 3 R_F(x, y, z)
//                              + 3 sqrt(x y z / (x y + p' q)) R_C(x y + p' q, p' q),
// where p' = (z (x + y + q) - x y) / (z + q) > 0.
#pragma once

#include <cmath>
#include <utility>

#include "numeric/carlson/_elliprj.hpp"
#include "numeric/carlson/elliprc.hpp"
#include "numeric/carlson/elliprf.hpp"
#include "numeric/elliptic_result.hpp"

namespace obrivane::numeric {

inline EllipticResult elliprj(double x, double y, double z, double p) noexcept {
  // std::fmin ignores a NaN operand, so NaN passes this check.
  if (std::fmin(std::fmin(x, y), z) < 0 || x + y == 0 || y + z == 0 || x + z == 0) {
    return EllipticResult::failure("elliprj: x, y, and z must be non-negative, and at most one can be zero.");
  }
  if (p == 0) return EllipticResult::failure("elliprj: p must be non-zero");

  if (!(p < 0)) return _elliprj(x, y, z, p);

  if (x > y) std::swap(x, y);
  if (y > z) std::swap(y, z);
  if (x > y) std::swap(x, y);
  const double q = -p;
  const double p_shifted = (z * (x + y + q) - x * y) / (z + q);

  const EllipticResult rj = _elliprj(x, y, z, p_shifted);
  if (!rj.ok()) return rj;
  const EllipticResult rf = elliprf(x, y, z);
  if (!rf.ok()) return rf;
  const EllipticResult rc = elliprc(x * y + p_shifted * q, p_shifted * q);
  if (!rc.ok()) return rc;
  return EllipticResult::value_of(((p_shifted - z) * rj.value() - 3 * rf.value() +
                                   3 * std::sqrt(x * y * z / (x * y + p_shifted * q)) * rc.value()) /
                                  (z + q));
}

}  // namespace obrivane::numeric
