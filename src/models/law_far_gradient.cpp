// The series' terms ratio^l H_l and its prefactor once, on dual numbers in (u, a), then each
// profile's weighted sum of them.
#include "models/law_far_gradient.hpp"

#include <array>
#include <cmath>
#include <cstddef>

#include "models/disk_mean_value_series.hpp"
#include "models/disk_mean_value_sum.hpp"
#include "numeric/dual.hpp"

namespace obrivane::models {

double far_term_integrals(double u, double a, std::span<const LawMoments* const> moments,
                          std::span<TermIntegral> terms) noexcept {
  using Dual = numeric::Dual<2>;
  constexpr std::size_t count = disk_mean_value_terms;
  const Dual separation = Dual::variable(u, 0);
  const Dual radius = Dual::variable(a, 1);
  // The series' pieces as in mean_value_sum (disk_mean_value_sum.hpp), each term l kept apart:
  // ratio^l H_l(p, q), and the prefactor (q/4) (sqrt(p)/t).
  const Dual t = separation * separation;
  const Dual four_over_t = 4 / t;
  const Dual p = 1 / (1 + four_over_t);
  const Dual q = four_over_t * p;
  const Dual a_over_u = radius / separation;
  const Dual ratio = a_over_u * a_over_u;
  // The terms that matter to the derivatives: term l is at most 0.125 (l + 1) ratio^l of the point
  // lens for moments up to 1 (those of mu ln mu reach 2), and differentiating it in u or a brings
  // a factor of at most about 2l over that length. The derivatives in the coefficients are sums of
  // the terms from l = 1 on, of size ratio: term l is left out once 0.5 l (l + 1) ratio^(l - 1)
  // falls below 2^-61, 5 terms at u = 100 a, 11 at u = 10 a and all 13 at u = 4 a.
  const double ratio_value = ratio.value;
  std::size_t kept = 1;
  for (double omitted = ratio_value;
       kept < count && 0.5 * static_cast<double>((kept + 1) * (kept + 2)) * omitted > 4e-19;
       omitted *= ratio_value) {
    ++kept;
  }
  std::array<Dual, detail::highest_mean_value_degree + 1> q_powers{};
  q_powers[0] = 1;
  for (std::size_t i = 1; i < 2 * kept; ++i) q_powers[i] = q_powers[i - 1] * q;
  std::array<Dual, count> series_terms{};
  Dual ratio_power = ratio;
  for (std::size_t l = 1; l <= kept; ++l) {
    series_terms[l - 1] = ratio_power * detail::homogeneous_term(l, p, q_powers);
    ratio_power = ratio_power * ratio;
  }
  const Dual root_p = sqrt(p);
  const Dual prefactor = (q * 0.25) * (root_p / t);
  for (std::size_t k = 0; k < moments.size() && k < terms.size(); ++k) {
    // From the smallest term up.
    Dual sum = 0;
    for (std::size_t l = kept; l >= 1; --l) {
      sum = sum + (static_cast<double>(l + 1) * (*moments[k])[l]) * series_terms[l - 1];
    }
    const Dual excess = prefactor * sum;
    terms[k] = {excess.value, excess.tangent[0], excess.tangent[1]};
  }
  // The point lens (p + q/2)/sqrt(p).
  const Dual point_lens = (p + q * 0.5) / root_p;
  return point_lens.tangent[0];
}

}  // namespace obrivane::models
