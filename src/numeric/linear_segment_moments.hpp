// Power moments of a linear function on a segment, exactly as a closed form without cancellation.
// With f linear on [a, b], f(a) = fa, f(b) = fb, 0 <= a <= b and h = b - a, the Bernstein form
// of (a (1 - t) + b t)^q and the beta integrals int_0^1 (1 - t)^i t^j dt = i! j! / (i + j + 1)!
// give
//   int_a^b x^q f(x) dx = h / ((q + 1)(q + 2)) [fa U_q + fb V_q],
//   U_q = sum_{i=0}^q (q - i + 1) a^(q-i) b^i,   V_q = sum_{i=0}^q (i + 1) a^(q-i) b^i,
// sums of non-negative terms, built up by
//   S_{q+1} = a S_q + b^(q+1),  U_{q+1} = a (U_q + S_q) + b^(q+1),  V_{q+1} = a V_q + (q + 2) b^(q+1),
// from S_0 = U_0 = V_0 = 1 (S_q = sum_i a^(q-i) b^i). So a narrow segment loses nothing to the
// difference b^(q+1) - a^(q+1) that the antiderivative would form.
#pragma once

#include <array>
#include <cstddef>

namespace obrivane::numeric {

// Adds int_a^b x^q f(x) dx to moments[q] for q = 0 ... Q - 1.
template <std::size_t Q>
void add_linear_segment_moments(double a, double b, double fa, double fb,
                                std::array<double, Q>& moments) noexcept {
  const double h = b - a;
  double s = 1;
  double u = 1;
  double v = 1;
  double b_power = 1;
  for (std::size_t q = 0; q < Q; ++q) {
    const double order = static_cast<double>(q);
    moments[q] += (h / ((order + 1) * (order + 2))) * (fa * u + fb * v);
    b_power *= b;
    u = a * (u + s) + b_power;
    v = a * v + (order + 2) * b_power;
    s = a * s + b_power;
  }
}

}  // namespace obrivane::numeric
