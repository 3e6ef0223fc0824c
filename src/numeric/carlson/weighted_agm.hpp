// The arithmetic-geometric mean of a0 and b0 together with the weighted sum of squared
// differences sum_k 2^(k-2) (a_k - b_k)^2 (Carlson 1995), from which R_D and R_G with a zero
// argument follow, just as the complete integral E follows from K.
#pragma once

#include <cmath>

#include "numeric/elliptic_constants.hpp"

namespace obrivane::numeric::detail {

struct WeightedAgm {
  double a;    // the arithmetic mean when the iteration stops
  double b;    // the geometric mean when the iteration stops
  double sum;  // the weighted sum of squared differences
};

inline WeightedAgm weighted_agm(double a0, double b0) noexcept {
  double a = a0;
  double b = b0;
  double sum = 0;
  double weight = 0.25;
  while (std::fabs(a - b) >= elliptic_constants::agm_tolerance * std::fabs(a)) {
    const double geometric = std::sqrt(a * b);
    a = (a + b) / 2;
    b = geometric;
    weight = 2 * weight;
    sum = sum + weight * (a - b) * (a - b);
  }
  return {a, b, sum};
}

}  // namespace obrivane::numeric::detail
