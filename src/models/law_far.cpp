// The series of uniform_disk_far.hpp weights its term k by (k + 1) c_k, c_k the profile's moment
// k over its moment 0.
#include "models/law_far.hpp"

#include <array>
#include <cstddef>
#include <span>

#include "models/disk_mean_value_sum.hpp"
#include "models/uniform_disk_far.hpp"

namespace obrivane::models {

double law_magnification_far(double u, double a, const FarWeights& weights, double scale,
                             FarSeries* kept) noexcept {
  const double a_over_u = a / u;
  const double ratio = a_over_u * a_over_u;
  // As for the linear law (limb_darkened_far.cpp): term k is at most 0.125 ratio^k of the
  // point-lens magnification for weights up to k + 1, here times the law's scale; the series
  // stops once the first omitted term is below 2^-61. Far from the source, where most points of a
  // light curve lie, that is one or two terms.
  std::size_t terms = 1;
  for (double omitted = 0.125 * scale * (ratio * ratio); terms < disk_mean_value_terms && omitted > 4e-19;
       omitted *= ratio) {
    ++terms;
  }
  const std::span<const double> used = std::span<const double>(weights).first(terms);
  if (kept == nullptr) return weighted_disk_magnification_far(u, a, used);
  // The same sum as weighted_disk_magnification_far, with its parts kept.
  const MeanValueSum<double> sum = mean_value_sum(u, a, used, &kept->parts);
  kept->formed = true;
  kept->u = u;
  kept->a = a;
  return sum.point_lens + sum.excess;
}

}  // namespace obrivane::models
