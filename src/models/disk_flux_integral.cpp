// Phi and its integral for one separation: the closed-form singular part plus a Chebyshev series
// of the remainder on each side of the lens ring, integrated term by term.
#include "models/disk_flux_integral.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "models/uniform_disk.hpp"
#include "numeric/chebyshev/chebyshev_antiderivative.hpp"
#include "numeric/chebyshev/chebyshev_interpolation.hpp"
#include "numeric/chebyshev/clenshaw.hpp"

namespace obrivane::models {
namespace {

constexpr double pi = std::numbers::pi;

// z log|z/c| and its antiderivative F(z) = z^2 (log|z/c|/2 - 1/4), both 0 at z = 0.
double z_log_z(double z, double c) noexcept { return z == 0 ? 0.0 : z * std::log(std::fabs(z / c)); }
double z_log_z_antiderivative(double z, double c) noexcept {
  return z == 0 ? 0.0 : (z * z) * (std::log(std::fabs(z / c)) * 0.5 - 0.25);
}

// F(z2) - F(z1), free of the cancellation of the two antiderivatives on a narrow interval. With
// h = z2 - z1 and m = (z1 + z2)/2, for |h| <= |m|/8 the midpoint expansion of f(z) = z log|z/c|,
// whose derivatives are f^(n) = (-1)^n (n-2)!/z^(n-1) for n >= 2,
//   int f = h [m L(m) + h^2/(24 m) + h^4/(960 m^3) + h^6/(13440 m^5) + h^8/(129024 m^7)],
// L(z) = log|z/c|, leaves out less than (h/m)^10 / 10^6 |h m| <= 1e-15 |h m|. Wider intervals
// with z1, z2 of one sign use
//   z2^2 L(z2) - z1^2 L(z1) = h (z1 + z2) L(z2) + z1^2 log(z2/z1),
// so F(z2) - F(z1) = h (z1 + z2) (L(z2)/2 - 1/4) + (z1^2/2) log(z2/z1).
double z_log_z_integral(double z1, double z2, double c) noexcept {
  if (z1 == 0 || z2 == 0 || (z1 < 0) != (z2 < 0)) {
    return z_log_z_antiderivative(z2, c) - z_log_z_antiderivative(z1, c);
  }
  const double h = z2 - z1;
  const double m = (z1 + z2) * 0.5;
  if (std::fabs(h) * 8 <= std::fabs(m)) {
    const double r = (h / m) * (h / m);
    const double series = r * (1.0 / 24 + r * (1.0 / 960 + r * (1.0 / 13440 + r * (1.0 / 129024))));
    return (h * m) * (std::log(std::fabs(m / c)) + series);
  }
  // log(z2/z1) through log1p only where z2 is close to z1; otherwise 1 + h/z1 would lose z2.
  const double step = h / z1;
  const double log_ratio = std::fabs(step) < 0.5 ? std::log1p(step) : std::log(z2 / z1);
  return (h * (z1 + z2)) * (std::log(std::fabs(z2 / c)) * 0.5 - 0.25) + ((z1 * z1) * 0.5) * log_ratio;
}

}  // namespace

DiskFluxIntegral::DiskFluxIntegral(double l, double rho) noexcept
    : l_(l), rho_(rho), u_(l * rho), coefficient_(-2 / rho), log_scale_(l > 0 ? l : 1.0) {
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
  const double singular = coefficient_ * (z_log_z(z, log_scale_) - z_log_z(x + l_, log_scale_));
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
  // The tail below 2^-56 of the largest coefficient changes no sum by more than rounding.
  double largest = 0;
  for (const double c : side.antiderivative) largest = std::fmax(largest, std::fabs(c));
  while (side.terms > 2 && !(std::fabs(side.antiderivative[side.terms - 1]) > largest * 0x1p-56))
    --side.terms;
  return side;
}

// The Chebyshev variable t = 2v - 1 of the point at distance |z| from the lens ring.
double DiskFluxIntegral::side_point(const Side& side, double z) noexcept {
  const double s = std::cbrt(std::fabs(z) / side.width);
  const double v = (s - side.start) / (1 - side.start);
  return v + v - 1;
}

// int over v from 0 to v(z) of the remainder, |z| = D s^3; dv = dt/2.
double DiskFluxIntegral::side_integral(const Side& side, double z) noexcept {
  return numeric::clenshaw(side.antiderivative, side_point(side, z), side.terms) * 0.5;
}

// int S dx between x = l + z1 and x = l + z2; the mirror term's argument is x + l = z + 2l.
double DiskFluxIntegral::singular_integral(double z1, double z2) const noexcept {
  const double mirror1 = z1 + (l_ + l_);
  const double mirror2 = z2 + (l_ + l_);
  return coefficient_ *
         (z_log_z_integral(z1, z2, log_scale_) - z_log_z_integral(mirror1, mirror2, log_scale_));
}

DiskFluxIntegral::Radius DiskFluxIntegral::radius(double x) const noexcept {
  const double z = x - l_;
  double smooth = 0;
  if (z > 0 && outward_) {
    smooth = side_integral(outer_, z);
  } else if (z < 0 && inward_) {
    smooth = -side_integral(inner_, z);
  }
  return Radius{z, smooth};
}

void DiskFluxIntegral::radii(std::span<const double> x, std::span<Radius> out) const noexcept {
  constexpr std::size_t batch = 4;
  std::size_t i = 0;
  for (; i + batch <= x.size(); i += batch) {
    std::array<double, batch> z{};
    for (std::size_t j = 0; j < batch; ++j) z[j] = x[i + j] - l_;
    // x ascending: the four lie on one side when the first and the last do.
    const bool outer = z[0] > 0 && outward_;
    const bool inner = z[batch - 1] < 0 && inward_;
    if (!outer && !inner) {
      for (std::size_t j = 0; j < batch; ++j) out[i + j] = radius(x[i + j]);
      continue;
    }
    const Side& side = outer ? outer_ : inner_;
    std::array<double, batch> t{};
    for (std::size_t j = 0; j < batch; ++j) t[j] = side_point(side, z[j]);
    const std::array<double, batch> sums = numeric::clenshaw(side.antiderivative, t, side.terms);
    for (std::size_t j = 0; j < batch; ++j) {
      const double smooth = sums[j] * 0.5;
      out[i + j] = Radius{z[j], outer ? smooth : -smooth};
    }
  }
  for (; i < x.size(); ++i) out[i] = radius(x[i]);
}

void DiskFluxIntegral::antiderivatives(std::span<const double> x, std::span<double> out) const noexcept {
  constexpr std::size_t batch = 16;
  std::array<Radius, batch> radii_here{};
  for (std::size_t i = 0; i < x.size(); i += batch) {
    const std::size_t count = std::min(batch, x.size() - i);
    radii(x.subspan(i, count), std::span<Radius>(radii_here.data(), count));
    for (std::size_t j = 0; j < count; ++j) {
      const double z = radii_here[j].z;
      const double singular = coefficient_ * (z_log_z_antiderivative(z, log_scale_) -
                                              z_log_z_antiderivative(z + (l_ + l_), log_scale_));
      out[i + j] = radii_here[j].smooth + singular;
    }
  }
}

double DiskFluxIntegral::integral(const Radius& a, const Radius& b) const noexcept {
  return (b.smooth - a.smooth) + singular_integral(a.z, b.z);
}

}  // namespace obrivane::models
