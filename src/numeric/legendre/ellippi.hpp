// Complete elliptic integral of the third kind
//   Pi(n, m) = integral_0^(pi/2) dtheta / ((1 - n sin^2 theta) sqrt(1 - m sin^2 theta)),
// the Cauchy principal value for n > 1. Through Carlson's R_F and R_J: for 0 < n < 1 directly,
// for n < 0 by the transformation to N = (m - n) / (1 - n) in (0, 1), and for n > 1 by
//   Pi(n, m) = -m / (3 n) R_J(0, 1 - m, 1, 1 - m / n).
#pragma once

#include <cmath>
#include <limits>

#include "numeric/carlson/elliprj.hpp"
#include "numeric/elliptic_constants.hpp"
#include "numeric/elliptic_result.hpp"
#include "numeric/legendre/ellipe.hpp"
#include "numeric/legendre/ellipk.hpp"
#include "numeric/legendre/ellippi_vc.hpp"

namespace obrivane::numeric {

inline EllipticResult ellippi(double n, double m) noexcept {
  namespace constants = elliptic_constants;
  constexpr double infinity = std::numeric_limits<double>::infinity();
  if (m > 1) return EllipticResult::failure("ellippi: m must be less than 1.");
  if (n == 1) return EllipticResult::failure("ellippi: n cannot be 1.");

  const double v = 1 - m;
  if (v <= constants::epsilon) {
    // Logarithmic divergence of K as m -> 1 carries over, with the sign of 1 - n.
    if (n < 1) return EllipticResult::value_of(infinity);
    if (n > 1) return EllipticResult::value_of(-infinity);
    return EllipticResult::value_of(std::numeric_limits<double>::quiet_NaN());
  }

  if (n > 1) {
    if (n - 1 <= constants::epsilon) {
      // Limit n -> 1 from above of the principal value.
      const EllipticResult k = ellipk(m);
      if (!k.ok()) return k;
      const EllipticResult e = ellipe(m);
      if (!e.ok()) return e;
      return EllipticResult::value_of(k.value() - e.value() / v);
    }
    const EllipticResult rj = elliprj(0, v, 1, 1 - m / n);
    if (!rj.ok()) return rj;
    return EllipticResult::value_of(((m * -0.3333333333333333) / n) * rj.value());
  }

  if (1 - n <= constants::epsilon) return EllipticResult::value_of(infinity);
  if (n == 0) {
    if (m == 0) return EllipticResult::value_of(constants::half_pi);
    return ellipk(m);
  }
  if (!(n < 0)) return ellippi_vc(n, m, 1 - n);

  // n < 0: Pi(m, m) = E(m) / (1 - m); otherwise move to the characteristic N in (0, 1).
  if (m == n) {
    const EllipticResult e = ellipe(m);
    if (!e.ok()) return e;
    return EllipticResult::value_of((1 / v) * e.value());
  }
  const double transformed_n = (m - n) / (1 - n);
  const double transformed_vc = v / (1 - n);
  const EllipticResult transformed = ellippi_vc(transformed_n, m, transformed_vc);
  if (!transformed.ok()) return transformed;
  const EllipticResult k = ellipk(m);
  if (!k.ok()) return k;
  return EllipticResult::value_of(m * k.value() / (m - n) -
                                  v * (n * transformed.value() / (1 - n)) / (m - n));
}

}  // namespace obrivane::numeric
