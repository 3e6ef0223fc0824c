// The mu-weighted disk by lines through the lens. With the lens at the origin and the source
// centre at distance u on the x axis, a line at angle theta carries the signed position w, and
// d^2r = |w| dw dtheta. The point-lens magnification times |w|,
//   F(w) = (w^2 + 2) / sqrt(w^2 + 4),
// is analytic on the whole real line (branch points at w = +-2i). The line meets the disk over
// w in [m - h, m + h], m = u cos theta, h^2 = a^2 - u^2 sin^2 theta, where mu = sqrt(h^2 - (w-m)^2)/a.
// With w = m + h s and the symmetry theta -> -theta,
//   integral of mu A d^2r = (2/a) integral_0^theta* h^2 integral_-1^1 sqrt(1 - s^2) F(m + h s) ds dtheta,
// theta* = pi/2 for u <= a and asin(a/u) beyond. The inner integral is even in h, hence analytic in
// h^2 and in theta up to and across the tangent line theta*: Gauss-Chebyshev of the second kind in
// s and Gauss-Legendre in theta converge geometrically, at a rate set by the distance of the
// branch points from the chord (about 2/a in s). Divided by the weight integral 2 pi a^2 / 3.
#include "models/mu_weighted_disk.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>

#include "models/chord_rules.hpp"
#include "models/line_angles.hpp"
#include "models/periodic_lines.hpp"
#include "models/point_lens_along_line.hpp"
#include "models/power_weighted_lines.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models {
namespace {

constexpr double pi = std::numbers::pi;
constexpr double half_pi = std::numbers::pi / 2;

// The chord integral of F against sqrt(1 - s^2), by the rule of the chord's half-length h.
double chord_integral(double m, double h) noexcept { return chord_sum(m, h, chord_rules_for(h).chebyshev_u); }

// h^2 times the chord integral of the line at `angle`.
double line_integral(double u, double a, LineAngle angle) noexcept {
  const double across = u * angle.sine;
  // h^2 as a product: no cancellation near the tangent line.
  const double h_squared = (a - across) * (a + across);
  return h_squared * chord_integral(u * angle.cosine, std::sqrt(h_squared));
}

// The lens well outside, in t = (u/a) sin(theta) (power_weighted_lines.hpp): h^2 = a^2 (1 - t^2)
// is the Gauss-Jacobi rule's own weight, and dtheta = (a/m) dt with m = sqrt(u^2 - a^2 t^2), free
// of sines and cosines. The magnification is 3/2 of T_1.
double well_outside(double u, double a) noexcept {
  const std::span<const numeric::GaussNode> rule =
      a <= 3 ? std::span<const numeric::GaussNode>(numeric::gauss_jacobi_1_24) : numeric::gauss_jacobi_1_32;
  const double t_one = power_lines::well_outside(a, rule, [&](double t) {
    const double at = a * t;
    const double m = std::sqrt((u - at) * (u + at));
    return (a / m) * chord_integral(m, a * std::sqrt((1 - t) * (1 + t)));
  });
  return 1.5 * t_one;
}

template <const auto& ThetaRule>
double by_lines(double u, double a) noexcept {
  if (u >= power_lines::gauss_outside_ratio * a) return well_outside(u, a);
  constexpr std::size_t Lines = ThetaRule.size();
  const bool inside = u <= a;
  // (2/a) integral / (2 pi a^2 / 3)
  const double scale = 3 / (pi * (a * (a * a)));
  if (inside) {
    const std::size_t intervals = periodic_lines::intervals(u, a, Lines);
    if (intervals != 0) {
      return scale *
             periodic_lines::integral(intervals, [&](LineAngle angle) { return line_integral(u, a, angle); });
    }
  }
  const double theta_max = inside ? half_pi : std::asin(a / u);
  const double half_range = theta_max * 0.5;
  double outer = 0;
  for (std::size_t i = 0; i < Lines; ++i) {
    const numeric::GaussNode& line = ThetaRule[i];
    const double theta = half_range + half_range * line.abscissa;
    // With the lens inside the angles are the rule's own, their sines and cosines made once.
    const LineAngle angle =
        inside ? quarter_circle_angles<ThetaRule>()[i] : LineAngle{std::sin(theta), std::cos(theta)};
    outer += line.weight * line_integral(u, a, angle);
  }
  return scale * (outer * half_range);
}

}  // namespace

double mu_weighted_disk_magnification(double u, double a) noexcept {
  // Lines by the band of the radius and chord nodes by each line's half-length (chord_rules.hpp):
  // counts that reach rounding level (checked against far larger rules) for every u up to four
  // radii, at the largest radius of each band.
  if (a <= 0.01) return by_lines<numeric::gauss_legendre_10>(u, a);
  if (a <= 0.3) return by_lines<numeric::gauss_legendre_12>(u, a);
  if (a <= 1) return by_lines<numeric::gauss_legendre_16>(u, a);
  if (a <= 3) return by_lines<numeric::gauss_legendre_24>(u, a);
  return by_lines<numeric::gauss_legendre_32>(u, a);
}

}  // namespace obrivane::models
