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
#include <cstddef>
#include <span>

#include "models/disk_mean_value_series.hpp"
#include "models/uniform_disk_far.hpp"

namespace obrivane::models {
namespace {

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

}  // namespace

double limb_darkened_magnification_far(double u, double a) noexcept {
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
  return weighted_disk_magnification_far(u, a, std::span<const double>(limb_darkened_factors).first(terms));
}

}  // namespace obrivane::models
