// The series' terms ratio^l H_l with their derivatives once, then the law's weighted sums of them.
// With t = u^2, p = t/(t + 4) and q = 4/(t + 4) (so dp/du = 2pq/u = -dq/du), the prefactor
// P = (q/4) (sqrt(p)/t) and ratio = a^2/t:
//   u d(ln P)/du = q - 2p - 2,   u d(ln ratio^l)/du = -2l,   a d(ratio^l)/da = 2l ratio^l,
//   u dH_l/du = 2pq (dH_l/dp - dH_l/dq),
// dH_l/dp - dH_l/dq a homogeneous polynomial of its own (disk_mean_value_series.hpp), summed
// beside H_l. The point lens (p + q/2)/sqrt(p) = (t + 2)/sqrt(t (t + 4)) has the derivative
// -8/(t (t + 4)^(3/2)) = -q sqrt(q)/t.
#include "models/law_far_gradient.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "models/disk_mean_value_series.hpp"
#include "models/disk_mean_value_sum.hpp"

namespace obrivane::models {
namespace {

using QPowers = std::array<double, detail::highest_mean_value_degree + 1>;

// Per series term l = L .. kept (l <= disk_mean_value_terms): ratio^l H_l, u times its derivative
// in u, from dH_l/dp - dH_l/dq (disk_mean_value_series.hpp), and t/a times its derivative in a,
// 2l ratio^(l-1) H_l: formed so, rather than as a times the derivative over a, it stays finite
// for a source so small that ratio underflows.
struct SeriesTerms {
  std::array<double, disk_mean_value_terms> values;
  std::array<double, disk_mean_value_terms> u_slopes;
  std::array<double, disk_mean_value_terms> a_slopes;
};

// H_l for l <= known_count is known_h[l - 1], the value's own.
template <std::size_t L>
void fill_series_terms(std::size_t kept, double p, const QPowers& q_powers, const double* known_h,
                       std::size_t known_count, double lower_ratio_power, double ratio_power,
                       double prefactor_log_slope, double two_pq, double ratio, SeriesTerms& terms) noexcept {
  if constexpr (L <= disk_mean_value_terms) {
    if (L > kept) return;
    constexpr std::size_t degree = 2 * L - 1;
    const double h = L <= known_count ? known_h[L - 1] : detail::homogeneous_term<L>(p, q_powers);
    const double h_slope = detail::homogeneous_sum<degree - 1>(
        &disk_mean_value_slope_coefficients[disk_mean_value_slope_offsets[L - 1]], p, q_powers);
    constexpr double two_l = 2.0 * L;
    terms.values[L - 1] = ratio_power * h;
    terms.u_slopes[L - 1] = ratio_power * (h * (prefactor_log_slope - two_l) + two_pq * h_slope);
    terms.a_slopes[L - 1] = two_l * (lower_ratio_power * h);
    fill_series_terms<L + 1>(kept, p, q_powers, known_h, known_count, ratio_power, ratio_power * ratio,
                             prefactor_log_slope, two_pq, ratio, terms);
  }
}

}  // namespace

FarLawSlopes far_law_slopes(double u, double a, const FarLawWeights& law, const FarSeries* formed) noexcept {
  constexpr std::size_t count = disk_mean_value_terms;
  // The value's series at this point, if it was kept: its variables, powers of q and terms H_l
  // are the very numbers formed here.
  const MeanValueParts<double>* value_parts =
      formed != nullptr && formed->formed && formed->u == u && formed->a == a ? &formed->parts : nullptr;
  const auto [t, p, q, ratio] = value_parts != nullptr ? value_parts->variables : mean_value_variables(u, a);
  // The terms that matter: term l is at most 0.125 (l + 1) ratio^l of the point lens for moments
  // up to 1 (those of mu ln mu reach 2), and differentiating it in u or a brings a factor of at
  // most about 2l over that length, so term l is left out once 0.5 l (l + 1) ratio^l falls below
  // 2^-55: its share of the excesses, and of their derivatives on the scale of the geometry, is
  // then below a quarter of the rounding of the magnification itself, and within the rounding
  // of the coefficient derivatives (differences of such excesses). 4 terms at u = 100 a, 9 at
  // u = 10 a and all 12 at u = 4 a, about as many as the value's series keeps.
  std::size_t kept = 1;
  for (double omitted = ratio * ratio;
       kept < count && 0.5 * static_cast<double>((kept + 1) * (kept + 2)) * omitted > 0x1p-55;
       omitted *= ratio) {
    ++kept;
  }
  // Only what the kept terms read is formed: zeroing the arrays would cost a fair share of a
  // point far from the source.
  const std::size_t known_count = value_parts != nullptr ? value_parts->terms : 0;
  QPowers own_q_powers;
  const QPowers* q_powers = &own_q_powers;
  if (known_count >= kept) {
    q_powers = &value_parts->q_powers;
  } else {
    std::size_t formed_powers = 1;
    own_q_powers[0] = 1;
    if (known_count > 0) {
      formed_powers = 2 * known_count;
      std::copy_n(value_parts->q_powers.begin(), formed_powers, own_q_powers.begin());
    }
    for (std::size_t i = formed_powers; i < 2 * kept; ++i) own_q_powers[i] = own_q_powers[i - 1] * q;
  }
  SeriesTerms series;
  fill_series_terms<1>(kept, p, *q_powers, value_parts != nullptr ? value_parts->h.data() : nullptr,
                       known_count, 1, ratio, (q - 2 * p) - 2, 2 * (p * q), ratio, series);
  // The law's sums, from the smallest term up.
  double u_slope = 0;
  double a_slope = 0;
  std::array<double, 2> coefficient_sums{};
  for (std::size_t l = kept; l >= 1; --l) {
    const double weight = law.weights[l - 1];
    u_slope += weight * series.u_slopes[l - 1];
    a_slope += weight * series.a_slopes[l - 1];
    for (std::size_t i = 0; i < 2; ++i)
      coefficient_sums[i] += law.coefficient_slopes[i][l - 1] * series.values[l - 1];
  }
  const double prefactor = (q * 0.25) * (std::sqrt(p) / t);
  // The slopes were formed as u and t/a times the derivatives; the point lens
  // B = (t + 2)/sqrt(t (t + 4)) has the derivative -8/(t (t + 4)^(3/2)) = -q sqrt(q)/t.
  const double point_lens_d_u = -(q * std::sqrt(q)) / t;
  return {point_lens_d_u + (prefactor / u) * u_slope,
          (prefactor * (a / t)) * a_slope,
          {prefactor * coefficient_sums[0], prefactor * coefficient_sums[1]}};
}

}  // namespace obrivane::models
