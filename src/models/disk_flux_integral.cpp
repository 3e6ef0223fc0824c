// Phi and its integral for one separation: the closed-form singular part plus a Chebyshev series
// of the remainder on each side of the lens ring, integrated term by term.
#include "models/disk_flux_integral.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "models/thin_ring.hpp"
#include "models/uniform_disk.hpp"
#include "numeric/chebyshev/chebyshev_antiderivative.hpp"
#include "numeric/chebyshev/chebyshev_difference.hpp"
#include "numeric/chebyshev/chebyshev_interpolation.hpp"
#include "numeric/chebyshev/clenshaw.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models {
namespace {

constexpr double pi = std::numbers::pi;
constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

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
// h = z2 - z1 is passed as the caller knows it: the difference of the radii, not of the rounded z.
double z_log_z_integral(double z1, double z2, double h, double c) noexcept {
  if (z1 == 0 || z2 == 0 || (z1 < 0) != (z2 < 0)) {
    return z_log_z_antiderivative(z2, c) - z_log_z_antiderivative(z1, c);
  }
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

// z2 L(z2) - z1 L(z1) with h = z2 - z1, L(z) = log|z/c|: for z1, z2 of one sign
// h L(z2) + z1 log(z2/z1), which keeps its digits as h -> 0.
double z_log_z_change(double z1, double z2, double h, double c) noexcept {
  if (z1 == 0 || z2 == 0 || (z1 < 0) != (z2 < 0)) return z_log_z(z2, c) - z_log_z(z1, c);
  const double step = h / z1;
  const double log_ratio = std::fabs(step) < 0.5 ? std::log1p(step) : std::log(z2 / z1);
  return h * std::log(std::fabs(z2 / c)) + z1 * log_ratio;
}

// A side this many times wider than the width 2/rho of the rim's off-axis feature takes the
// longer series: at 32 terms such a side leaves up to 1e-11 of Phi (a limb-darkened source of
// rho = 300 with the lens on its limb), at 64 below 1e-15.
constexpr double wide_side = 4;

// Near the lens ring the series varies as s^3, and a divided difference at s loses a factor of
// about 10 s^-2 to rounding against the integral: nearer than 2^-15 of the side (s^2 > 1e-3,
// an error of 1e-12 of a narrow piece's weight) the values are integrated instead.
constexpr double close_to_ring = 0x1p-15;

// An interval narrower than 1/16 of its side is integrated by divided differences: the
// difference of the two integrals from the lens ring would lose up to 16 times its digits.
constexpr double narrow_interval = 1.0 / 16;

}  // namespace

DiskFluxIntegral::DiskFluxIntegral(double l, double rho, bool changes) noexcept
    : l_(l), rho_(rho), u_(l * rho), coefficient_(-2 / rho), log_scale_(l > 0 ? l : 1.0) {
  if (l < 1) {
    outward_ = true;
    outer_ = fit_side(1, 1 - l, 0, changes);
  }
  if (l > 0) {
    inward_ = true;
    // Beyond the limb the series starts at the limb, s^3 = (l - 1)/l.
    inner_ = fit_side(-1, l, l > 1 ? std::cbrt((l - 1) / l) : 0.0, changes);
  }
}

double DiskFluxIntegral::flux(double x) const noexcept {
  return (pi * (x * x)) * (uniform_disk_magnification_accurate(u_, rho_ * x) - 1);
}

// Phi - S at x = l + z, z passed on its own so that it keeps its digits where x rounds to l.
double DiskFluxIntegral::remainder_weight(double z, double x) const noexcept {
  const double singular = coefficient_ * (z_log_z(z, log_scale_) - z_log_z(x + l_, log_scale_));
  return flux(x) - singular;
}

DiskFluxIntegral::Side DiskFluxIntegral::fit_side(double sign, double width, double start,
                                                  bool changes) const noexcept {
  Side side;
  side.width = width;
  side.start = start;
  const double extent = width * (1 - start * start * start);
  if (extent * rho_ > wide_side) {
    fit_series<wide_points>(side, sign, changes);
  } else {
    fit_series<points>(side, sign, changes);
  }
  return side;
}

template <std::size_t M>
void DiskFluxIntegral::fit_series(Side& side, double sign, bool changes) const noexcept {
  const auto& grid = numeric::ChebyshevPoints<M>::instance();
  const double span = 1 - side.start;
  std::array<double, M> samples{};
  std::array<double, M> remainders{};
  for (std::size_t j = 0; j < M; ++j) {
    // v = (t + 1)/2 in [0, 1], s = start + span v, x = l + sign D s^3, |dx/dv| = 3 D s^2 span.
    const double v = (grid.point(j) + 1) * 0.5;
    const double s = side.start + span * v;
    // z taken back from the rounded x, so that the closed form and the disk see one radius.
    const double x = l_ + sign * (side.width * (s * s * s));
    const double z = x - l_;
    remainders[j] = remainder_weight(z, x);
    samples[j] = remainders[j] * (3 * side.width * (s * s) * span);
  }
  const std::array<double, M + 1> antiderivative =
      numeric::chebyshev_antiderivative(grid.coefficients(samples));
  std::copy(antiderivative.begin(), antiderivative.end(), side.antiderivative.begin());
  // The tail below 2^-56 of the largest coefficient changes no sum by more than rounding.
  const auto trimmed = [](const auto& c, std::size_t terms) {
    double largest = 0;
    for (std::size_t k = 0; k < terms; ++k) largest = std::fmax(largest, std::fabs(c[k]));
    while (terms > 2 && !(std::fabs(c[terms - 1]) > largest * 0x1p-56)) --terms;
    return terms;
  };
  side.terms = trimmed(side.antiderivative, M + 1);
  if (changes) {
    const std::array<double, M> values = grid.coefficients(remainders);
    std::copy(values.begin(), values.end(), side.values.begin());
    side.value_terms = trimmed(side.values, M);
  }
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

// The step of the Chebyshev variable from |z| = near to |z| = far on one side, h = far - near:
// with s = cbrt(|z|/D), s_far - s_near = h / (D (s_near^2 + s_near s_far + s_far^2)).
double DiskFluxIntegral::side_step(const Side& side, double near, double far, double h) noexcept {
  const double s_near = std::cbrt(near / side.width);
  const double s_far = std::cbrt(far / side.width);
  const double ds = (h / side.width) / (s_near * s_near + s_near * s_far + s_far * s_far);
  return (ds + ds) / (1 - side.start);
}

// The integral of the remainder over x between |z| = near and |z| = far on one side.
double DiskFluxIntegral::side_increment(const Side& side, double near, double far, double h) noexcept {
  const double t_near = side_point(side, near);
  const double t_far = side_point(side, far);
  return side_step(side, near, far, h) *
         numeric::chebyshev_divided_difference(side.antiderivative, t_near, t_far, side.terms) * 0.5;
}

// The remainder at |z| = far less its value at |z| = near on one side.
double DiskFluxIntegral::side_value_change(const Side& side, double near, double far, double h) noexcept {
  const double t_near = side_point(side, near);
  const double t_far = side_point(side, far);
  return side_step(side, near, far, h) *
         numeric::chebyshev_divided_difference(side.values, t_near, t_far, side.value_terms);
}

// int S dx between x = l + z1 and x = l + z2; the mirror term's argument is x + l = z + 2l.
double DiskFluxIntegral::singular_integral(double z1, double z2, double h) const noexcept {
  const double mirror1 = z1 + (l_ + l_);
  const double mirror2 = z2 + (l_ + l_);
  return coefficient_ *
         (z_log_z_integral(z1, z2, h, log_scale_) - z_log_z_integral(mirror1, mirror2, h, log_scale_));
}

// Radii a <= b (z = x - l) close enough to take the divided differences: narrower than
// narrow_interval of their side, or of both sides across the lens ring.
bool DiskFluxIntegral::is_narrow(double a, double b, double h) const noexcept {
  if (a < 0 && b > 0) return h < narrow_interval * std::fmin(inner_.width, outer_.width);
  const double width = b > 0 ? outer_.width : inner_.width;
  return h < narrow_interval * width;
}

DiskFluxIntegral::Radius DiskFluxIntegral::radius(double x) const noexcept {
  const double z = x - l_;
  double smooth = 0;
  if (z > 0 && outward_) {
    smooth = side_integral(outer_, z);
  } else if (z < 0 && inward_) {
    smooth = -side_integral(inner_, z);
  }
  return Radius{x, z, smooth};
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
      out[i + j] = Radius{x[i + j], z[j], outer ? smooth : -smooth};
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

// An interval nearer the lens ring than twice its own width: across it, or its near end within 2h.
bool DiskFluxIntegral::is_at_ring(double a, double b, double h) noexcept {
  if (a < 0 && b > 0) return true;
  return std::fmin(std::fabs(a), std::fabs(b)) < h + h;
}

// int f(z) dz over [za, zb], split at z = 0 and on each part z = far tau^3 (tau from
// cbrt(near/far) to 1, at most cbrt(1/2) for an interval at the ring), so that the z^2 log|z| of
// the remainder and the z log|z| of its derivative become smooth enough for 10 points to leave
// below 1e-15 of the part: the rest of their expansion is of relative order h.
template <class F>
double DiskFluxIntegral::ring_quadrature(double za, double zb, F&& f) const noexcept {
  const double l = l_;
  const auto part = [&f, l](double sign, double near, double far) {
    if (!(far > 0)) return 0.0;
    const double tau_near = std::cbrt(near / far);
    const double middle = (1 + tau_near) * 0.5;
    const double half = (1 - tau_near) * 0.5;
    double sum = 0;
    for (const numeric::GaussNode& node : numeric::gauss_legendre_10) {
      const double tau = middle + half * node.abscissa;
      // f sees the radius x = l + z and z = x - l exactly (x is within a factor 2 of l, or z
      // is the larger and exact), so that the logarithms of the closed form and of the rim
      // magnification cancel at one radius.
      const double x = l + sign * (far * (tau * tau * tau));
      sum += node.weight * f(x - l, x) * (3 * far * (tau * tau));
    }
    return sum * half;
  };
  if (za < 0 && zb > 0) return part(-1, 0, -za) + part(1, 0, zb);
  if (zb <= 0) return part(-1, -zb, -za);
  return part(1, za, zb);
}

double DiskFluxIntegral::integral(const Radius& a, const Radius& b) const noexcept {
  const double h = b.x - a.x;
  double smooth = b.smooth - a.smooth;
  if (!(h > 0)) {
    smooth = 0;
  } else if (is_narrow(a.z, b.z, h) && is_at_ring(a.z, b.z, h) && h * rho_ < 1) {
    smooth = ring_quadrature(a.z, b.z, [this](double z, double x) { return remainder_weight(z, x); });
  } else if (is_narrow(a.z, b.z, h)) {
    if (a.z < 0 && b.z > 0) {
      smooth = side_increment(inner_, 0, -a.z, -a.z) + side_increment(outer_, 0, b.z, b.z);
    } else {
      const Side& side = b.z > 0 ? outer_ : inner_;
      const double near = std::fmin(std::fabs(a.z), std::fabs(b.z));
      const double far = std::fmax(std::fabs(a.z), std::fabs(b.z));
      if (near < close_to_ring * side.width && h * rho_ < 1 && side.value_terms > 0) {
        // The series values at 10 Gauss points in x: the remainder's nearest singularities lie
        // 2h from the interval on the axis and 2/rho > 2h off it, so they leave below
        // 9.9^-20 of it, and each value carries only a rounding of the remainder.
        const double middle = a.x + h * 0.5;
        double sum = 0;
        for (const numeric::GaussNode& node : numeric::gauss_legendre_10) {
          const double z = middle + (h * 0.5) * node.abscissa - l_;
          sum += node.weight * numeric::clenshaw(side.values, side_point(side, z), side.value_terms);
        }
        smooth = sum * (h * 0.5);
      } else {
        smooth = side_increment(side, near, far, h);
      }
    }
  }
  return smooth + singular_integral(a.z, b.z, h);
}

double DiskFluxIntegral::flux_change(double a, double b, double flux_a, double flux_b) const noexcept {
  const double h = b - a;
  const double za = a - l_;
  const double zb = b - l_;
  const bool fitted = (zb > 0 ? outer_ : inner_).value_terms > 0;
  if (!(h > 0) || !fitted || !is_narrow(za, zb, h)) return flux_b - flux_a;
  const double singular = coefficient_ * (z_log_z_change(za, zb, h, log_scale_) -
                                          z_log_z_change(za + (l_ + l_), zb + (l_ + l_), h, log_scale_));
  // 2 pi x (A_ring - 1), the derivative of flux; NaN where the rim magnification fails.
  const auto rim = [this](double x) {
    ModelResult<double> ring = heyrovsky_magnification(l_, x, 1.0, rho_);
    return ring.ok() ? (2 * pi) * x * (ring.value() - 1) : quiet_nan;
  };
  double remainder = 0;
  if (is_at_ring(za, zb, h) && h * rho_ < 1) {
    // The derivative of the remainder: the rim's less S' = -(2/rho) log|z/(z + 2l)|.
    remainder = ring_quadrature(za, zb, [&](double z, double x) {
      return rim(x) - coefficient_ * std::log(std::fabs(z / (z + (l_ + l_))));
    });
    return std::isnan(remainder) ? flux_b - flux_a : remainder + singular;
  }
  if (h * rho_ < 1) {
    // Narrower than half the rim's off-axis width and nearer no singularity than its own width:
    // 10 Gauss points in x on the rim magnification itself leave below 5.8^-20 = 5e-16 of it
    // (the Bernstein ellipse through a point h/2 beyond the ends or h off the axis), and its
    // change is not left as the small difference of the series' and the closed form's changes.
    const double middle = a + h * 0.5;
    double sum = 0;
    for (const numeric::GaussNode& node : numeric::gauss_legendre_10) {
      sum += node.weight * rim(middle + (h * 0.5) * node.abscissa);
    }
    return std::isnan(sum) ? flux_b - flux_a : sum * (h * 0.5);
  }
  if (za < 0 && zb > 0) {
    remainder = side_value_change(outer_, 0, zb, zb) - side_value_change(inner_, 0, -za, -za);
  } else if (zb > 0) {
    remainder = side_value_change(outer_, za, zb, h);
  } else {
    remainder = -side_value_change(inner_, -zb, -za, h);
  }
  return remainder + singular;
}

}  // namespace obrivane::models
