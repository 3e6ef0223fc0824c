// The series' terms ratio^l H_l with their derivatives once, then each profile's weighted sums of
// them. With t = u^2, p = t/(t + 4) and q = 4/(t + 4) (so dp/du = 2pq/u = -dq/du), the prefactor
// P = (q/4) (sqrt(p)/t) and ratio = a^2/t:
//   u d(ln P)/du = q - 2p - 2,   u d(ln ratio^l)/du = -2l,   a d(ratio^l)/da = 2l ratio^l,
//   u dH_l/du = 2pq (dH_l/dp - dH_l/dq),
// the partial derivatives of the homogeneous H_l(p, q) = sum_j c_j p^j q^(m-j) by Horner's rule
// along with H_l. The point lens (p + q/2)/sqrt(p) = (t + 2)/sqrt(t (t + 4)) has the derivative
// -8/(t (t + 4)^(3/2)) = -q sqrt(q)/t.
#include "models/law_far_gradient.hpp"

#include <array>
#include <cmath>
#include <cstddef>

#include "models/disk_mean_value_series.hpp"
#include "models/disk_mean_value_sum.hpp"

namespace obrivane::models {
namespace {

struct HomogeneousTerm {
  double value;
  double slope;  // dH/dp - dH/dq
};

// H_k(p, q) and the difference of its partial derivatives, nested from the highest power of p as
// detail::homogeneous_term: the chains of dH/dp (d <- d p + H) and of dH/dq
// (d <- d p + (m - j) c_j q^(m-j-1)) share their recurrence, so their difference is one chain.
HomogeneousTerm homogeneous_term_with_slope(
    std::size_t k, double p,
    const std::array<double, detail::highest_mean_value_degree + 1>& q_powers) noexcept {
  const std::size_t begin = disk_mean_value_offsets[k - 1];
  const std::size_t degree = 2 * k - 1;
  double sum = disk_mean_value_coefficients[begin + degree];
  double slope = 0;
  for (std::size_t j = degree; j-- > 0;) {
    const double coefficient = disk_mean_value_coefficients[begin + j];
    const std::size_t power = degree - j;
    slope = slope * p + (sum - (static_cast<double>(power) * coefficient) * q_powers[power - 1]);
    sum = sum * p + coefficient * q_powers[power];
  }
  return {sum, slope};
}

}  // namespace

double far_term_integrals(double u, double a, std::span<const LawMoments* const> moments,
                          std::span<TermIntegral> terms) noexcept {
  constexpr std::size_t count = disk_mean_value_terms;
  const auto [t, p, q, ratio] = mean_value_variables(u, a);
  // The terms that matter: term l is at most 0.125 (l + 1) ratio^l of the point lens for moments
  // up to 1 (those of mu ln mu reach 2), and differentiating it in u or a brings a factor of at
  // most about 2l over that length, so term l is left out once 0.5 l (l + 1) ratio^l falls below
  // 2^-61: its share of the excesses, and of their derivatives on the scale of the geometry, is
  // then below a quarter of the rounding of the magnification itself, well inside the rounding of
  // the coefficient derivatives (differences of such excesses). 4 terms at u = 100 a, 10 at
  // u = 10 a and all 13 at u = 4 a.
  std::size_t kept = 1;
  for (double omitted = ratio * ratio;
       kept < count && 0.5 * static_cast<double>((kept + 1) * (kept + 2)) * omitted > 4e-19;
       omitted *= ratio) {
    ++kept;
  }
  // Only what the kept terms read is formed: zeroing the arrays would cost a fair share of a
  // point far from the source.
  std::array<double, detail::highest_mean_value_degree + 1> q_powers;
  q_powers[0] = 1;
  for (std::size_t i = 1; i < 2 * kept; ++i) q_powers[i] = q_powers[i - 1] * q;
  // Per term l: ratio^l H_l, u times its derivative in u and a times that in a.
  std::array<double, count> values;
  std::array<double, count> u_slopes;
  std::array<double, count> a_slopes;
  const double prefactor_log_slope = (q - 2 * p) - 2;
  const double two_pq = 2 * (p * q);
  double ratio_power = ratio;
  for (std::size_t l = 1; l <= kept; ++l) {
    const HomogeneousTerm h = homogeneous_term_with_slope(l, p, q_powers);
    const double two_l = static_cast<double>(2 * l);
    values[l - 1] = ratio_power * h.value;
    u_slopes[l - 1] = ratio_power * (h.value * (prefactor_log_slope - two_l) + two_pq * h.slope);
    a_slopes[l - 1] = two_l * values[l - 1];
    ratio_power *= ratio;
  }
  const double prefactor = (q * 0.25) * (std::sqrt(p) / t);
  for (std::size_t k = 0; k < moments.size() && k < terms.size(); ++k) {
    // From the smallest term up.
    double value = 0;
    double u_slope = 0;
    double a_slope = 0;
    for (std::size_t l = kept; l >= 1; --l) {
      const double weight = static_cast<double>(l + 1) * (*moments[k])[l];
      value += weight * values[l - 1];
      u_slope += weight * u_slopes[l - 1];
      a_slope += weight * a_slopes[l - 1];
    }
    terms[k] = {prefactor * value, (prefactor * u_slope) / u, a > 0 ? (prefactor * a_slope) / a : 0.0};
  }
  return -(q * std::sqrt(q)) / t;
}

}  // namespace obrivane::models
