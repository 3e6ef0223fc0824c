// Mean of the point-lens magnification over a disk clear of the lens, summed from the committed
// series coefficients (see disk_mean_value_series.hpp for the form, disk_mean_value_sum.hpp for
// the sum).
#include "models/uniform_disk_far.hpp"

#include <array>

#include "models/disk_mean_value_series.hpp"
#include "models/disk_mean_value_sum.hpp"

namespace obrivane::models {

double weighted_disk_magnification_far(double u, double a, std::span<const double> weights) noexcept {
  const MeanValueSum<double> sum = mean_value_sum(u, a, weights);
  return sum.point_lens + sum.excess;
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
