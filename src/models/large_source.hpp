// The magnification excess A - 1 of a source much larger than the Einstein radius, computed
// directly rather than as the difference of two numbers near 1. With the brightness I over the
// disk of radius rho (Einstein radii) and its flux F (relative to the uniform disk),
//   F (A - 1) = (1/(pi rho^2)) integral over the disk of I (A_ps - 1) d^2x,
// A_ps(s) = (s^2 + 2)/(s sqrt(s^2 + 4)) at the distance s from the lens. In polar coordinates
// about the lens, g(s) = s (A_ps(s) - 1) = 4/(sqrt(s^2 + 4)(s^2 + 2 + s sqrt(s^2 + 4))) has the
// antiderivative G(s) = 1 - exp(-2 tau), s = 2 sinh(tau), so g ds = 2 exp(-2 tau) d tau: the
// excess of a ray is a decaying exponential in tau, and integrates to 1 over a whole ray (2 pi
// over the plane).
//
// A uniform part is taken out exactly, from the closed form of the uniform disk (its excess
// E_u = pi rho^2 (A_disk - 1), from uniform_disk_fast.hpp, good to a few ulps of A_disk): with
// I_ref the brightness over the lens (lens inside) or at the limb (lens outside or on it),
//   integral of I (A_ps - 1) = I_ref E_u + 2 integral_0^pi dtheta integral 2 exp(-2 tau) (I - I_ref) d tau,
// the rays at angle theta from the direction to the centre covering the part of the source on them
// (mirror symmetry gives the factor 2). With the lens inside, I - I_ref vanishes at the lens and the
// remainder is smaller than the excess by about log(rho)/rho^2 once the angles are summed.
//
// On a ray, the limb meets the line at s_1 < s_2 (s_1 < 0 behind the lens when it is inside), and
//   mu^2 = (s_2 - s)(s - s_1)/rho^2,
// so mu has square-root end points at both limbs. In tau_1 = asinh(s_1/2) and t = sqrt(tau - tau_1),
// s - s_1 is t^2 times an analytic positive factor, and with the map of large_source_rules.hpp
// towards t_e = sqrt(T - tau_1), T = asinh(s_2/2), so is s_2 - s times (1 - v)^2: mu is analytic in
// v, up to branch points pi away from the real tau axis. The same t absorbs the near-singularity at
// the ray's start when the lens lies just inside the limb (s_1 -> 0-).
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
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <span>
#include <type_traits>

#include "models/large_source_rules.hpp"
#include "models/uniform_disk.hpp"
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

// A law's singular term takes its own rules along the rays from this far (Einstein radii) inside
// the limb. With 16 nodes on every ray they left 8e-16 of A 0.3 Einstein radii inside, 8e-15 at
// 0.2 and 2e-13 at 0.1 (against two-dimensional integrals); with the rays that start within
// limb_rules_behind_within of the limb behind the lens taking 24, from 0.05 on they are within
// 2 ulps of A of the double-exponential rules of the whole brightness that serve nearer (rho =
// 10.5 to 1000, the square-root, logarithmic and power-2 laws; 4e-15 at 0.03, 2e-14 at 0.02).
inline constexpr double singular_terms_apart_from = 0.05;

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

// Below this radius the clustered rays (clustered_ray_rule) take 24 nodes: 20 left up to 2.2e-15
// of A with mu ln mu at rho = 10.5, 9e-16 at 15 and within an ulp of the 24 from 25 on.
inline constexpr double longer_clustered_rays_below = 30;

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

// A ray from max(0, s_1) to s_2 in its variable t = sqrt(tau - tau_1), from t_start to t_start + span.
struct RayPath {
  double s_1, s_2;
  double start_tau, t_start, span;
  double end_tau;
};

inline RayPath ray_path(double s_1, double s_2) noexcept {
  const double end_tau = std::asinh(0.5 * s_2);
  const double start_tau = std::asinh(0.5 * s_1);
  const double t_start = s_1 < 0 ? std::sqrt(-start_tau) : 0.0;
  const double t_end = std::sqrt(end_tau - start_tau);
  return {s_1, s_2, start_tau, t_start, t_end - t_start, end_tau};
}

// integral over the ray from max(0, s_1) to s_2 of g(s) (I(mu(s)) - reference) ds.
template <std::size_t N, class Brightness>
double ray_excess(const RayPath& ray, double reference, double inverse_rho,
                  const std::array<RayNode, N>& rule, const Brightness& brightness) noexcept {
  // The exponentials first, then the rest in a loop free of calls, which the compiler may run on
  // pairs of nodes (the same operations in the same order, so the same bits).
  std::array<double, N> t;
  std::array<double, N> decay;  // exp(-tau)
  for (std::size_t i = 0; i < N; ++i) {
    t[i] = ray.t_start + ray.span * rule[i].position;
    decay[i] = std::exp(-(ray.start_tau + t[i] * t[i]));
  }
  std::array<double, N> mu;
  for (std::size_t i = 0; i < N; ++i) {
    const double s = 1 / decay[i] - decay[i];
    const double mu_squared = ((ray.s_2 - s) * (s - ray.s_1)) * (inverse_rho * inverse_rho);
    mu[i] = std::sqrt(std::max(mu_squared, 0.0));
  }
  // The brightnesses apart, which for the singular profiles call pow or log.
  std::array<double, N> excess;
  for (std::size_t i = 0; i < N; ++i) excess[i] = brightness(mu[i]) - reference;
  double sum = 0;
  // g ds = 2 exp(-2 tau) d tau, d tau = 2 t dt.
  for (std::size_t i = 0; i < N; ++i) sum += rule[i].weight * ((decay[i] * decay[i]) * t[i]) * excess[i];
  return 4 * ray.span * sum;
}

// The point of a ray at `position` in [0, 1] of its variable: t, exp(-tau), the distance s from
// the lens, mu^2 and mu (clear of rounding below 0 at the limbs), and the kernel exp(-2 tau) t,
// which with 4 span gives g ds = 2 exp(-2 tau) d tau (d tau = 2 t dt).
struct RayPoint {
  double t, decay, s, mu_squared, mu, kernel;
};

inline RayPoint ray_point(const RayPath& ray, double position, double inverse_rho) noexcept {
  const double t = ray.t_start + ray.span * position;
  const double decay = std::exp(-(ray.start_tau + t * t));
  const double s = 1 / decay - decay;
  const double mu_squared = ((ray.s_2 - s) * (s - ray.s_1)) * (inverse_rho * inverse_rho);
  return {t, decay, s, mu_squared, std::sqrt(std::max(mu_squared, 0.0)), (decay * decay) * t};
}

// The end of a ray in its variable, t_e = t_start + span, and exp(-tau_e) there, tau_e = tau_1 + t_e^2
// (the limb where the rules place it, within rounding of end_tau).
struct RayEnd {
  double t, decay;
};

inline RayEnd ray_end(const RayPath& ray) noexcept {
  const double t = ray.t_start + ray.span;
  return {t, std::exp(-(ray.start_tau + t * t))};
}

// The points of a rule's nodes on a ray, each as ray_point places it, into `points` (at least as
// long as the rule), in three passes: the exponentials' arguments, the exponentials, the rest, so
// that the divisions and square roots of successive nodes need not wait on one another's calls.
//
// With `from_end` (a rule from the lens, of PowerRayNode, 1 - v = 1/inverse_gap), a node within a
// quarter of the ray variable from the far limb (1 - v < 1/4), where the rules from the lens crowd
// their nodes, is placed from its distance to the limb instead. There the position rounded to a
// double carries an error of epsilon against t_e - t = span gap^2 (gap = 1 - v), and mu^2,
// proportional to it there, a relative error of about epsilon t_e / (span gap^2) (t_e / span near
// 20 for a short ray with the limb behind the lens far away). So t_e - t is taken from the gap,
// and with d = tau_e - tau = (t_e - t)(t_e + t), exp(-tau) = exp(-tau_e) e^d and s_2 - s =
// expm1(d) (e^tau + e^-tau_e), free of cancellation: mu^2 to a few ulps however close the node to
// the limb, vanishing where the rule's weight places the limb, for one transcendental a node.
// Elsewhere the rounded position leaves mu^2 within 16 epsilon t_e/span, keeps exp(-tau) to its
// own rounding near the lens (where e^d from the limb would carry epsilon tau_e), and costs no
// division. Against the integrals by parts the power-2 law's derivatives by the rays (alpha from
// 0.01 to 0.45, rho from 10.5 to 1000) agree within 1.2e-15 of A/rho this way, and within 3.1e-14
// with every node from the limb.
template <class Node>
void ray_points_of(const RayPath& ray, std::span<const Node> rule, double inverse_rho, bool from_end,
                   std::span<RayPoint> points) noexcept {
  constexpr std::size_t most = limb_ray_nodes;
  const std::size_t count = std::min({rule.size(), points.size(), most});
  const RayEnd end = from_end ? ray_end(ray) : RayEnd{};
  std::array<bool, most> near;
  std::array<double, most> argument, grown;
  for (std::size_t i = 0; i < count; ++i) {
    near[i] = false;
    // Only a rule of PowerRayNode knows its nodes' distance to the limb.
    if constexpr (std::is_same_v<Node, PowerRayNode>) {
      if (from_end && rule[i].inverse_gap > 4) {
        near[i] = true;
        const double gap = 1 / rule[i].inverse_gap;
        const double to_end = ray.span * (gap * gap);
        points[i].t = end.t - to_end;
        argument[i] = to_end * (end.t + points[i].t);
        continue;
      }
    }
    points[i].t = ray.t_start + ray.span * rule[i].position;
    argument[i] = -(ray.start_tau + points[i].t * points[i].t);
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (near[i]) {
      // e^d - 1 loses no more than 2.5 ulps from d = 1/2 on, where exp is the cheaper.
      grown[i] = argument[i] < 0.5 ? std::expm1(argument[i]) : std::exp(argument[i]) - 1;
      points[i].decay = end.decay * (1 + grown[i]);
    } else {
      points[i].decay = std::exp(argument[i]);
    }
  }
  for (std::size_t i = 0; i < count; ++i) {
    RayPoint& point = points[i];
    point.s = 1 / point.decay - point.decay;
    const double to_far_limb = near[i] ? grown[i] * (1 / point.decay + end.decay) : ray.s_2 - point.s;
    point.mu_squared = (to_far_limb * (point.s - ray.s_1)) * (inverse_rho * inverse_rho);
    point.mu = std::sqrt(std::max(point.mu_squared, 0.0));
    point.kernel = (point.decay * point.decay) * point.t;
  }
}

inline void ray_points(const RayPath& ray, std::span<const PowerRayNode> rule, double inverse_rho,
                       bool from_end, std::span<RayPoint> points) noexcept {
  ray_points_of(ray, rule, inverse_rho, from_end, points);
}

// The same for a rule of RayNode, each point as ray_point places it.
inline void ray_points(const RayPath& ray, std::span<const RayNode> rule, double inverse_rho,
                       std::span<RayPoint> points) noexcept {
  ray_points_of(ray, rule, inverse_rho, false, points);
}

// The integral of g over a ray from a lens inside to the limb at tau = T: 1 - exp(-2 T).
inline double whole_kernel(const RayPath& ray) noexcept { return -std::expm1(-2 * ray.end_tau); }

// The points of a rule's nodes on a ray from their positions, as ray_excess forms them: t,
// exp(-tau) and mu into arrays of at least the rule's length (the exponentials first, then the
// rest in a loop free of calls). Returns the nodes' count.
template <std::size_t Most>
std::size_t ray_mu_points(const RayPath& ray, std::span<const PowerRayNode> rule, double inverse_rho,
                          std::array<double, Most>& t, std::array<double, Most>& decay,
                          std::array<double, Most>& mu) noexcept {
  const std::size_t count = std::min(rule.size(), Most);
  for (std::size_t i = 0; i < count; ++i) {
    t[i] = ray.t_start + ray.span * rule[i].position;
    decay[i] = std::exp(-(ray.start_tau + t[i] * t[i]));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const double s = 1 / decay[i] - decay[i];
    const double mu_squared = ((ray.s_2 - s) * (s - ray.s_1)) * (inverse_rho * inverse_rho);
    mu[i] = std::sqrt(std::max(mu_squared, 0.0));
  }
  return count;
}

// x^p as exp(p ln x), 0 at x = 0, for the powers along the rays: a few ulps where pow keeps one,
// at 7 ns against 10. A ray's sum reaches A through 2/(pi rho^2) of it, below 0.7 % for rho > 10,
// so A keeps its bits (within an ulp of pow's, rho = 10 to 1000).
inline double power_by_logarithm(double x, double p) noexcept { return std::exp(p * std::log(x)); }

// integral over the ray of g(s) mu^p ds, by a rule of PowerRayRules for p (of at most
// limb_ray_nodes nodes): the points (ray_mu_points), then the powers in a pass of their own (the
// same bits as node by node).
inline double ray_power(const RayPath& ray, double inverse_rho, std::span<const PowerRayNode> rule,
                        double p) noexcept {
  constexpr std::size_t most = limb_ray_nodes;
  std::array<double, most> t, decay, power;
  const std::size_t count = ray_mu_points(ray, rule, inverse_rho, t, decay, power);
  for (std::size_t i = 0; i < count; ++i) power[i] *= rule[i].inverse_gap;
  if (p == 0.5) {
    for (std::size_t i = 0; i < count; ++i) power[i] = std::sqrt(power[i]);
  } else {
    for (std::size_t i = 0; i < count; ++i) power[i] = power_by_logarithm(power[i], p);
  }
  double sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += rule[i].weight * ((decay[i] * decay[i]) * t[i]) * power[i];
  return 4 * ray.span * sum;
}

// The rules' points of a ray and each point's mu ln(mu inverse_gap) (0 where mu = 0), the
// points first and the logarithms apart, so that neither waits on the other's calls. At most
// limb_ray_nodes nodes, the longest of the logarithmic rules.
struct LogarithmPoints {
  static constexpr std::size_t most = limb_ray_nodes;
  std::size_t count = 0;
  std::array<RayPoint, most> points;
  std::array<double, most> logarithm;
};

inline void logarithm_points(LogarithmPoints& out, const RayPath& ray, std::span<const PowerRayNode> rule,
                             double inverse_rho, bool from_end, bool with_logarithm) noexcept {
  out.count = std::min(rule.size(), LogarithmPoints::most);
  ray_points(ray, rule, inverse_rho, from_end, out.points);
  if (!with_logarithm) return;
  for (std::size_t i = 0; i < out.count; ++i) {
    const double mu = out.points[i].mu;
    out.logarithm[i] = mu > 0 ? mu * std::log(mu * rule[i].inverse_gap) : 0.0;
  }
}

// A ray's integral from the lens of a brightness's analytic part less its reference (ray_excess)
// and of its term mu ln mu, by the rules of LogarithmRayRules: `plain` for mu ln(mu inverse_gap),
// whose nodes, map and weights are the analytic part's rule's, so each node's point serves both,
// and `logarithmic` for mu. The points near the limb are placed from their distance to it
// (ray_points).
struct AnalyticAndTerm {
  double analytic, term;
};

template <class Analytic>
AnalyticAndTerm ray_excess_and_logarithm(const RayPath& ray, double reference, double inverse_rho,
                                         std::span<const PowerRayNode> plain,
                                         std::span<const PowerRayNode> logarithmic,
                                         const Analytic& analytic) noexcept {
  constexpr bool from_end = true;
  LogarithmPoints at;
  logarithm_points(at, ray, plain, inverse_rho, from_end, true);
  double analytic_sum = 0;
  double term_sum = 0;
  for (std::size_t i = 0; i < at.count; ++i) {
    const RayPoint& point = at.points[i];
    analytic_sum += plain[i].weight * point.kernel * (analytic(point.mu) - reference);
    if (point.mu > 0) term_sum += plain[i].weight * point.kernel * at.logarithm[i];
  }
  logarithm_points(at, ray, logarithmic, inverse_rho, from_end, false);
  for (std::size_t i = 0; i < at.count; ++i)
    term_sum += logarithmic[i].weight * at.points[i].kernel * at.points[i].mu;
  return {4 * ray.span * analytic_sum, 4 * ray.span * term_sum};
}

// A ray's integrals of a brightness's analytic part (mu times a polynomial beside its value at the
// limb, the reference) less its reference and of mu ln mu, on a crossing ray, by one rule of
// LogarithmRayRules::crossing. With x = 2v - 1, that rule of (1 - x^2)^p at p = 1 sums
// S(p) = 4^-p sum W G, G = f (1 - v) (mu / (v (1 - v)))^p (as ray_power with PowerRayRules's
// crossing rules), and the integral of f mu^p ln mu is dS/dp =
// 4^-p sum (W' G + W G (x' d ln G/dx + ln(mu / (v (1 - v))))) - ln 4 S, W' and x' the rule's
// slopes in p and, along the ray (t = span v (2 - v), tau = tau_1 + t^2, s = 2 sinh tau),
// d ln G/dx = -2 tau' + t'/t - 1/(2 (1 - v)) + p ((mu^2)'/(2 mu^2) - 1/(2 v) + 1/(2 (1 - v))),
// t' = span (1 - v), tau' = 2 t t', (mu^2)' = (s_1 + s_2 - 2 s) (e^tau + e^-tau) tau' / rho^2.
// The analytic part less the reference, over v (1 - v), is analytic too, for the same rule. The
// points, then the logarithms, then the sums, as ray_excess forms them.
template <class Analytic>
AnalyticAndTerm ray_excess_and_logarithm_crossing(const RayPath& ray, double reference, double inverse_rho,
                                                  std::span<const ExponentRayNode> rule,
                                                  const Analytic& analytic) noexcept {
  constexpr std::size_t most = limb_ray_nodes;
  const std::size_t count = std::min(rule.size(), most);
  std::array<double, most> v, t, decay, mu, scaled, g, log_slope, logarithm;
  for (std::size_t i = 0; i < count; ++i) {
    v[i] = 0.5 * (1 + rule[i].abscissa);
    t[i] = ray.t_start + ray.span * (v[i] * (2 - v[i]));
    decay[i] = std::exp(-(ray.start_tau + t[i] * t[i]));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const double gap = 1 - v[i];
    const double inverse_decay = 1 / decay[i];
    const double s = inverse_decay - decay[i];
    const double mu_squared = ((ray.s_2 - s) * (s - ray.s_1)) * (inverse_rho * inverse_rho);
    mu[i] = std::sqrt(std::max(mu_squared, 0.0));
    scaled[i] = mu[i] / (v[i] * gap);
    g[i] = ((decay[i] * decay[i]) * t[i]) * gap * scaled[i];
    const double dt = ray.span * gap;
    const double dtau = 2 * t[i] * dt;
    const double dmu_squared =
        ((ray.s_1 + ray.s_2 - 2 * s) * ((inverse_decay + decay[i]) * dtau)) * (inverse_rho * inverse_rho);
    log_slope[i] =
        -2 * dtau + dt / t[i] - 0.5 / gap + (0.5 * dmu_squared / mu_squared - 0.5 / v[i] + 0.5 / gap);
  }
  for (std::size_t i = 0; i < count; ++i) logarithm[i] = std::log(scaled[i]);
  double analytic_sum = 0, power = 0, moved = 0;
  for (std::size_t i = 0; i < count; ++i) {
    // A node where mu rounds to 0 (a ray that grazes the limb) adds nothing.
    if (!(mu[i] > 0)) continue;
    const ExponentRayNode& node = rule[i];
    analytic_sum += node.weight * (g[i] / mu[i]) * (analytic(mu[i]) - reference);
    power += node.weight * g[i];
    moved +=
        node.weight_slope * g[i] + node.weight * g[i] * (log_slope[i] * node.abscissa_slope + logarithm[i]);
  }
  // 4 span times the rule's sums, and its 4^-1: the analytic part's G/mu is f (1 - v)/(v (1 - v)).
  return {ray.span * analytic_sum, ray.span * (moved - 2 * std::numbers::ln2 * power)};
}

// A ray's integrals of a brightness's analytic part less its reference and of its term T(mu),
// from a lens inside, on the points of clustered_ray_rule, which absorbs T's singularity at the
// limb (`term` gives T at mu, called in a pass of its own). As ray_excess, the exponentials first
// and the rest in loops free of calls; the points placed from the lens, as ray_power places them
// (a node within z of the limb carries a relative error of about epsilon t_e/(span z^2) in mu,
// on a share of the ray below its weight, about z^2 w).
template <class Analytic, class Term>
AnalyticAndTerm ray_excess_and_term_clustered(const RayPath& ray, double reference, double inverse_rho,
                                              const Analytic& analytic, const Term& term) noexcept {
  constexpr std::size_t most = longer_clustered_ray_nodes;
  const std::span<const PowerRayNode> rule = clustered_ray_rule(
      inverse_rho > 1 / longer_clustered_rays_below ? longer_clustered_ray_nodes : clustered_ray_nodes);
  std::array<double, most> t, decay, mu, terms;
  const std::size_t count = ray_mu_points(ray, rule, inverse_rho, t, decay, mu);
  for (std::size_t i = 0; i < count; ++i) terms[i] = term(mu[i]);
  double analytic_sum = 0;
  double term_sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const double factor = rule[i].weight * ((decay[i] * decay[i]) * t[i]);
    analytic_sum += factor * (analytic(mu[i]) - reference);
    term_sum += factor * terms[i];
  }
  return {4 * ray.span * analytic_sum, 4 * ray.span * term_sum};
}

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

// The ray integral of brightness - reference by the rule of `size` nodes.
template <class Brightness>
double ray_excess_by(std::size_t size, const RayPath& ray, double reference, double inverse_rho,
                     const Brightness& brightness) noexcept {
  switch (size) {
    case deep_ray_nodes:
      return ray_excess(ray, reference, inverse_rho, deep_ray_rule(), brightness);
    case outside_ray_nodes:
      return ray_excess(ray, reference, inverse_rho, outside_ray_rule(), brightness);
    case limb_ray_nodes:
      return ray_excess(ray, reference, inverse_rho, limb_ray_rule(), brightness);
    case short_singular_ray_nodes:
      return ray_excess(ray, reference, inverse_rho, short_singular_ray_rule(), brightness);
    default:
      return ray_excess(ray, reference, inverse_rho, singular_ray_rule(), brightness);
  }
}

// The same as a function of the ray's limbs, by the rules ray_nodes_for gives it.
template <class Brightness>
auto whole_ray(std::size_t size, double reference, double inverse_rho,
               const Brightness& brightness) noexcept {
  return [=, &brightness](double s_1, double s_2, double) {
    return ray_excess_by(ray_nodes_for(size, s_1), ray_path(s_1, s_2), reference, inverse_rho, brightness);
  };
}

}  // namespace large_source

// A term coefficient * mu^p of a brightness, p > 0 not an integer, integrated along the rays by the
// Gauss-Jacobi rules of its singularity at the limbs (`rules` made for its p).
struct LimbPowerTerm {
  double coefficient;
  const large_source::PowerRayRules* rules;

  double at(double mu) const noexcept { return std::pow(mu, rules->exponent()); }
  // sqrt(mu), which clustered_ray_rule absorbs (other powers keep a singularity in its variable).
  bool clustered() const noexcept { return rules->exponent() == 0.5; }
  double clustered_at(double mu) const noexcept { return std::sqrt(mu); }
  // From the lens, 24 nodes where the ray takes the limb's rules (ray_nodes_for), 16 otherwise.
  double from_lens(const large_source::RayPath& ray, double inverse_rho, std::size_t size) const noexcept {
    const bool limb = size == large_source::limb_ray_nodes;
    return large_source::ray_power(ray, inverse_rho, limb ? rules->from_lens_limb() : rules->from_lens(),
                                   rules->exponent());
  }
  double crossing(const large_source::RayPath& ray, double inverse_rho, std::size_t size) const noexcept {
    return large_source::ray_power(ray, inverse_rho, rules->crossing(size), rules->exponent());
  }
};

// A term coefficient * mu ln mu, by the rules of its logarithmic singularity at the limbs.
struct LimbLogarithmTerm {
  double coefficient;

  double at(double mu) const noexcept { return mu > 0 ? mu * std::log(mu) : 0.0; }
  bool clustered() const noexcept { return true; }
  double clustered_at(double mu) const noexcept { return at(mu); }
  // The term alone, by the rules analytic_and_term takes for it beside an analytic part.
  double from_lens(const large_source::RayPath& ray, double inverse_rho, std::size_t size) const noexcept {
    const auto none = [](double) { return 0.0; };
    if (size != large_source::limb_ray_nodes) {
      return large_source::ray_excess_and_term_clustered(ray, 0.0, inverse_rho, none,
                                                         [this](double mu) { return at(mu); })
          .term;
    }
    const large_source::LogarithmRayRules& rules = large_source::logarithm_ray_rules();
    return large_source::ray_excess_and_logarithm(ray, 0.0, inverse_rho, rules.from_lens_limb,
                                                  rules.from_lens_logarithm, none)
        .term;
  }
  double crossing(const large_source::RayPath& ray, double inverse_rho, std::size_t size) const noexcept {
    return large_source::ray_excess_and_logarithm_crossing(ray, 0.0, inverse_rho,
                                                           large_source::logarithm_ray_rules().crossing(size),
                                                           [](double) { return 0.0; })
        .term;
  }
};

// A ray's integral of a brightness's analytic part less its reference beside that of its term,
// from the lens or crossing, each point once where the term's rule has the analytic part's nodes.
template <class Term, class Analytic>
large_source::AnalyticAndTerm analytic_and_term(const Term& term, const large_source::RayPath& ray,
                                                double inverse_rho, std::size_t size, bool from_lens,
                                                const Analytic& analytic, double reference) noexcept {
  // From the lens away from the limb, one rule for both where its map absorbs the term.
  if (from_lens && size != large_source::limb_ray_nodes && term.clustered()) {
    return large_source::ray_excess_and_term_clustered(ray, reference, inverse_rho, analytic,
                                                       [&term](double mu) { return term.clustered_at(mu); });
  }
  if constexpr (std::is_same_v<Term, LimbLogarithmTerm>) {
    // Crossing, one rule for both; from the lens by the limb, the plain rule of mu ln(mu gap) on
    // the analytic part's nodes beside the rule of the logarithmic weight.
    const large_source::LogarithmRayRules& rules = large_source::logarithm_ray_rules();
    if (!from_lens) {
      return large_source::ray_excess_and_logarithm_crossing(ray, reference, inverse_rho,
                                                             rules.crossing(size), analytic);
    }
    if (size == large_source::limb_ray_nodes) {
      return large_source::ray_excess_and_logarithm(ray, reference, inverse_rho, rules.from_lens_limb,
                                                    rules.from_lens_logarithm, analytic);
    }
  }
  return {large_source::ray_excess_by(size, ray, reference, inverse_rho, analytic),
          from_lens ? term.from_lens(ray, inverse_rho, size) : term.crossing(ray, inverse_rho, size)};
}

// F (A - 1) from the reference brightness, the uniform disk's excess and the rays' part over the
// half-plane of angles: I_ref E_u plus twice the rays over the area pi rho^2.
inline double excess_from_rays(double reference, double uniform_excess, double rays, double rho) noexcept {
  return reference * uniform_excess + (2 * rays) / (std::numbers::pi * (rho * rho));
}

// F (A - 1) for the brightness I(mu) (a callable, I(0) its value at the limb) over the disk of
// radius rho > 0 centred u >= 0 from the lens, for u <= 4 rho (beyond, the far series serves).
// Against two-dimensional integrals over the source for rho = 10.5 to 1000
// (tests/models/test_large_sources.py): within 1.3e-15 of A and 3.1e-10 of A - 1, the latter at
// rho = 1000, where one rounding of A is 5.5e-11 of the excess.
template <class Brightness>
double large_source_excess(double u, double rho, LimbProfile profile, const Brightness& brightness) noexcept {
  using namespace large_source;
  const double uniform_excess = uniform_disk_magnification_accurate(u, rho) - 1;
  if (profile == LimbProfile::constant) return brightness(0.0) * uniform_excess;
  const bool inside = u < rho;
  const double reference = inside ? brightness(std::sqrt((rho - u) * (rho + u)) / rho) : brightness(0.0);
  const double inverse_rho = 1 / rho;
  const double rays = rays_by_region(u, rho, profile, false, [&](std::size_t size) {
    return whole_ray(size, reference, inverse_rho, brightness);
  });
  // Twice the half-plane of rays, over the area pi rho^2.
  return excess_from_rays(reference, uniform_excess, rays, rho);
}

// The same for a brightness I(mu) = analytic(mu) + term.coefficient T(mu), T = mu^p
// (LimbPowerTerm) or mu ln mu (LimbLogarithmTerm), whose analytic part (a constant or a polynomial
// in mu, `analytic_profile`) has no singularity at the limb: along each ray the analytic part takes
// the polynomial laws' rules and the term the rules of its singularity. With the lens outside, the
// reference is the limb's brightness, where T vanishes. With the lens inside it is the brightness
// over the lens, I_ref = analytic_ref + c T_ref, and the term's part of a ray, the integral of
// g (T - T_ref), is its rule's sum less T_ref times the ray's whole kernel, 1 - exp(-2 T) from the
// lens to the limb at tau = T. The two are of the size of the ray's excess and their difference
// smaller by about log(rho)/rho^2 (with the lens well inside), so the term's rule takes the kernel's
// peak at the lens whole: 16 nodes, where 12 leave 2e-9 of a ray at rho = 1000 (16, 1e-14). Where
// its map absorbs the term (sqrt(mu), mu ln mu), the rays from the lens away from the limb take
// clustered_ray_rule for the analytic part and the term together: 20 or 24 nodes against the two
// rules' 32, A within 2 ulps of theirs (rho = 10 to 10^4) and as close to the two-dimensional
// references. Within singular_terms_apart_from inside the limb, where the ray's start nears the
// limb behind the lens (t^p about its start), the double-exponential rules of the whole
// brightness serve.
template <class Brightness, class Analytic, class Term>
double large_source_excess(double u, double rho, const Brightness& brightness, const Analytic& analytic,
                           LimbProfile analytic_profile, const Term& term) noexcept {
  using namespace large_source;
  if (u < rho && rho - u < singular_terms_apart_from)
    return large_source_excess(u, rho, LimbProfile::singular, brightness);
  // A constant analytic part is the reference's own share: it adds nothing along a ray.
  const bool constant = analytic_profile == LimbProfile::constant;
  const double uniform_excess = uniform_disk_magnification_accurate(u, rho) - 1;
  const double inverse_rho = 1 / rho;
  if (u < rho) {
    const double mu_over_lens = std::sqrt((rho - u) * (rho + u)) / rho;
    const double analytic_reference = analytic(mu_over_lens);
    const double term_reference = term.at(mu_over_lens);
    const double rays = rays_by_region(u, rho, LimbProfile::singular, true, [&](std::size_t region_size) {
      return [=, &analytic, &term](double s_1, double s_2, double) {
        const RayPath ray = ray_path(s_1, s_2);
        const std::size_t size = ray_nodes_for(region_size, s_1);
        if (constant) {
          return term.coefficient *
                 (term.from_lens(ray, inverse_rho, size) - term_reference * whole_kernel(ray));
        }
        const AnalyticAndTerm parts =
            analytic_and_term(term, ray, inverse_rho, size, true, analytic, analytic_reference);
        return parts.analytic + term.coefficient * (parts.term - term_reference * whole_kernel(ray));
      };
    });
    const double reference = analytic_reference + term.coefficient * term_reference;
    return excess_from_rays(reference, uniform_excess, rays, rho);
  }
  const double reference = brightness(0.0);
  const double rays = rays_by_region(u, rho, LimbProfile::singular, true, [&](std::size_t size) {
    return [=, &analytic, &term](double s_1, double s_2, double) {
      const RayPath ray = ray_path(s_1, s_2);
      if (constant) return term.coefficient * term.crossing(ray, inverse_rho, size);
      const AnalyticAndTerm parts =
          analytic_and_term(term, ray, inverse_rho, size, false, analytic, reference);
      return parts.analytic + term.coefficient * parts.term;
    };
  });
  return excess_from_rays(reference, uniform_excess, rays, rho);
}

}  // namespace obrivane::models
