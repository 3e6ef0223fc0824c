// The rays of a large source over the angle about the lens (large_source.hpp), and the rules each
// region takes: the lens well inside, by the limb, or well outside.
//
// The angles: with the lens inside the ray integral F(theta) is analytic, even and 2 pi-periodic,
// up to the branch points of the chord's half-length h = sqrt(rho^2 - u^2 sin^2 theta) at
// theta = +-pi/2 +- i a, a = acosh(rho/u), tanh(a) = q/rho with q = sqrt(rho^2 - u^2), so the
// trapezoidal rule converges geometrically, but slowly as the lens nears the limb (a -> 0). The
// substitution tan(theta) = k tan(psi), k >= 1, keeps the integrand even and periodic in psi and
// spreads the nodes about theta = pi/2 by k: the branch points move to Im psi =
// atanh(k q/rho) (or atanh(rho/(k q)) beyond k q = rho), while the map itself is singular where
// tan(theta) = +-i, at Im psi = atanh(1/k). So k = sqrt(rho/q) puts both at
// d = atanh(sqrt(q/rho)) > a (0.63 against 0.32 with the lens at 0.95 rho), and
// cos(theta) = cos(psi)/n, sin(theta) = k sin(psi)/n, dtheta = (k/n^2) dpsi with
// n^2 = cos^2(psi) + k^2 sin^2(psi): 4 to 14 intervals over [0, pi] with the lens well inside,
// up to 64 to within 0.02 (rho = 10.5) to 0.5 (rho = 1000) Einstein radii of the limb. Nearer,
// the chord's half-length nearly vanishes about theta = pi/2; with
// q = sqrt(rho^2 - u^2) and u cos(theta) = -q sinh(xi), h = q cosh(xi), and the ray's limbs lie at
// s_2 = q exp(-xi), s_1 = -q exp(xi), analytic in xi, so |theta - pi/2| <= pi/4 is integrated in xi
// (panels of length at most 3) and the rest in theta. With the lens outside, q = sqrt(u^2 - rho^2),
// the rays span theta up to asin(rho/u), where h -> 0 like a square root; there the variable is
// zeta with h = h_c sinh(zeta), h_c = max(q, 1e-5), for which m = u cos(theta) = h_c cosh(zeta),
// s_1 = q exp(-zeta), s_2 = m + h when h_c = q, and the rest in y = u sin(theta), which keeps
// m = sqrt(u^2 - y^2), h = sqrt(rho^2 - y^2) free of square roots that vanish.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <span>

#include "models/large_source_rules.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models {

// Whether a law's brightness is constant (the uniform disk: no rays), a polynomial in mu (then
// analytic in the ray variable), or has the end-point singularities of sqrt(mu), mu ln mu or
// mu^alpha at the limb.
enum class LimbProfile { constant, polynomial, singular };

namespace large_source {

// The panel length in xi or zeta: the integrands' nearest singularities lie about pi/2 off the
// real axis, so 24 Gauss-Legendre nodes on panels of length 3 reach rounding level (16 leave 1e-11
// at rho = 10 with the lens on the limb).
inline constexpr double panel_length = 3;

// A lens at least this far from the limb (Einstein radii) keeps the rays that graze the limb
// beyond the kernel's width (s (A - 1) ~ 2/s^3), and coarser rules by the limb reach the accuracy
// of the finer ones nearer it: 16 nodes per ray, 10 angles per quarter and 12 per panel about the
// perpendicular (checked against 32-node rules for rho = 10 to 1000, within 1.2e-13 of A).
inline constexpr double middle_distance = 2;

// With the lens inside, a ray that starts near the limb behind the lens has a branch point of mu
// (and of the brightness) at t = 0 in its variable, t_start before its start, and with it the Gauss
// rules' geometric rate falls. By the limb (neither well inside nor middle_distance from it) the
// rays take the limb's rules of limb_ray_nodes only if they start within this distance (Einstein
// radii) of the limb behind the lens, and the outside rules' 16 otherwise: with the lens 0.5 to 2
// Einstein radii inside, where no ray starts nearer, 16 nodes leave A within an ulp of 24 (rho = 10
// to 1000, the linear, quadratic, square-root and logarithmic laws), and nearer, 16 on every ray
// left up to 4.7e-15 of A at 0.04 Einstein radii (2.2e-12 with mu ln mu).
inline constexpr double limb_rules_behind_within = 0.5;

// The nodes of a ray's rules from the region's `size` (rays_by_region) and the ray's start s_1
// (negative on a ray from a lens inside), as limb_rules_behind_within says.
inline std::size_t ray_nodes_for(std::size_t size, double s_1) noexcept {
  const bool far_from_limb_behind = s_1 < 0 && -s_1 >= limb_rules_behind_within;
  return size == limb_ray_nodes && far_from_limb_behind ? outside_ray_nodes : size;
}

// Below this radius the rays' part is a larger share of the excess (about log(rho)/rho^2, 2 % at
// rho = 10.5), and the deep rays take 16 nodes, within 6e-16 of A: 12 left up to 1.6e-14 of A at
// rho = 10.5 with the lens by 0.7 radii (and a profile mu^2 1e-14 at rho = 30, 3e-15 at 100).
inline constexpr double longer_deep_rays_below = 150;

// The trapezoidal rule of N intervals in the angle leaves about exp(-2 N d) of the rays' part, d
// the distance of its branch points off the real axis: at rho = 10.5, N d >= 14 leaves below
// 6e-16 of A without the map (16 intervals with the lens at q = u, d = a = 0.88, against the
// two-dimensional references; 8 intervals from a = 1.75, u = 0.34 rho, inwards).
inline constexpr double trapezoid_reach = 14;
inline constexpr double trapezoid_reach_radius = 10.5;

// The map's integrand has larger coefficients by its singularities: with the reach itself the
// mapped rule left up to 6.8e-15 of A at rho = 10.5, with 1.15 times it within 2.2e-16 of A of the
// rules of twice the reach (and of the unmapped rules, which served to 32 intervals).
inline constexpr double mapped_reach_factor = 1.15;

// The rays' part is about log(rho)/rho^2 of the excess, so for a larger source the angle rule
// may leave a larger share of it for the same share of A: N a >= 14 - ln(rho/10.5) +
// ln(ln(rho)/ln(10.5))/2, 10 at rho = 1000 (against the reach of 14 throughout, A changed by at
// most an ulp from rho = 10.5 to 1000, and the derivatives by 1.4e-15 of A/rho).
// The reach falls below zero beyond rho = 3e7, where the rays' part of A is below 1e-28 but that
// of the derivatives by the limb is not: at rho = 1e8 they moved by 2.4e-10 of A/rho against the
// rules of reach 8, and by 6.8e-15 with the reach held at 3 (from rho = 1.7e6 on).
inline constexpr double smallest_trapezoid_reach = 3;

inline double trapezoid_reach_for(double rho) noexcept {
  if (rho <= trapezoid_reach_radius) return trapezoid_reach;
  return std::max(smallest_trapezoid_reach,
                  trapezoid_reach - std::log(rho / trapezoid_reach_radius) +
                      0.5 * std::log(std::log(rho) / std::log(trapezoid_reach_radius)));
}

// With the lens outside and q below this (Einstein radii), the near-tangent variable is scaled to
// it instead: the rays with h < 1e-5 contribute h^(p+2) ~ 1e-10 (and less for p >= 1) of the excess,
// so the near-singularity of m at h ~ q, inside the first panel, costs far less than that.
inline constexpr double smallest_tangent_scale = 1e-5;

// Whom the rays serve: a value, or its derivatives (large_source_slopes.hpp), whose rules differ
// in two places. With the lens outside the derivatives keep the limb's ray rules until the lens
// is well outside (the values take shorter ones from middle_distance beyond the limb). With the
// lens inside, the derivatives' integrands along the rays to the near limb vary on the scale of
// rho - u in the angle about theta = pi, where the map thins the nodes by k: with the mapped rule
// the derivatives at rho = 10.5 were 7.4e-15 of A/rho off the 45-digit references 0.3 Einstein
// radii inside the limb, against 7e-16 by the quarter rules and panels of rays_inside (and moved
// by up to 4.7e-14 from 0.1 to 0.3 Einstein radii inside). So they take it only where the
// unmapped rule of at most 32 intervals would have served (N a >= trapezoid_reach_for(rho)),
// there within 3e-15 of A/rho of those rules, and the quarter rules and panels nearer the limb.
enum class RaysFor { value, derivatives };

// With the lens inside (u < rho), the fewest intervals N of whole_angle_intervals of the mapped
// trapezoidal rule with N d >= mapped_reach_factor trapezoid_reach_for(rho), d =
// atanh(sqrt(q/rho)); 0 nearer the limb, where beyond 64 intervals the quarter rules and panels of
// rays_inside take fewer rays (72 by the limb), and for the derivatives (`use`) where the unmapped
// rule would have taken more than 32.
inline std::size_t whole_angle_intervals_for(double u, double rho, RaysFor use = RaysFor::value) noexcept {
  const double q_over_rho = std::sqrt((rho - u) * (rho + u)) / rho;
  const double reach = trapezoid_reach_for(rho);
  // acosh(rho/u) = atanh(q/rho), infinite for u = 0.
  if (use == RaysFor::derivatives && !(32 * std::atanh(q_over_rho) >= reach)) return 0;
  const double distance = std::atanh(std::sqrt(q_over_rho));
  for (const std::size_t intervals : whole_angle_intervals) {
    if (static_cast<double>(intervals) * distance >= mapped_reach_factor * reach) return intervals;
  }
  return 0;
}

// The rays' part: integral_0^pi dtheta of along_ray(s_1, s_2, m), the ray excess, for the lens
// inside (u < rho), m = u cos(theta) = (s_1 + s_2)/2 given as formed without cancellation. The
// rays' integrals are of any type Value with Value{} = 0, += and a product by a double on the
// left. With the lens at least middle_distance from the limb (`middle`) shorter angle rules do.
template <class Along>
auto rays_inside(double u, double rho, bool middle, RaysFor use, const Along& along_ray) noexcept
    -> decltype(along_ray(0.0, 0.0, 0.0)) {
  const double q_squared = (rho - u) * (rho + u);
  const double q = std::sqrt(q_squared);
  const auto along = [&](double cosine, double sine) {
    const double m = u * cosine;
    const double across = u * sine;
    const double h = std::sqrt((rho - across) * (rho + across));
    // The limbs at s_2 = m + h and s_1 = m - h, the smaller of the two magnitudes from their
    // product q^2, free of cancellation.
    double ahead, behind;
    if (m >= 0) {
      ahead = m + h;
      behind = q_squared / ahead;
    } else {
      behind = h - m;
      ahead = q_squared / behind;
    }
    return along_ray(-behind, ahead, m);
  };
  decltype(along_ray(0.0, 0.0, 0.0)) total{};
  if (const std::size_t intervals = whole_angle_intervals_for(u, rho, use); intervals != 0) {
    // tan(theta) = k tan(psi) on the trapezoidal nodes of psi.
    const double k = std::sqrt(rho / q);
    for (const AngleNode& angle : whole_angle_rule(intervals)) {
      const double k_sine = k * angle.sine;
      const double n_squared = angle.cosine * angle.cosine + k_sine * k_sine;
      const double n = std::sqrt(n_squared);
      total += (angle.weight * (k / n_squared)) * along(angle.cosine / n, k_sine / n);
    }
    return total;
  }
  for (const AngleNode& angle : middle ? std::span<const AngleNode>(short_quarter_angle_rule())
                                       : std::span<const AngleNode>(quarter_angle_rule())) {
    total += angle.weight * (along(angle.cosine, angle.sine) + along(-angle.cosine, angle.sine));
  }
  // |theta - pi/2| <= pi/4: u cos(theta) = -q sinh(xi), dtheta = q cosh(xi) dxi / (u sin(theta)).
  const double xi_end = std::asinh(u * std::numbers::sqrt2 * 0.5 / q);
  const double panels = std::max(1.0, std::ceil(xi_end / panel_length));
  const double width = xi_end / panels;
  const std::span<const numeric::GaussNode> gauss =
      middle ? std::span<const numeric::GaussNode>(numeric::gauss_legendre_12)
             : std::span<const numeric::GaussNode>(numeric::gauss_legendre_24);
  for (double panel = 0; panel < panels; ++panel) {
    const double centre = width * (panel + 0.5);
    for (const numeric::GaussNode& node : gauss) {
      const double xi = centre + 0.5 * width * node.abscissa;
      const double grow = q * std::exp(xi);
      const double shrink = q_squared / grow;           // q exp(-xi)
      const double along_axis = 0.5 * (grow - shrink);  // q sinh(xi) = -u cos(theta)
      const double u_sine = std::sqrt((u - along_axis) * (u + along_axis));
      const double jacobian = 0.5 * (grow + shrink) / u_sine;
      total += ((0.5 * width * node.weight) * jacobian) *
               (along_ray(-grow, shrink, -along_axis) + along_ray(-shrink, grow, along_axis));
    }
  }
  return total;
}

// The same for the lens outside or on the limb (u >= rho). A ray's integral vanishes like h^(p+1)
// at the tangent line (zeta = 0), an end-point singularity unless p is an integer: for the
// singular profiles the first panel takes zeta = width w^2, which turns it into w^(2p+5), and
// 24 nodes (with 12 the squeezed map leaves 1e-9 of the excess, with 24 2e-13).
template <class Along>
auto rays_outside(double u, double rho, LimbProfile profile, bool middle, const Along& along_ray) noexcept
    -> decltype(along_ray(0.0, 0.0, 0.0)) {
  const double q_squared = (u - rho) * (u + rho);
  const double q = std::sqrt(q_squared);
  const double y_end = rho * (std::numbers::sqrt2 * 0.5);
  decltype(along_ray(0.0, 0.0, 0.0)) total{};
  // theta from 0 to asin(y_end/u), in y = u sin(theta): dtheta = dy/m.
  const std::span<const numeric::GaussNode> gauss_y =
      middle ? std::span<const numeric::GaussNode>(numeric::gauss_legendre_10)
             : std::span<const numeric::GaussNode>(numeric::gauss_legendre_12);
  for (const numeric::GaussNode& node : gauss_y) {
    const double y = 0.5 * y_end * (1 + node.abscissa);
    const double m = std::sqrt((u - y) * (u + y));
    const double h = std::sqrt((rho - y) * (rho + y));
    const double ahead = m + h;
    total += (0.5 * y_end * node.weight / m) * along_ray(q_squared / ahead, ahead, m);
  }
  // The rest, h from 0 to y_end, in zeta: h = h_c sinh(zeta), dtheta = h dh / (m y). Where
  // q >= y_end the map is nearly linear and 12 nodes do (10 leave 4e-11); closer to the limb 24
  // per panel.
  const double scale = std::max(q, smallest_tangent_scale);
  const double zeta_end = std::asinh(y_end / scale);
  const double panels = std::max(1.0, std::ceil(zeta_end / panel_length));
  const double width = zeta_end / panels;
  const bool clustered = profile == LimbProfile::singular;
  const auto tangent_rays = [&](const auto& gauss) {
    for (double panel = 0; panel < panels; ++panel) {
      const double centre = width * (panel + 0.5);
      for (const numeric::GaussNode& node : gauss) {
        double zeta = centre + 0.5 * width * node.abscissa;
        double weight = 0.5 * width * node.weight;
        if (clustered && panel == 0) {
          const double w = 0.5 * (1 + node.abscissa);
          zeta = width * (w * w);
          weight = width * w * node.weight;  // dzeta = 2 width w dw, dw = dx/2
        }
        const double grow = std::exp(zeta);
        const double h = 0.5 * scale * (grow - 1 / grow);
        const double dh = 0.5 * scale * (grow + 1 / grow);
        const double m = std::sqrt(q_squared + h * h);
        const double y = std::sqrt((rho - h) * (rho + h));
        const double ahead = m + h;
        total += (weight * (h * dh / (m * y))) * along_ray(q_squared / ahead, ahead, m);
      }
    }
  };
  if (q >= y_end && !clustered) {
    tangent_rays(numeric::gauss_legendre_12);
  } else if (q >= y_end) {
    tangent_rays(numeric::gauss_legendre_16);
  } else if (middle) {
    tangent_rays(numeric::gauss_legendre_12);
  } else {
    tangent_rays(numeric::gauss_legendre_24);
  }
  return total;
}

// The lens well inside (rho^2 - u^2 >= u^2) and well outside (u^2 - rho^2 >= rho^2/2, where the
// tangent variable is nearly linear), where shorter ray rules reach the accuracy of the longer
// one by the limb.
inline bool well_inside(double u, double rho) noexcept { return u < rho && (rho - u) * (rho + u) >= u * u; }
inline bool well_outside(double u, double rho) noexcept {
  return u >= rho && (u - rho) * (u + rho) >= 0.5 * (rho * rho);
}

// With the lens inside and `split`, whether the rays take the limb's rule of limb_ray_nodes
// (neither well inside nor middle_distance from the limb), as rays_by_region chooses.
inline bool limb_rays_inside(double u, double rho) noexcept {
  return !well_inside(u, rho) && !(std::fabs(u - rho) >= middle_distance);
}

// The excess over the rays, `rays_of(size)` giving each ray's integral from the rules of `size`
// nodes: the polynomial laws' (deep, outside or limb), or the singular profiles' where those need
// them (unless `split`: the singular term taken apart by its own rules, or the derivatives). With
// `split` the angle rules keep their full node counts by the limb. `use` as RaysFor says.
template <class RaysOf>
auto rays_by_region(double u, double rho, LimbProfile profile, bool split, const RaysOf& rays_of,
                    RaysFor use = RaysFor::value) noexcept {
  const double middle_outside =
      use == RaysFor::derivatives ? std::numeric_limits<double>::infinity() : middle_distance;
  const bool inside = u < rho;
  const bool deep = well_inside(u, rho);
  const bool far = well_outside(u, rho);
  const bool middle = std::fabs(u - rho) >= (inside ? middle_distance : middle_outside);
  if (profile == LimbProfile::singular && !split) {
    if (deep) return rays_inside(u, rho, false, use, rays_of(short_singular_ray_nodes));
    if (far) return rays_outside(u, rho, profile, false, rays_of(short_singular_ray_nodes));
    return inside ? rays_inside(u, rho, false, use, rays_of(singular_ray_nodes))
                  : rays_outside(u, rho, profile, false, rays_of(singular_ray_nodes));
  }
  if (deep) {
    const std::size_t size = rho < longer_deep_rays_below ? outside_ray_nodes : deep_ray_nodes;
    return rays_inside(u, rho, false, use, rays_of(size));
  }
  if (far) return rays_outside(u, rho, profile, false, rays_of(outside_ray_nodes));
  if (middle) {
    // A singular profile's rays vanish like h^(p+1) at the tangent line: its angle rules keep their
    // full node counts there. Inside, its term's rays by their own rules, each summed whole, also
    // keep them: the shorter rules left up to 3.4e-15 of A with mu ln mu at rho = 30, 2 Einstein
    // radii inside the limb.
    return inside ? rays_inside(u, rho, !split, use, rays_of(outside_ray_nodes))
                  : rays_outside(u, rho, profile, !split, rays_of(outside_ray_nodes));
  }
  return inside ? rays_inside(u, rho, false, use, rays_of(limb_ray_nodes))
                : rays_outside(u, rho, profile, false, rays_of(limb_ray_nodes));
}

}  // namespace large_source
}  // namespace obrivane::models
