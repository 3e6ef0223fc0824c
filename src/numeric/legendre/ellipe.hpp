// Complete elliptic integral of the second kind
//   E(m) = integral_0^(pi/2) sqrt(1 - m sin^2 theta) dtheta,  m = k^2 <= 1.
// A negative parameter is mapped into [0, 1) by E(m) = sqrt(1 - m) E(m / (m - 1)). On [0, 0.9)
// one polynomial of a piecewise Taylor expansion (Fukushima); elsewhere E(m) = 2 R_G(0, 1 - m, 1).
#pragma once

#include <cmath>

#include "numeric/carlson/elliprg.hpp"
#include "numeric/elliptic_result.hpp"
#include "numeric/legendre/taylor_coefficients.hpp"
#include "numeric/legendre/taylor_piece.hpp"

namespace obrivane::numeric {

inline EllipticResult ellipe(double m) noexcept {
  double factor = 1;
  if (m < 0) {
    factor = std::sqrt(1 - m);
    m = m / (m - 1);
  }
  if (std::isnan(m)) return EllipticResult::value_of(m);
  if (const TaylorPiece* piece = detail::taylor_piece_for(ellipe_taylor_pieces, m)) {
    return EllipticResult::value_of(factor * detail::evaluate_taylor_piece(*piece, m));
  }
  if (m > 1) return EllipticResult::failure("ellipe: m must be less than 1.");
  if (m == 1) return EllipticResult::value_of(factor);
  const EllipticResult rg = elliprg(0, 1 - m, 1);
  if (!rg.ok()) return rg;
  return EllipticResult::value_of(factor * 2 * rg.value());
}

}  // namespace obrivane::numeric
