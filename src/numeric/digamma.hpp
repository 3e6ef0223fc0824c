// The digamma function psi(x) = Gamma'(x)/Gamma(x) for x > 0: the recurrence
// psi(x) = psi(x + 1) - 1/x up to x >= 16, then the asymptotic series
//   psi(x) = ln x - 1/(2x) - sum_k B_2k / (2k x^2k),
// to B_10; its first omitted term, 691/(32760 x^12), is below 8e-17 there, so the result is good
// to a few ulps of its larger terms (absolutely, near the root at 1.4616, where psi passes 0).
#pragma once

#include <cmath>
#include <limits>

namespace obrivane::numeric {

inline double digamma(double x) noexcept {
  if (!(x > 0)) return std::numeric_limits<double>::quiet_NaN();
  double shifted = 0;
  for (; x < 16; x += 1) shifted -= 1 / x;
  const double inverse_square = 1 / (x * x);
  // B_2/2, B_4/4, ..., B_10/10: 1/12, -1/120, 1/252, -1/240, 1/132.
  const double series =
      inverse_square *
      (1.0 / 12 -
       inverse_square *
           (1.0 / 120 - inverse_square * (1.0 / 252 - inverse_square * (1.0 / 240 - inverse_square / 132))));
  return shifted + (std::log(x) - 0.5 / x - series);
}

}  // namespace obrivane::numeric
