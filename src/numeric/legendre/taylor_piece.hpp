// Selection and evaluation of the piecewise Taylor expansions of K and E on [0, 0.9).
#pragma once

#include <cstddef>

#include "numeric/legendre/taylor_coefficients.hpp"

namespace obrivane::numeric::detail {

// The piece whose expansion serves parameter m, or null outside the table. The piece index is
// i = 20 m truncated toward zero: i = 0 ... 15 select the pieces about 0.05 ... 0.75 in pairs,
// i = 16 and 17 the pieces about 0.825 and 0.875. Truncation toward zero also sends
// -0.05 < m < 0 to the piece about 0.05. NaN compares false and falls outside.
inline const TaylorPiece* taylor_piece_for(const std::array<TaylorPiece, taylor_piece_count>& pieces,
                                           double m) noexcept {
  const double scaled = 20 * m;
  if (!(scaled > -1 && scaled < 18)) return nullptr;
  const auto index = static_cast<std::size_t>(static_cast<int>(scaled));
  return &pieces[index < 16 ? index / 2 : index - 8];
}

// Horner's rule in t = m - c, from the highest coefficient down.
inline double evaluate_taylor_piece(const TaylorPiece& piece, double m) noexcept {
  const double t = m - piece.centre;
  double sum = piece.coefficients[piece.degree];
  for (std::size_t j = piece.degree; j-- > 0;) sum = sum * t + piece.coefficients[j];
  return sum;
}

}  // namespace obrivane::numeric::detail
