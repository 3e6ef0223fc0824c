// Derivatives of the mu-weighted disk by lines through the lens (notation of mu_weighted_disk.cpp).
// With the source centre c = (u, 0), mu^2 = 1 - |r - c|^2/a^2 and T_p = (1/(pi a^2)) integral of
// mu^p A d^2r (T_1 = 2/3 of the magnification), the derivatives move onto the brightness, where
// they vanish on the limb for p > 0:
//   dT_p/du = (p/a^2) (1/(pi a^2)) integral mu^(p-2) (x - u) A d^2r,
//   a dT_p/da = p T_(p-2) - (p + 2) T_p,
// since d(mu^p)/du = p mu^(p-2) (x - u)/a^2 and d(mu^p)/da = p mu^(p-2) (1 - mu^2)/a. For p = 1 the
// chord weight of mu^-1 is a (1 - s^2)^(-1/2) ds: with x - u = -u sin^2(theta) + h s cos(theta),
//   integral mu^-1 A d^2r = 2a integral_0^theta* G_T dtheta,
//   integral mu^-1 (x - u) A d^2r = 2a integral_0^theta* (-u sin^2(theta) G_T + h cos(theta) G_S) dtheta,
// G_T and G_S the integrals of F(m + h s) and s F(m + h s) against (1 - s^2)^(-1/2). G_T is even in
// h and G_S odd, so both angle integrands are analytic in h^2, as the magnification's own: the same
// Gauss-Legendre rule in theta serves, with Gauss-Chebyshev of the first kind in s. Measured
// against 128 x 200-point rules at the largest radius of every band, s = u/a from 0 to 4 and within
// 1e-12 of the limb: 3e-15 for d/du and 2e-14 for d/da (a T_(-1) - 3 T_1 cancels to the size of the
// derivative). In the largest band, radii 3 to 10, the derivatives need 40 points in theta where
// the magnification needs 32 (3.8e-13 with 32 at radius 10 on the limb).
#include "models/mu_weighted_disk_gradient.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>

#include "models/chord_rules.hpp"
#include "models/line_angles.hpp"
#include "models/mu_weighted_disk.hpp"
#include "models/periodic_lines.hpp"
#include "models/point_lens_along_line.hpp"
#include "models/power_weighted_disk.hpp"
#include "models/power_weighted_disk_gradient.hpp"
#include "models/power_weighted_lines.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models {
namespace {

constexpr double pi = std::numbers::pi;
constexpr double half_pi = std::numbers::pi / 2;

// The line at `angle`: h^2 times the chord integral of the value (if `with_value`), and the chord
// integrals of T_-1 and of its first moment (if `with_derivatives`); 0 for those not asked.
struct LineSums {
  double value, inverse, moment;
};

LineSums line_sums(double u, double a, LineAngle angle, bool with_value, bool with_derivatives) noexcept {
  const double across = u * angle.sine;
  const double h_squared = (a - across) * (a + across);
  const double h = std::sqrt(h_squared);
  const double m = u * angle.cosine;
  double chord_u = 0;
  if (with_value) {
    for (const numeric::GaussNode& point : chord_rules_for(h).chebyshev_u) {
      chord_u += point.weight * point_lens_times_radius(m + h * point.abscissa);
    }
  }
  double chord_t = 0;
  double chord_s = 0;
  if (with_derivatives) {
    for (const numeric::GaussNode& point : chord_rules_for(h).chebyshev_t) {
      const double f = point.weight * point_lens_times_radius(m + h * point.abscissa);
      chord_t += f;
      chord_s += point.abscissa * f;
    }
  }
  return {h_squared * chord_u, chord_t, (h * angle.cosine) * chord_s - (across * angle.sine) * chord_t};
}

// With `given` the magnification (NaN for none, when the value's own rule is also the
// derivatives'), the value rule is not summed. The lines are those of the magnification
// (mu_weighted_disk.cpp): the periodic rule where it is shorter, else Gauss-Legendre.
template <const auto& ThetaRule>
DiskGradient by_lines(double u, double a, double given) noexcept {
  const bool with_value = std::isnan(given);
  const bool inside = u <= a;
  const std::size_t intervals = inside ? periodic_lines::intervals(u, a, ThetaRule.size()) : 0;
  // The three angle integrals over [0, theta*].
  double value = 0;
  double inverse = 0;
  double moment = 0;
  if (intervals != 0) {
    // The value on the magnification's own lines; the derivatives' integrands carry
    // sin^2(theta), which grows on the strip like exp(2 eta): one interval more covers it.
    if (with_value) {
      value = periodic_lines::integral(
          intervals, [&](LineAngle angle) { return line_sums(u, a, angle, true, false).value; });
    }
    const std::size_t finer = intervals + 1;
    const double step = half_pi / static_cast<double>(finer);
    for (std::size_t j = 0; j <= finer; ++j) {
      const LineSums line = line_sums(u, a, periodic_lines::angle(finer, j), false, true);
      const double weight = j == 0 || j == finer ? 0.5 : 1.0;
      inverse += weight * line.inverse;
      moment += weight * line.moment;
    }
    inverse *= step;
    moment *= step;
  } else {
    const double theta_max = inside ? half_pi : std::asin(a / u);
    const double half_range = theta_max * 0.5;
    for (std::size_t i = 0; i < ThetaRule.size(); ++i) {
      const numeric::GaussNode& node = ThetaRule[i];
      const double theta = half_range + half_range * node.abscissa;
      // With the lens inside the angles are the rule's own.
      const LineAngle angle =
          inside ? quarter_circle_angles<ThetaRule>()[i] : LineAngle{std::sin(theta), std::cos(theta)};
      const LineSums line = line_sums(u, a, angle, with_value, true);
      value += node.weight * line.value;
      inverse += node.weight * line.inverse;
      moment += node.weight * line.moment;
    }
    value = value * half_range;
    inverse *= half_range;
    moment *= half_range;
  }
  // T_1 = (2/a) value / (pi a^2), the magnification 3 T_1 / 2 (mu_weighted_disk.cpp);
  // T_-1 = 2a inverse / (pi a^2); dT_1/du = 2a moment / (pi a^4).
  const double area = pi * (a * a);
  const double magnification = with_value ? (3 / (pi * (a * (a * a)))) * value : given;
  const double t_one = magnification * (2.0 / 3);
  const double t_inverse = ((2 * a) * inverse) / area;
  const double d_u = ((2 * a) * moment) / (area * (a * a));
  const double d_radius = (t_inverse - 3 * t_one) / a;
  return {magnification, 1.5 * d_u, 1.5 * d_radius};
}

}  // namespace

DiskGradient mu_weighted_disk_gradient(double u, double a) noexcept {
  if (u >= power_lines::gauss_outside_ratio * a && a <= largest_radius_by_lines) {
    // Well outside the magnification takes the lines in t (mu_weighted_disk.cpp), and the
    // derivatives those of the mu^p disk at p = 1, whose chord weight is (1 - s^2)^(-1/2).
    static const PowerChordRules inverse_rules(-1);
    const double magnification = mu_weighted_disk_magnification(u, a);
    const double t_one = magnification * (2.0 / 3);
    const PowerDiskSlopes slopes = power_weighted_disk_slopes(u, a, 1, t_one, inverse_rules);
    return {magnification, 1.5 * slopes.d_u, 1.5 * slopes.d_radius};
  }
  // The node counts of mu_weighted_disk.cpp.
  using namespace numeric;
  constexpr double none = std::numeric_limits<double>::quiet_NaN();
  if (a <= 0.01) return by_lines<gauss_legendre_10>(u, a, none);
  if (a <= 0.3) return by_lines<gauss_legendre_12>(u, a, none);
  if (a <= 1) return by_lines<gauss_legendre_16>(u, a, none);
  if (a <= 3) return by_lines<gauss_legendre_24>(u, a, none);
  // The magnification keeps its own 32 points in theta, and the derivatives take it.
  return by_lines<gauss_legendre_40>(u, a, mu_weighted_disk_magnification(u, a));
}

}  // namespace obrivane::models
