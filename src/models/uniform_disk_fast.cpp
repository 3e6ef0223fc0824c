// Witt & Mao (1994) give the magnification of a uniform disk of radius rho at distance u from a
// point lens as (1/pi) [c_E E(m) - c_K K(m) + c_P Pi(n, m)], with s = u + rho, d = u - rho,
// S = sqrt(4 + d^2),
//   c_E = s S / (2 rho^2),  c_K = d (8 + u^2 - rho^2) / (2 rho^2 S),  c_P = 2 d^2 (1 + rho^2) / (rho^2 s S),
//   n = 4 u rho / s^2,  m = 4 n / S^2,  1 - n = d^2 / s^2,  1 - m = d^2 (4 + s^2) / (s^2 S^2).
// In Bulirsch's form, with kc = sqrt(1 - m), E = cel(kc, 1, 1, kc^2), K = cel(kc, 1, 1, 1) and
// Pi = cel(kc, p, 1, 1) with p = 1 - n, and cel is linear in its last two arguments, so
//   c_E E - c_K K = cel(kc, 1, c_E - c_K, c_E kc^2 - c_K),
// whose two coefficients simplify, by S^2 = 4 + d^2 and s^2 - d^2 = 4 u rho, to
//   c_E - c_K = 2 (3 rho - u) / (rho^2 S),  c_E kc^2 - c_K = -2 d (u + 3 rho) / (rho^2 s S).
// K is also cel(kc, p, 1, p), so a multiple of it may move between the two integrals. Moving the
// whole c_P K leaves Pi - K = cel(kc, p, 0, 1 - p) = cel(kc, p, 0, n), with a non-negative
// integrand, and makes the other integral's coefficients, by (3 rho - u) s + d^2 = 4 rho^2,
//   rho^2 S^2 / s  and  d rho (d rho - 4) / s   (times 2 / (rho^2 S)).
// Hence
//   A = 2 / (pi rho^2 S s) [cel(kc, 1, rho^2 S^2, d rho (d rho - 4)) + cel(kc, p, 0, b)],
//   b = 4 u rho d^2 (1 + rho^2) / s^2,  sqrt(p) = |d| / s,  kc = (|d| / s) sqrt(4 + s^2) / S,
// both integrals from one loop. Nothing is formed as a difference of nearly equal numbers: kc and
// sqrt(p) are products of |d| / s, exact to rounding right up to the limb. Inside the limb both
// integrands are positive; outside, the first one's changes sign, and the two integrals cancel
// by a factor up to about 8 at the switch to the mean-value series, u = 4 rho (half the factor
// of the split with c_P Pi on its own).
#include "models/uniform_disk_fast.hpp"

#include <cmath>
#include <limits>
#include <numbers>

#include "models/source_radius.hpp"
#include "models/uniform_disk_far.hpp"
#include "numeric/legendre/cel_pair.hpp"

namespace obrivane::models {
namespace {

constexpr double pi = std::numbers::pi;
constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();

// Beyond this radius the magnification exceeds 1 by at most 2 / rho^2 = 2e-18 (the point-lens
// excess integrates to 2 pi over the plane, spread over the area pi rho^2), which rounds to 1.
constexpr double indistinguishable_radius = 1e9;

// Below this size (rho near the lens, u far from it) both are scaled up by a power of two, exactly,
// to it: within a few Einstein radii A(r) = (1/r) (1 + O(r^2)), so A(c u, c rho) = A(u, rho) / c to a
// relative O(size^2) = 2^-400. The near form squares d, which is at least about epsilon rho, and the
// far series squares u; from this size up neither square comes near underflow.
constexpr int smallest_exponent = -200;
constexpr double smallest_size = 0x1p-200;

// The limit u -> rho: (2/rho + ((rho^2+1)/rho^2) * 2 atan(rho)) / pi.
double on_the_limb(double rho) noexcept {
  return (2 / rho + ((rho * rho + 1) / (rho * rho)) * (2 * std::atan(rho))) / pi;
}

double near_magnification(double u, double rho) noexcept {
  // A disk centred on the lens: the mean of A(r) over it is sqrt(rho^2 + 4) / rho.
  if (u == 0) return std::sqrt(rho * rho + 4) / rho;
  const double d = u - rho;
  if (d == 0) return on_the_limb(rho);
  const double s = u + rho;
  const double four_plus_d_squared = d * d + 4;
  const double root_four_plus_d_squared = std::sqrt(four_plus_d_squared);
  const double root_p = std::fabs(d) / s;
  // kc = sqrt(1 - m) <= 1; rounding may take it an ulp above.
  const double kc = std::fmin(root_p * (std::sqrt(s * s + 4) / root_four_plus_d_squared), 1.0);
  const double d_rho = d * rho;
  const double b = ((4 * u * rho) * ((d * d) * (rho * rho + 1))) / (s * s);
  const numeric::CelPair integrals =
      numeric::cel_pair(kc, root_p, (rho * rho) * four_plus_d_squared, d_rho * (d_rho - 4), 0, b);
  if (!integrals.ok()) return quiet_nan;
  return (2 / (pi * (rho * rho) * (root_four_plus_d_squared * s))) * (integrals.unit + integrals.general);
}

// A size brought to the exponent smallest_exponent by a power of two.
int scale_exponent(double size) noexcept { return smallest_exponent - std::ilogb(size); }

double magnification(double u, double rho) noexcept {
  if (!(u >= 0) || !(rho > 0) || !std::isfinite(rho)) return quiet_nan;
  if (rho > indistinguishable_radius || u == std::numeric_limits<double>::infinity()) return 1;
  if (rho <= far_disk_ratio * u) {
    if (u >= smallest_size) return uniform_disk_magnification_far(u, rho);
    const int exponent = scale_exponent(u);
    return std::ldexp(uniform_disk_magnification_far(std::ldexp(u, exponent), std::ldexp(rho, exponent)),
                      exponent);
  }
  if (rho >= smallest_size) return near_magnification(u, rho);
  const int exponent = scale_exponent(rho);
  return std::ldexp(near_magnification(std::ldexp(u, exponent), std::ldexp(rho, exponent)), exponent);
}

}  // namespace

double uniform_disk_magnification_fast(double u, double rho) noexcept {
  // A mean of the point-lens magnification is at least 1; rounding must not take it below.
  const double value = magnification(u, rho);
  return at_least_one(value);
}

}  // namespace obrivane::models
