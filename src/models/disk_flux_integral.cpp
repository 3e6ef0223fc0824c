// Phi and its integral for one separation: the closed-form singular part plus a Chebyshev series
// of the remainder on each side of the lens ring, integrated term by term.
#include "models/disk_flux_integral.hpp"

#include <cmath>

#include "models/uniform_disk.hpp"
#include "numeric/chebyshev/chebyshev_antiderivative.hpp"
#include "numeric/chebyshev/chebyshev_interpolation.hpp"
#include "numeric/chebyshev/clenshaw.hpp"

namespace obrivane::models {
namespace {

constexpr double pi = 3.141592653589793;

// z log|z| and its antiderivative z^2 (log|z|/2 - 1/4), both 0 at z = 0.
double z_log_z(double z) noexcept { return z == 0 ? 0.0 : z * std::log(std::fabs(z)); }
double z_log_z_antiderivative(double z) noexcept {
  return z == 0 ? 0.0 : (z * z) * (std::log(std::fabs(z)) * 0.5 - 0.25);
}

}  // namespace

DiskFluxIntegral::DiskFluxIntegral(double l, double rho) noexcept
    : l_(l), rho_(rho), u_(l * rho), coefficient_(-2 / rho) {
  if (l < 1) {
    outward_ = true;
    outer_ = fit_side(1, 1 - l, 0);
  }
  if (l > 0) {
    inward_ = true;
    // Beyond the limb the series starts at the limb, s^3 = (l - 1)/l.
    inner_ = fit_side(-1, l, l > 1 ? std::cbrt((l - 1) / l) : 0.0);
  }
}

double DiskFluxIntegral::flux(double x) const noexcept {
  return (pi * (x * x)) * uniform_disk_magnification_accurate(u_, rho_ * x);
}

// Phi - S at x = l + z, z passed on its own so that it keeps its digits where x rounds to l.
double DiskFluxIntegral::remainder_weight(double z, double x) const noexcept {
  const double singular = coefficient_ * (z_log_z(z) - z_log_z(x + l_));
  return flux(x) - singular;
}

DiskFluxIntegral::Side DiskFluxIntegral::fit_side(double sign, double width, double start) const noexcept {
  const auto& grid = numeric::ChebyshevPoints<points>::instance();
  const double span = 1 - start;
  std::array<double, points> samples{};
  for (std::size_t j = 0; j < points; ++j) {
    // v = (t + 1)/2 in [0, 1], s = start + span v, x = l + sign D s^3, |dx/dv| = 3 D s^2 span.
    const double v = (grid.point(j) + 1) * 0.5;
    const double s = start + span * v;
    const double z = sign * (width * (s * s * s));
    const double x = l_ + z;
    samples[j] = remainder_weight(z, x) * (3 * width * (s * s) * span);
  }
  Side side;
  side.width = width;
  side.start = start;
  side.antiderivative = numeric::chebyshev_antiderivative(grid.coefficients(samples));
  return side;
}

// int over v from 0 to v(z) of the remainder, |z| = D s^3; dv = dt/2.
double DiskFluxIntegral::side_integral(const Side& side, double z) noexcept {
  const double s = std::cbrt(std::fabs(z) / side.width);
  const double v = (s - side.start) / (1 - side.start);
  return numeric::clenshaw(side.antiderivative, v + v - 1) * 0.5;
}

double DiskFluxIntegral::singular_antiderivative(double x) const noexcept {
  return coefficient_ * (z_log_z_antiderivative(x - l_) - z_log_z_antiderivative(x + l_));
}

double DiskFluxIntegral::integral(double x) const noexcept {
  const double z = x - l_;
  double smooth = 0;
  if (z > 0 && outward_) {
    smooth = side_integral(outer_, z);
  } else if (z < 0 && inward_) {
    smooth = -side_integral(inner_, z);
  }
  return smooth + singular_antiderivative(x);
}

}  // namespace obrivane::models
