// A law's derivatives far from the lens, a <= far_disk_ratio u. The mean-value series
// (disk_mean_value_sum.hpp) is linear in the profile's moments: with the law's weights
// W_l = (l + 1) M_l / M_0 (law_far.hpp, M_l = sum_k c_k m_kl its moments, M_0 its flux),
//   A = B(u) + P sum_l W_l (a^2/t)^l H_l(p, q),
// B the point lens at the centre and P = (q/4) (sqrt(p)/t). The derivatives in u and a are those
// of the series' terms, by their own polynomials; the coefficients enter through W_l alone, so the
// derivative in coefficient i is the same series with the weights dW_l/dcoefficient_i.
#pragma once

#include <array>

#include "models/law_far.hpp"

namespace obrivane::models {

// A law's series weights W_l with their derivatives in its two coefficients,
//   dW_l/dcoefficient_i = ((l + 1) dM_l/dcoefficient_i - W_l dM_0/dcoefficient_i) / M_0:
// made once for a law's many separations.
struct FarLawWeights {
  FarWeights weights;
  std::array<FarWeights, 2> coefficient_slopes;
};

// The derivatives of A in u, in a and in the coefficients.
struct FarLawSlopes {
  double d_u;
  double d_a;
  std::array<double, 2> d_coefficients;
};

// For 0 < u and 0 <= a <= far_disk_ratio u. The series' parts the value formed at (u, a), if
// `formed` holds them, are taken up rather than formed again.
FarLawSlopes far_law_slopes(double u, double a, const FarLawWeights& law,
                            const FarSeries* formed = nullptr) noexcept;

}  // namespace obrivane::models
