// Antiderivative of a Chebyshev series. From integral T_0 = T_1 and, for k >= 1,
// integral T_k = T_{k+1} / (2(k+1)) - T_{k-1} / (2(k-1)) (the second term absent for k = 1),
//   integral sum_{k<M} c_k T_k dt = C_0 + (c_0 - c_2/2) T_1 + sum_{k=2}^{M} (c_{k-1} - c_{k+1}) / (2k) T_k,
// with c_k = 0 for k >= M and C_0 chosen so that the antiderivative vanishes at t = -1, where
// T_k(-1) = (-1)^k.
#pragma once

#include <array>
#include <cstddef>

namespace obrivane::numeric {

template <std::size_t M>
std::array<double, M + 1> chebyshev_antiderivative(const std::array<double, M>& c) noexcept {
  static_assert(M >= 2, "a series of at least two terms");
  std::array<double, M + 1> C{};
  const auto coefficient = [&c](std::size_t k) { return k < M ? c[k] : 0.0; };
  // T_1 collects c_0 (from T_0) and -c_2/2; T_k for k >= 2 the two neighbours.
  C[1] = coefficient(0) - coefficient(2) * 0.5;
  for (std::size_t k = 2; k <= M; ++k) {
    C[k] = (coefficient(k - 1) - coefficient(k + 1)) / static_cast<double>(2 * k);
  }
  double at_minus_one = 0;
  for (std::size_t k = M; k >= 1; --k) at_minus_one += (k % 2 == 0) ? C[k] : -C[k];
  C[0] = -at_minus_one;
  return C;
}

}  // namespace obrivane::numeric
