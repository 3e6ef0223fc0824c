// The uniform disk's derivatives: the evaluation of uniform_disk_fast_form.hpp run on dual numbers
// with the tangents d/du and d/drho; its exact power-of-two rescaling of tiny sizes scales the
// tangents alike, so the derivatives of A(c u, c rho) / c come out scaled by 1/c^2.
//
// Near the limb the closed form's modulus kc and parameter sqrt(p) shrink in proportion to |d|, and
// the derivatives across the limb, d/du and d/drho, pick up rounding of relative size about
// epsilon rho / |d| on their way through the Gauss transformations (they diverge as ln|d| while
// the terms they are made of grow as 1/|d|). Along d = const nothing shrinks and the derivative
// (d/du + d/drho) A stays accurate. So within limb_band of the limb the tangent is taken along
// d = const, and d/drho comes instead from the thin ring: the
// disk's magnified flux pi rho^2 A grows at the rate 2 pi rho R0, R0 the mean of the point-lens
// magnification over its rim, so
//   dA/drho = 2 (R0 - A) / rho,  dA/du = (d/du + d/drho) A - dA/drho,
// and R0 in Carlson's symmetric forms, free of cancellation (with a = d^2, b = 4 u rho,
// s = u + rho):
//   R0 = (1/pi) [2 (a + 2) R_F(0, X, Y) + (2/3) b P R_J(0, X, Y, P)],
//   X = s^2 (d^2 + 4),  Y = d^2 (s^2 + 4),  P = d^2 (d^2 + 4).
#include "models/uniform_disk_gradient.hpp"

#include <cmath>
#include <limits>
#include <numbers>

#include "models/uniform_disk_far.hpp"
#include "models/uniform_disk_fast_form.hpp"
#include "numeric/carlson/elliprf.hpp"
#include "numeric/carlson/elliprj.hpp"
#include "numeric/dual.hpp"

namespace obrivane::models {
namespace {

// Within this fraction of the radius from the limb the derivatives across it come from the rim.
constexpr double limb_band = 0.05;

// Given distances below this fraction of the radius (only where a caller knows d better than u and
// rho, a concentric rim nearly on the lens), the closed form's d^2 terms would underflow. There
// A = A_limb + O(d ln|d|) and each derivative is c ln|d| + b + O(d ln|d|), so the value is the
// one at this distance and the derivatives follow the logarithm through their values at it and at
// tiniest_distance_step times it (the neglected terms below 1e-60).
constexpr double tiniest_distance = 1e-80;
constexpr double tiniest_distance_step = 1e10;

// The rim's mean magnification R0 for 0 < u, d = u - rho != 0 (NaN if an elliptic integral fails).
double rim_magnification(double u, double rho, double d) noexcept {
  const double s = u + rho;
  const double d_squared = d * d;
  const double x = (s * s) * (d_squared + 4);
  const double y = d_squared * (s * s + 4);
  const double p = d_squared * (d_squared + 4);
  const numeric::EllipticResult first = numeric::elliprf(0, x, y);
  const numeric::EllipticResult third = numeric::elliprj(0, x, y, p);
  if (!first.ok() || !third.ok()) return std::numeric_limits<double>::quiet_NaN();
  return (2 * (d_squared + 2) * first.value() + ((2.0 / 3) * (4 * u * rho)) * (p * third.value())) /
         std::numbers::pi;
}

// The gradient for 0 < |d| (the checks done).
UniformDiskGradient gradient_across(double u, double rho, double d) noexcept {
  const bool near_limb = std::fabs(d) < limb_band * rho && !(rho <= far_disk_ratio * u);
  if (!near_limb) {
    using Dual = numeric::Dual<2>;
    const Dual magnification =
        uniform_fast::magnification_across(Dual::variable(u, 0), Dual::variable(rho, 1), Dual(d, {1, -1}));
    return {magnification.value, magnification.tangent[0], magnification.tangent[1]};
  }
  // Along d = const: u and rho both with the tangent 1, d with none.
  using Dual = numeric::Dual<1>;
  const Dual magnification =
      uniform_fast::magnification_across(Dual::variable(u, 0), Dual::variable(rho, 0), Dual(d));
  const double value = magnification.value;
  // The rim's mean at the size evaluated, rescaled like the disk (R0 scales as A).
  int exponent = 0;
  if (rho < uniform_fast::smallest_size) exponent = uniform_fast::scale_exponent(rho);
  const double rho_scaled = std::ldexp(rho, exponent);
  const double rim = rim_magnification(std::ldexp(u, exponent), rho_scaled, std::ldexp(d, exponent));
  const double d_rho = std::ldexp(2 * (rim - std::ldexp(value, -exponent)) / rho_scaled, 2 * exponent);
  return {value, magnification.tangent[0] - d_rho, d_rho};
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
