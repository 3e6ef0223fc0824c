// Clenshaw's recurrence for a Chebyshev series sum_{k<N} c_k T_k(t), t in [-1, 1]:
//   b_k = c_k + 2 t b_{k+1} - b_{k+2},  b_N = b_{N+1} = 0,  sum = c_0 + t b_1 - b_2,
// backward stable, with an error of a few units of the largest partial sum.
#pragma once

#include <array>
#include <cstddef>

namespace obrivane::numeric {

template <std::size_t N>
double clenshaw(const std::array<double, N>& c, double t) noexcept {
  static_assert(N >= 2, "a series of at least two terms");
  const double two_t = t + t;
  double b1 = 0;
  double b2 = 0;
  for (std::size_t k = N - 1; k >= 1; --k) {
    const double b0 = c[k] + two_t * b1 - b2;
    b2 = b1;
    b1 = b0;
  }
  return c[0] + t * b1 - b2;
}

}  // namespace obrivane::numeric
