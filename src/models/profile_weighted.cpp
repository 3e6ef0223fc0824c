// Profile-weighted magnification: one double-exponential integral over the source radius per
// separation, the separations spread over the worker pool.
#include "models/profile_weighted.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "models/cbrt_eps.hpp"
#include "models/parallel/parallel_map.hpp"
#include "models/thin_ring.hpp"
#include "models/uniform_disk.hpp"
#include "models/uniform_disk_far.hpp"
#include "numeric/integrate.hpp"

namespace obrivane::models {
namespace {

constexpr double two_pi = 6.283185307179586;
constexpr double target_error = 1e-16;
constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

// Integral over [0, 1] divided by the normalisation. The ring through the lens, x = l, is a
// singularity of the integrand that the tanh-sinh rule resolves only at an end point, so for
// 0 < l < 1 the interval is split there. A separation at which not one integrand value was finite
// could not be computed at all and gives NaN, not 0.
template <class Integrand>
double integrate_over_source(const Integrand& integrand, double separation, double normalisation) {
  bool any_finite = false;
  const auto observed = [&](double x) {
    const double value = integrand(x);
    if (std::isfinite(value)) any_finite = true;
    return value;
  };
  double integral;
  if (separation > 0 && separation < 1) {
    const double inner = numeric::integrate(observed, 0.0, separation, target_error).integral;
    const double outer = numeric::integrate(observed, separation, 1.0, target_error).integral;
    integral = inner + outer;
  } else {
    integral = numeric::integrate(observed, 0.0, 1.0, target_error).integral;
  }
  if (!any_finite) return quiet_nan;
  return integral / normalisation;
}

// One result per separation, each computed on the worker pool independently of the others, so
// the results do not depend on the pool size.
template <class PerSeparation>
std::vector<double> map_separations(const std::vector<double>& l, const PerSeparation& per_separation) {
  std::vector<double> result(l.size());
  parallel::parallel_for(l.size(), [&](std::size_t i) { result[i] = per_separation(l[i]); });
  return result;
}

}  // namespace

ModelResult<std::vector<double>> _integrated_witt_mao_magnification(std::vector<double> l, double re,
                                                                    double rstar,
                                                                    const SourceProfile& profile,
                                                                    double normalisation) {
  const double rho = rstar / re;
  return map_separations(l, [&](double separation) {
    const double u = separation * rho;
    // Uniform-disk magnification of the concentric disk of radius y stellar radii. Far from the
    // lens the closed form cancels (error about eps (u/a)^2, which the central difference divides
    // by its step), so there the mean-value series takes over. An infinite separation has no
    // magnification and stays NaN.
    const auto disk = [&](double y) {
      if (y < 0) return 0.0;
      const double radius = rho * y;
      if (u > 0 && std::isfinite(u) && radius <= far_disk_ratio * u)
        return uniform_disk_magnification_far(u, radius);
      return uniform_disk_magnification_at_u(u, radius, radius * radius);
    };
    const auto integrand = [&](double x) {
      const double a = disk(x);
      const double h = derivative_step(x);
      const double above = disk(x + h);
      const double below = disk(x - h);
      const double derivative = (above - below) / (h + h);
      return ((x * two_pi) * (a + (x * 0.5) * derivative)) * profile(x);
    };
    return integrate_over_source(integrand, separation, normalisation);
  });
}

ModelResult<std::vector<double>> _integrated_heyrovsky_magnification(std::vector<double> l, double re,
                                                                     double rstar,
                                                                     const SourceProfile& profile,
                                                                     double normalisation) {
  return map_separations(l, [&](double separation) {
    // Thin-ring magnification at radius y; a ring the kernel cannot evaluate counts as 0 in the
    // quadrature (a non-finite integrand value).
    const auto ring = [&](double y) {
      if (y < 0) return 0.0;
      ModelResult<double> magnification = heyrovsky_magnification(separation, y, re, rstar);
      return magnification.ok() ? magnification.value() : quiet_nan;
    };
    const auto integrand = [&](double x) { return ((x * two_pi) * ring(x)) * profile(x); };
    return integrate_over_source(integrand, separation, normalisation);
  });
}

ModelResult<std::vector<double>> integrated_witt_mao_magnification(std::vector<double> l, double re,
                                                                   double rstar) {
  const SourceProfile profile = linear_limb_darkening;
  return _integrated_witt_mao_magnification(std::move(l), re, rstar, profile, linear_limb_darkening_flux);
}

ModelResult<std::vector<double>> integrated_heyrovsky_magnification(std::vector<double> l, double re,
                                                                    double rstar) {
  const SourceProfile profile = linear_limb_darkening;
  return _integrated_heyrovsky_magnification(std::move(l), re, rstar, profile, linear_limb_darkening_flux);
}

}  // namespace obrivane::models
