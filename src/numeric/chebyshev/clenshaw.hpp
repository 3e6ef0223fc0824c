// Clenshaw's recurrence for a Chebyshev series sum_{k<N} c_k T_k(t), t in [-1, 1]:
//   b_k = c_k + 2 t b_{k+1} - b_{k+2},  b_N = b_{N+1} = 0,  sum = c_0 + t b_1 - b_2,
// backward stable, with an error of a few units of the largest partial sum.
#pragma once

#include <array>
#include <cstddef>

namespace obrivane::numeric {

//
// Only the first `terms` coefficients take part (1 <= terms <= N): a series whose tail has fallen
// below rounding is summed without it.
template <std::size_t N>
double clenshaw(const std::array<double, N>& c, double t, std::size_t terms = N) noexcept {
  static_assert(N >= 2, "a series of at least two terms");
  const double two_t = t + t;
  double b1 = 0;
  double b2 = 0;
  for (std::size_t k = terms - 1; k >= 1; --k) {
    const double b0 = c[k] + two_t * b1 - b2;
    b2 = b1;
    b1 = b0;
  }
  return c[0] + t * b1 - b2;
}

// The same sum at B points at once: B independent recurrences in one loop, each lane with
// exactly the operations of the single-point form (so the same result bit for bit), which lets
// the processor overlap their latencies.
template <std::size_t N, std::size_t B>
std::array<double, B> clenshaw(const std::array<double, N>& c, const std::array<double, B>& t,
                               std::size_t terms = N) noexcept {
  static_assert(N >= 2, "a series of at least two terms");
  std::array<double, B> two_t{};
  std::array<double, B> b1{};
  std::array<double, B> b2{};
  for (std::size_t i = 0; i < B; ++i) two_t[i] = t[i] + t[i];
  for (std::size_t k = terms - 1; k >= 1; --k) {
    for (std::size_t i = 0; i < B; ++i) {
      const double b0 = c[k] + two_t[i] * b1[i] - b2[i];
      b2[i] = b1[i];
      b1[i] = b0;
    }
  }
  std::array<double, B> sum{};
  for (std::size_t i = 0; i < B; ++i) sum[i] = c[0] + t[i] * b1[i] - b2[i];
  return sum;
}

}  // namespace obrivane::numeric
