// Mean of the point-lens magnification over a disk clear of the lens, summed from the committed
// series coefficients (see disk_mean_value_series.hpp for the form).
#include "models/uniform_disk_far.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "models/disk_mean_value_series.hpp"

namespace obrivane::models {
namespace {

constexpr std::size_t highest_degree = 2 * disk_mean_value_terms - 1;

// H_k(p, q) = sum_j c[j] p^j q^(m-j) with m = 2k - 1, nested from the highest power of p.
double homogeneous_term(std::size_t k, double p, const std::array<double, highest_degree + 1>& q_powers) {
  const std::size_t begin = disk_mean_value_offsets[k - 1];
  const std::size_t degree = 2 * k - 1;
  double sum = disk_mean_value_coefficients[begin + degree];
  for (std::size_t j = degree; j-- > 0;) {
    sum = sum * p + disk_mean_value_coefficients[begin + j] * q_powers[degree - j];
  }
  return sum;
}

}  // namespace

double weighted_disk_magnification_far(double u, double a, std::span<const double> weights) noexcept {
  const std::size_t terms = std::min(weights.size(), disk_mean_value_terms);
  const double t = u * u;
  // p = t/(t+4) and q = 4/(t+4), formed from 4/t so that an overflowing t gives the limit
  // p = 1, q = 0 (magnification 1) rather than inf/inf.
  const double four_over_t = 4 / t;
  const double p = 1 / (1 + four_over_t);
  const double q = four_over_t * p;
  const double a_over_u = a / u;
  const double ratio = a_over_u * a_over_u;
  std::array<double, highest_degree + 1> q_powers{};
  q_powers[0] = 1;
  for (std::size_t i = 1; i < 2 * terms; ++i) q_powers[i] = q_powers[i - 1] * q;
  // sum_k weight_k ratio^k H_k, nested from the smallest term.
  double series = 0;
  for (std::size_t k = terms; k >= 1; --k) {
    series = (series + weights[k - 1] * homogeneous_term(k, p, q_powers)) * ratio;
  }
  const double root_p = std::sqrt(p);
  const double point_lens = (p + q * 0.5) / root_p;
  return point_lens + (q * 0.25) * (root_p / t) * series;
}

double uniform_disk_magnification_far(double u, double a) noexcept {
  // Unit weights: the uniform disk's own coefficients (a product with 1 is exact).
  static constexpr std::array<double, disk_mean_value_terms> unit_weights = [] {
    std::array<double, disk_mean_value_terms> ones{};
    ones.fill(1.0);
    return ones;
  }();
  return weighted_disk_magnification_far(u, a, unit_weights);
}

}  // namespace obrivane::models
