// Each term's series on dual numbers in (u, a); the point lens comes with every sum, and is the
// same for all of them.
#include "models/law_far_gradient.hpp"

#include <array>
#include <cstddef>

#include "models/disk_mean_value_series.hpp"
#include "models/disk_mean_value_sum.hpp"
#include "numeric/dual.hpp"

namespace obrivane::models {

double far_term_integrals(double u, double a, std::span<const LawMoments* const> moments,
                          std::span<TermIntegral> terms) noexcept {
  using Dual = numeric::Dual<2>;
  const Dual separation = Dual::variable(u, 0);
  const Dual radius = Dual::variable(a, 1);
  double point_lens_d_u = 0;
  for (std::size_t k = 0; k < moments.size() && k < terms.size(); ++k) {
    std::array<double, disk_mean_value_terms> weights{};
    for (std::size_t l = 1; l <= disk_mean_value_terms; ++l) {
      weights[l - 1] = static_cast<double>(l + 1) * (*moments[k])[l];
    }
    const MeanValueSum<Dual> sum = mean_value_sum(separation, radius, std::span<const double>(weights));
    terms[k] = {sum.excess.value, sum.excess.tangent[0], sum.excess.tangent[1]};
    point_lens_d_u = sum.point_lens.tangent[0];
  }
  return point_lens_d_u;
}

}  // namespace obrivane::models
