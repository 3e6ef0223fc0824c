// I = 0.4 + 0.6 mu splits the source into a uniform disk and a mu-weighted one of equal flux
// (0.4 pi a^2 and 0.6 * 2 pi a^2 / 3), so the magnification is the mean of their two
// magnifications. Clear of the lens by four radii the weighted mean-value series gives both at
// once; closer in, the uniform disk comes from its cancellation-free form and the mu-weighted one
// from line integrals through the lens; for sources larger than largest_radius_by_lines the excess
// A - 1 comes directly, from rays through the lens (large_source.hpp), or with the lens well outside
// from the lines through it (large_source_lines.hpp).
#include "models/limb_darkened.hpp"

#include <cmath>
#include <cstddef>
#include <limits>

#include "models/large_source.hpp"
#include "models/large_source_lines.hpp"
#include "models/limb_darkened_far.hpp"
#include "models/mu_weighted_disk.hpp"
#include "models/source_radius.hpp"
#include "models/uniform_disk.hpp"
#include "models/uniform_disk_far.hpp"
#include "parallel/parallel_map.hpp"

namespace obrivane::models {
namespace {

constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

double near_magnification(double u, double a) noexcept {
  if (a > largest_radius_by_lines) {
    // Flux 0.4 + 0.6 * 2/3 = 0.8. With the lens well outside, the uniform and mu-weighted
    // excesses by the lines through it.
    const double excess =
        large_source_by_lines(u, a)
            ? 0.4 * (uniform_disk_magnification_accurate(u, a) - 1) +
                  0.6 * mu_weighted_disk_excess_outside(u, a)
            : large_source_excess(u, a, LimbProfile::polynomial, [](double mu) { return 0.4 + 0.6 * mu; });
    return 1 + excess / 0.8;
  }
  const double uniform = uniform_disk_magnification_accurate(u, a);
  return (uniform + mu_weighted_disk_magnification(u, a)) * 0.5;
}

}  // namespace

double limb_darkened_magnification(double x, double rho) noexcept {
  if (!(x >= 0) || !std::isfinite(x)) return quiet_nan;
  if (rho > indistinguishable_source_radius) return 1;
  const double u = x * rho;
  if (rho <= far_disk_ratio * u) {
    // An overflowing separation: the point-lens magnification is 1 to all digits there.
    if (!std::isfinite(u)) return 1;
    if (u < small_separation_scale) {
      return (limb_darkened_magnification_far(small_separation_scale, small_separation_scale / x) *
              small_separation_scale) /
             u;
    }
    return at_least_one(limb_darkened_magnification_far(u, rho));
  }
  if (rho < small_source_scale)
    return (near_magnification(x * small_source_scale, small_source_scale) * small_source_scale) / rho;
  return at_least_one(near_magnification(u, rho));
}

std::vector<double> limb_darkened_magnification(const std::vector<double>& l, double re, double rstar) {
  std::vector<double> result(l.size(), quiet_nan);
  if (!valid_source_radii(re, rstar)) return result;
  const double rho = rstar / re;
  // An overflowing ratio is a source infinitely larger than the Einstein radius, magnified by 1
  // (below); an underflowing one a source infinitely smaller.
  if (rho == 0) {
    for (std::size_t i = 0; i < l.size(); ++i) result[i] = underflowed_radius_magnification(l[i], re, rstar);
    return result;
  }
  parallel::parallel_for(l.size(),
                         [&](std::size_t i) { result[i] = limb_darkened_magnification(l[i], rho); });
  return result;
}

}  // namespace obrivane::models
