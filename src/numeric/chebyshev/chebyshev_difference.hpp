// The divided difference of a Chebyshev series, (p(b) - p(a)) / (b - a) for p = sum_{k<N} c_k T_k,
// formed without subtracting the two values, so that (b - a) times it keeps its digits however
// close a and b are. With Q_k = (T_k(b) - T_k(a)) / (b - a), the recurrence T_{k+1} = 2 t T_k -
// T_{k-1} at both points gives
//   Q_{k+1} = 2 b Q_k + 2 T_k(a) - Q_{k-1},   Q_0 = 0,  Q_1 = 1,
// run forward beside T_k(a); on [-1, 1] both stay within k^2 (Markov's bound on T_k'), so the sum
// has an error of a few units of sum_k |c_k| k^2.
#pragma once

#include <array>
#include <cstddef>

namespace obrivane::numeric {

// Only the first `terms` coefficients take part (1 <= terms <= N).
template <std::size_t N>
double chebyshev_divided_difference(const std::array<double, N>& c, double a, double b,
                                    std::size_t terms = N) noexcept {
  double t_previous = 1;  // T_{k-1}(a)
  double t_current = a;   // T_k(a)
  double q_previous = 0;  // Q_{k-1}
  double q_current = 1;   // Q_k
  double sum = 0;
  for (std::size_t k = 1; k < terms; ++k) {
    sum += c[k] * q_current;
    const double q_next = (b + b) * q_current + (t_current + t_current) - q_previous;
    const double t_next = (a + a) * t_current - t_previous;
    q_previous = q_current;
    q_current = q_next;
    t_previous = t_current;
    t_current = t_next;
  }
  return sum;
}

}  // namespace obrivane::numeric
