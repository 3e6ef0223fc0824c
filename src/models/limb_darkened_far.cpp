// For a radially symmetric brightness I the weighted mean of the point-lens magnification over a
// disk of radius a clear of the lens is
//   <A> = sum_k c_k (a^2/4)^k / (k!)^2 Laplacian^k A(u),
//   c_k = integral_0^1 y^(2k) I(y) y dy / integral_0^1 I(y) y dy.
// The committed uniform-disk series (disk_mean_value_series.hpp) carries c_k = 1/(k + 1) in its
// coefficients, so the term k of any other profile is the uniform term times (k + 1) c_k. For
// I = 0.4 + 0.6 mu the two parts have equal flux, and with the moments of mu,
//   c_k(mu) = prod_{j=1..k} 2j / (2j + 3)   (a Beta integral),
// the factor is (1 + (k + 1) c_k(mu)) / 2.
#include "models/limb_darkened_far.hpp"

#include <array>
#include <cmath>
#include <cstddef>

#include "models/disk_mean_value_series.hpp"

namespace obrivane::models {
namespace {

constexpr std::size_t highest_degree = 2 * disk_mean_value_terms - 1;

// (1 + (k + 1) c_k(mu)) / 2 for k = 1 .. terms, at index k - 1.
constexpr std::array<double, disk_mean_value_terms> limb_darkened_factors = [] {
  std::array<double, disk_mean_value_terms> factors{};
  double moment = 1;
  for (std::size_t k = 1; k <= disk_mean_value_terms; ++k) {
    moment = moment * static_cast<double>(2 * k) / static_cast<double>(2 * k + 3);
    factors[k - 1] = (1 + static_cast<double>(k + 1) * moment) / 2;
  }
  return factors;
}();

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

double limb_darkened_magnification_far(double u, double a) noexcept {
  const double t = u * u;
  // p = t/(t+4) and q = 4/(t+4), formed from 4/t so that an overflowing t gives the limit
  // p = 1, q = 0 (magnification 1).
  const double four_over_t = 4 / t;
  const double p = 1 / (1 + four_over_t);
  const double q = four_over_t * p;
  const double a_over_u = a / u;
  const double ratio = a_over_u * a_over_u;
  // Relative to the point-lens magnification, term k is at most 0.125 ratio^k (the largest
  // |(q/4)(sqrt(p)/t) H_k| / A over all u is 1/8 at k = 1 and falls with k); the series stops
  // once the first omitted term, and with ratio <= 1/16 the whole tail, is below 2^-61.
  std::size_t terms = 1;
  for (double omitted = 0.125 * (ratio * ratio); terms < disk_mean_value_terms && omitted > 4e-19;
       omitted *= ratio) {
    ++terms;
  }
  std::array<double, highest_degree + 1> q_powers{};
  q_powers[0] = 1;
  for (std::size_t i = 1; i < 2 * terms; ++i) q_powers[i] = q_powers[i - 1] * q;
  double series = 0;
  for (std::size_t k = terms; k >= 1; --k) {
    series = (series + limb_darkened_factors[k - 1] * homogeneous_term(k, p, q_powers)) * ratio;
  }
  const double root_p = std::sqrt(p);
  const double point_lens = (p + q * 0.5) / root_p;
  return point_lens + (q * 0.25) * (root_p / t) * series;
}

}  // namespace obrivane::models
