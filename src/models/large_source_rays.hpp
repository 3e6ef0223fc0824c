// The integrals of a large source's excess along one ray from the lens (large_source.hpp),
// where the point lens's kernel is s (A_ps - 1) ds = 2 exp(-2 tau) d tau, s = 2 sinh tau.
//
// On a ray, the limb meets the line at s_1 < s_2 (s_1 < 0 behind the lens when it is inside), and
//   mu^2 = (s_2 - s)(s - s_1)/rho^2,
// so mu has square-root end points at both limbs. In tau_1 = asinh(s_1/2) and t = sqrt(tau - tau_1),
// s - s_1 is t^2 times an analytic positive factor, and with the map of large_source_rules.hpp
// towards t_e = sqrt(T - tau_1), T = asinh(s_2/2), so is s_2 - s times (1 - v)^2: mu is analytic in
// v, up to branch points pi away from the real tau axis. The same t absorbs the near-singularity at
// the ray's start when the lens lies just inside the limb (s_1 -> 0-).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>
#include <type_traits>

#include "models/large_source_rules.hpp"

namespace obrivane::models::large_source {

// Below this radius the clustered rays (clustered_ray_rule) take 24 nodes: 20 left up to 2.2e-15
// of A with mu ln mu at rho = 10.5, 9e-16 at 15 and within an ulp of the 24 from 25 on.
inline constexpr double longer_clustered_rays_below = 30;

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

}  // namespace obrivane::models::large_source
