// Witt & Mao (1994): the magnification of a uniform disk of radius rho (Einstein radii) whose
// centre lies at distance u from a point lens,
//   A = (1/pi) [ (u+rho) sqrt(4+(u-rho)^2) / (2 rho^2) E(m)
//              - (u-rho) (8+u^2-rho^2) / (2 rho^2 sqrt(4+(u-rho)^2)) K(m)
//              + 2 (u-rho)^2 (1+rho^2) / (rho^2 (u+rho) sqrt(4+(u-rho)^2)) Pi(n, m) ],
//   n = 4 u rho / (u+rho)^2,  m = 4 n / (4+(u-rho)^2).
// Away from the limb the terms are evaluated in a fixed order through the Legendre routines, so
// that results agree to the last bit. Near the limb (u -> rho) both n and m tend to 1, and the
// Legendre routines would form 1 - n and 1 - m by cancellation; there the same expression is
// evaluated through Carlson's forms, with the complements taken from exact identities.
#include "models/uniform_disk.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>

#include "models/source_radius.hpp"
#include "models/uniform_disk_far.hpp"
#include "models/uniform_disk_fast.hpp"
#include "numeric/carlson/elliprf.hpp"
#include "numeric/carlson/elliprg.hpp"
#include "numeric/carlson/elliprj.hpp"
#include "numeric/legendre/ellipe.hpp"
#include "numeric/legendre/ellipk.hpp"
#include "numeric/legendre/ellippi.hpp"
#include "parallel/parallel_map.hpp"

namespace obrivane::models {
namespace {

constexpr double pi = std::numbers::pi;

// A failed element: the quiet NaN with the sign bit clear.
constexpr double failed_element = std::numeric_limits<double>::quiet_NaN();

// Beyond this separation (in source radii) the fixed-order closed form loses about eps (u/rho)^2
// to cancellation between its E and K terms, while the mean-value series is exact to rounding;
// up to it the fixed order is kept, bit for bit.
constexpr double fixed_order_separation = 100;

// The closed form squares and cubes rho; outside these bounds some of those products overflow or
// underflow. There the disk is either so small that A(r) = (1/r)(1 + O(r^2)) makes the
// magnification scale as 1/rho, and it is evaluated at small_source_scale and scaled back, or so
// large that it differs from 1 by about 2/rho^2, below rounding.
constexpr double smallest_closed_form_radius = 1e-75;
constexpr double largest_closed_form_radius = 1e75;

// Within this distance of the limb, absolutely or relative to u + rho, the near-limb evaluation
// is used. Outside it 1 - n = (u-rho)^2/(u+rho)^2 exceeds 1e-6, so the complements formed inside
// the Legendre routines keep at least ten significant digits.
constexpr double absolute_limb_band = 0.00001;
constexpr double relative_limb_band = 0.001;

// The limit u -> rho: (2/rho + ((rho^2+1)/rho^2) * 2 atan(rho)) / pi. The angle
// pi/2 + asin((rho^2-1)/(rho^2+1)) equals 2 atan(rho) and is formed without cancellation.
double coincident_magnification(double rho, double rho_squared) {
  return (2 / rho + ((rho_squared + 1) / rho_squared) * (2 * std::atan(rho))) / pi;
}

// The closing combination of the three terms, shared by both evaluations.
double witt_mao_terms(double u, double d, double s, double S, double rho_squared, double E, double K,
                      double P) {
  const double t1 = ((s * S) / (rho_squared + rho_squared)) * E;
  const double t2 = ((d * ((u * u - rho_squared) * 0.5 + 4)) / (S * rho_squared)) * K;
  const double t3 = (((d * d + d * d) * (rho_squared + 1)) / (S * (s * rho_squared))) * P;
  return ((t1 - t2) + t3) / pi;
}

// With s = u + rho and d = u - rho: s^2 - 4 u rho = d^2, hence
//   1 - n = d^2 / s^2,   1 - m = d^2 (4 + s^2) / (s^2 (4 + d^2)),
// and K = R_F(0, 1-m, 1), E = 2 R_G(0, 1-m, 1), Pi(n, m) = R_F(0, 1-m, 1) + n R_J(0, 1-m, 1, 1-n)/3.
double near_limb_magnification(double u, double d, double rho, double rho_squared) {
  const double s = u + rho;
  const double n = ((rho * 4) * u) / (s * s);
  // A negative n (u and rho of opposite signs) has no real modulus, as in the general form.
  if (!(n >= 0)) return failed_element;
  const double d_squared = d * d;
  const double s_squared = s * s;
  const double one_minus_n = d_squared / s_squared;
  const double one_minus_m = (d_squared * (4 + s_squared)) / (s_squared * (4 + d_squared));
  // On the limb itself, or so close that the complements underflow, the limit is exact.
  if (one_minus_n == 0 || one_minus_m == 0) return coincident_magnification(rho, rho_squared);

  const numeric::EllipticResult rf = numeric::elliprf(0, one_minus_m, 1);
  if (!rf.ok()) return failed_element;
  const numeric::EllipticResult rg = numeric::elliprg(0, one_minus_m, 1);
  if (!rg.ok()) return failed_element;
  const numeric::EllipticResult rj = numeric::elliprj(0, one_minus_m, 1, one_minus_n);
  if (!rj.ok()) return failed_element;
  const double K = rf.value();
  const double E = 2 * rg.value();
  const double P = rf.value() + n * rj.value() / 3;
  const double S = std::sqrt(d_squared + 4);
  return witt_mao_terms(u, d, s, S, rho_squared, E, K, P);
}

double general_magnification(double u, double d, double rho, double rho_squared) {
  const double s = rho + u;
  const double S = std::sqrt(d * d + 4);
  const double n = ((rho * 4) * u) / (s * s);
  // A NaN or negative n (a NaN, infinite or negative separation) gives a NaN modulus, with which
  // Pi's duplication would run to its pass limit before failing: the same failure, at once.
  if (!(n >= 0)) return failed_element;
  // m by squaring k, not as 4n/S^2, so that rounding is reproducible.
  const double k = std::sqrt(n * 4) / S;
  const double m = k * k;
  const numeric::EllipticResult E = numeric::ellipe(m);
  if (!E.ok()) return failed_element;
  const numeric::EllipticResult K = numeric::ellipk(m);
  if (!K.ok()) return failed_element;
  const numeric::EllipticResult P = numeric::ellippi(n, m);
  if (!P.ok()) return failed_element;
  return witt_mao_terms(u, d, s, S, rho_squared, E.value(), K.value(), P.value());
}

}  // namespace

double uniform_disk_magnification_at_u(double u, double rho, double rho_squared) noexcept {
  const double d = u - rho;
  // A NaN difference fails both tests and goes the general way, where it gives NaN.
  if (std::fabs(d) < absolute_limb_band || std::fabs(d) < relative_limb_band * (u + rho)) {
    return near_limb_magnification(u, d, rho, rho_squared);
  }
  return general_magnification(u, d, rho, rho_squared);
}

double uniform_disk_magnification_carlson(double u, double rho) noexcept {
  if (u > 0 && std::isfinite(u) && rho <= far_disk_ratio * u) return uniform_disk_magnification_far(u, rho);
  return near_limb_magnification(u, u - rho, rho, rho * rho);
}

double uniform_disk_magnification_accurate(double u, double rho) noexcept {
  // Clear of the lens by four radii the series is exact to rounding, and a zero radius gives the
  // point lens there; closer in, Bulirsch's two-integral form, to a few ulps (at most half the
  // Carlson form's error) and three to four times faster.
  if (u > 0 && std::isfinite(u) && rho <= far_disk_ratio * u) return uniform_disk_magnification_far(u, rho);
  return uniform_disk_magnification_fast(u, rho);
}

double uniform_disk_magnification(double x, double rho, double rho_squared) noexcept {
  // An infinite separation has no magnification and stays NaN, through the closed form.
  if (x > fixed_order_separation && x < std::numeric_limits<double>::infinity()) {
    const double u = x * rho;
    // An overflowing separation: the point-lens magnification is 1 to all digits there.
    if (!std::isfinite(u)) return 1;
    if (u < small_separation_scale) {
      const double rescaled =
          uniform_disk_magnification_far(small_separation_scale, small_separation_scale / x);
      return (rescaled * small_separation_scale) / u;
    }
    // A mean of the point-lens magnification, at least 1: rounding must not take it below.
    const double magnification = uniform_disk_magnification_far(u, rho);
    return at_least_one(magnification);
  }
  if (rho < smallest_closed_form_radius || rho > largest_closed_form_radius) {
    if (!(x >= 0)) return failed_element;
    if (rho > largest_closed_form_radius) return 1;
    const double rescaled = uniform_disk_magnification_carlson(x * small_source_scale, small_source_scale);
    return (rescaled * small_source_scale) / rho;
  }
  // Every magnification is at least 1. Where the closed form rounds below that (its E, K and Pi
  // terms cancel far from the source, and for large sources near the limb band, where Pi carries
  // the rounding of 1 - n), the bound is the better value; every other result is the closed
  // form's to the last bit.
  const double magnification = uniform_disk_magnification_at_u(x * rho, rho, rho_squared);
  return at_least_one(magnification);
}

std::vector<double> witt_mao_magnification(std::vector<double> l, double re, double rstar) {
  std::vector<double> magnifications(l.size(), failed_element);
  if (!valid_source_radii(re, rstar)) return magnifications;
  const double rho = rstar / re;
  if (rho == 0) {
    for (std::size_t i = 0; i < l.size(); ++i)
      magnifications[i] = underflowed_radius_magnification(l[i], re, rstar);
    return magnifications;
  }
  const double rho_squared = rho * rho;
  parallel::parallel_for(l.size(), [&](std::size_t i) {
    magnifications[i] = uniform_disk_magnification(l[i], rho, rho_squared);
  });
  return magnifications;
}

}  // namespace obrivane::models
