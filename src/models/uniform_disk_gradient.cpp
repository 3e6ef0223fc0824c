// The uniform disk's derivatives from its rim. The disk's magnified flux M = pi rho^2 A grows
// with the radius at the rate 2 pi rho R0, R0 the mean of the point-lens magnification over the
// rim, and moves with the lens as minus the rim's mean of A cos(phi), phi measured from the
// direction of the lens (the divergence theorem, d/du of a translate):
//   dA/drho = 2 (R0 - A) / rho,  dA/du = -2 C / rho,  C = (1/(2 pi)) integral of A cos(phi) dphi.
// In the notation of uniform_disk_fast_form.hpp (s = u + rho, d = u - rho, S = sqrt(4 + d^2), p =
// d^2/s^2, kc as there), with w^2 = d^2 + 4 u rho sin^2(phi/2) and tan(phi/2) = (|d|/s) tan(theta),
// both rim integrals take the disk's own modulus and parameter:
//   R0 = 2 / (pi s S) cel(kc, p, d^2 + 2, (s^2 + 2) p),
// both coefficients positive, and, after one integration by parts in phi (A' = -8/(w^2 (w^2 +
// 4)^(3/2))),
//   C = 64 u rho / (pi (s S)^3) J,  J = integral_0^(pi/2) sin^2 cos^2 / (cos^2 + kc^2 sin^2)^(3/2),
// a positive integrand. From d/dtheta of sin cos / Delta, J = cel(kc, 1, -1, 1) / k^2, and
// k^2 = 1 - kc^2 = 16 u rho / (s S)^2, so that
//   C = 4 cel(kc, 1, -1, 1) / (pi s S).
// The integral's two parts cancel to a fraction k^2 of their size as k^2 -> 0 (the lens near the
// centre, or a large source deep over it), but C is then as small, and its error of a few
// epsilon / (s S) stays a few epsilon of A / max(u, rho), the scale of the derivatives. Both
// derivatives diverge as ln|d| at the limb, where R0 and J do, each then a sum of positive terms.
//
// Clear of the source (rho <= u/4) the mean-value series is differentiated instead, by dual numbers
// (numeric/dual.hpp) through the same evaluation as the magnification.
#include "models/uniform_disk_gradient.hpp"

#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "models/uniform_disk_far.hpp"
#include "models/uniform_disk_fast_form.hpp"
#include "numeric/dual.hpp"
#include "numeric/legendre/cel_pair.hpp"

namespace obrivane::models {
namespace {

// Given distances below this fraction of the radius (only where a caller knows d better than u and
// rho, a concentric rim nearly on the lens), the closed form's d^2 terms would underflow. There
// A = A_limb + O(d ln|d|) and each derivative is c ln|d| + b + O(d ln|d|), so the value is the
// one at this distance and the derivatives follow the logarithm through their values at it and at
// tiniest_distance_step times it (the neglected terms below 1e-60).
constexpr double tiniest_distance = 1e-80;
constexpr double tiniest_distance_step = 1e10;

// The closed form with its rim derivatives, for 0 < u, d = u - rho != 0 and rho at least
// uniform_fast::smallest_size.
UniformDiskGradient rim_gradient(double u, double rho, double d) noexcept {
  constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double pi = std::numbers::pi;
  const uniform_fast::NearForm<double> form = uniform_fast::near_form(u, rho, d);
  const double s = form.s;
  const double rim_a = d * d + 2;
  const double rim_b = (s * s + 2) * (form.root_p * form.root_p);
  // The disk's two integrals and the rim's, one loop.
  const std::array<numeric::CelPair, 2> pairs = numeric::cel_pairs_of<double, 2>(
      form.kc, form.root_p, {{{form.a1, form.b1, 0, form.b}, {-1, 1, rim_a, rim_b}}});
  if (!pairs[0].ok()) return {quiet_nan, quiet_nan, quiet_nan};
  const double magnification = form.scale * (pairs[0].unit + pairs[0].general);
  const double s_times_root = s * form.root_four_plus_d_squared;
  const double rim = (2 / (pi * s_times_root)) * pairs[1].general;
  const double cosine_mean = (4 * pairs[1].unit) / (pi * s_times_root);
  return {magnification, -2 * cosine_mean / rho, 2 * (rim - magnification) / rho};
}

// The gradient for 0 < |d| (the checks done).
UniformDiskGradient gradient_across(double u, double rho, double d) noexcept {
  if (rho <= far_disk_ratio * u) {
    using Dual = numeric::Dual<2>;
    const Dual magnification =
        uniform_fast::magnification_across(Dual::variable(u, 0), Dual::variable(rho, 1), Dual(d, {1, -1}));
    return {magnification.value, magnification.tangent[0], magnification.tangent[1]};
  }
  if (u == 0) {
    // A disk centred on the lens: A = sqrt(rho^2 + 4) / rho, even in u.
    const double root = std::sqrt(rho * rho + 4);
    return {root / rho, 0, -4 / ((rho * rho) * root)};
  }
  // Tiny sizes scaled up by a power of two, exactly (uniform_disk_fast_form.hpp): A(c u, c rho) =
  // A(u, rho) / c, so the derivatives scale by 1/c^2.
  if (rho >= uniform_fast::smallest_size) return rim_gradient(u, rho, d);
  const int exponent = uniform_fast::scale_exponent(rho);
  const UniformDiskGradient scaled =
      rim_gradient(std::ldexp(u, exponent), std::ldexp(rho, exponent), std::ldexp(d, exponent));
  return {std::ldexp(scaled.magnification, exponent), std::ldexp(scaled.d_u, 2 * exponent),
          std::ldexp(scaled.d_rho, 2 * exponent)};
}

}  // namespace

UniformDiskGradient uniform_disk_gradient(double u, double rho) noexcept {
  return uniform_disk_gradient(u, rho, u - rho);
}

UniformDiskGradient uniform_disk_gradient(double u, double rho, double d) noexcept {
  constexpr double infinity = std::numeric_limits<double>::infinity();
  if (!(u >= 0) || !(rho > 0) || !std::isfinite(rho)) {
    return {uniform_fast::quiet_nan, uniform_fast::quiet_nan, uniform_fast::quiet_nan};
  }
  if (u == infinity || rho > uniform_fast::indistinguishable_radius) return {1, 0, 0};
  if (d == 0) return {uniform_fast::magnification(u, rho), -infinity, infinity};
  if (std::fabs(d) < tiniest_distance * rho) {
    // ln|d| from two distances still resolved (see tiniest_distance).
    const UniformDiskGradient nearest = gradient_across(u, rho, std::copysign(tiniest_distance * rho, d));
    const UniformDiskGradient nearer =
        gradient_across(u, rho, std::copysign(tiniest_distance_step * (tiniest_distance * rho), d));
    const double steps =
        std::log(std::fabs(d) / (tiniest_distance * rho)) / std::log(1 / tiniest_distance_step);
    return {nearest.magnification, nearest.d_u + (nearest.d_u - nearer.d_u) * steps,
            nearest.d_rho + (nearest.d_rho - nearer.d_rho) * steps};
  }
  return gradient_across(u, rho, d);
}

}  // namespace obrivane::models
