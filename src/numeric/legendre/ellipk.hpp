// Complete elliptic integral of the first kind
//   K(m) = integral_0^(pi/2) dtheta / sqrt(1 - m sin^2 theta),  m = k^2 < 1.
// On [0, 0.9) one polynomial of a piecewise Taylor expansion (Fukushima); elsewhere
// K(m) = R_F(0, 1 - m, 1), which reduces to the arithmetic-geometric mean.
#pragma once

#include <cmath>
#include <limits>

#include "numeric/carlson/elliprf.hpp"
#include "numeric/elliptic_result.hpp"
#include "numeric/legendre/taylor_coefficients.hpp"
#include "numeric/legendre/taylor_piece.hpp"

namespace obrivane::numeric {

inline EllipticResult ellipk(double m) noexcept {
  if (std::isnan(m)) return EllipticResult::value_of(m);
  if (const TaylorPiece* piece = detail::taylor_piece_for(ellipk_taylor_pieces, m)) {
    return EllipticResult::value_of(detail::evaluate_taylor_piece(*piece, m));
  }
  if (m > 1) return EllipticResult::failure("ellipk: m must be less than 1.");
  if (m == 1) return EllipticResult::value_of(std::numeric_limits<double>::infinity());
  return elliprf(0, 1 - m, 1);
}

}  // namespace obrivane::numeric
