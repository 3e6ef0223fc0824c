// The fixed quadrature rules of the large-source excess (large_source.hpp), on [0, 1] with the
// substitution of each already folded in: a node is a position p in [0, 1] and a weight that
// includes dp/dv.
//
// Along a ray the variable is t = sqrt(tau - tau_1) (large_source_rays.hpp), taken from its start
// t_a to its end t_e as t = t_a + (t_e - t_a) p(v), v in [0, 1]:
// - limb_ray_rule, p = v (2 - v) on the Gauss-Legendre nodes of v: t_e - t = (t_e - t_a)(1 - v)^2,
//   so sqrt(t_e - t), the square root by which mu vanishes at the far limb, becomes 1 - v, and mu is
//   analytic in v; a brightness that is a polynomial in mu (the linear and quadratic laws, integer
//   powers) is then integrated at the geometric rate of Gauss-Legendre;
// - singular_ray_rule, the double-exponential p = (1 + tanh((pi/2) sinh x))/2 on the trapezoidal
//   nodes x = k h: for sqrt(mu), mu ln mu and mu^alpha, whose algebraic and logarithmic end-point
//   singularities the polynomial maps leave (errors falling only as a power of the node count).
// The angles take Gauss-Legendre rules on fixed intervals, their cosines and sines tabulated.
#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace obrivane::models::large_source {

struct RayNode {
  double position;  // p in [0, 1]
  double weight;    // Gauss weight times dp/dv, for an integral over v in [0, 1]
};

// Node counts, from the errors of the whole excess against rules of 48 nodes per ray and angle
// for rho = 10 to 1000 (the polynomial laws): 12 Gauss-Legendre nodes per ray leave below 1e-11
// with the lens well inside the source, 16 below 1e-12 with it well outside, 24 below 3e-13 by
// the limb (16 leave 2e-11 at rho = 10 and 1e-10 at rho = 100); the double-exponential rule of 41
// nodes (step 0.16, ends at |x| = 3.2 where the weights are below 1e-16) leaves a few 1e-10 for
// the singular profiles, whose end points the polynomial maps leave singular.
inline constexpr std::size_t deep_ray_nodes = 12;
inline constexpr std::size_t outside_ray_nodes = 16;
inline constexpr std::size_t limb_ray_nodes = 24;
inline constexpr std::size_t singular_ray_nodes = 61;
inline constexpr std::size_t short_singular_ray_nodes = 41;

const std::array<RayNode, deep_ray_nodes>& deep_ray_rule() noexcept;
const std::array<RayNode, outside_ray_nodes>& outside_ray_rule() noexcept;
const std::array<RayNode, limb_ray_nodes>& limb_ray_rule() noexcept;
const std::array<RayNode, singular_ray_nodes>& singular_ray_rule() noexcept;
const std::array<RayNode, short_singular_ray_nodes>& short_singular_ray_rule() noexcept;

struct AngleNode {
  double cosine;
  double sine;
  double weight;
};

// In the angle, with the lens inside, the trapezoidal rule over [0, pi] in a variable psi with
// tan(theta) = k tan(psi) (large_source_angles.hpp): the rays' integral is even and periodic in theta,
// analytic up to the branch points of the chord's half-length, sin(theta) = rho/u, and the map
// keeps it so in psi while moving those points away from the real axis, so the rule of N
// intervals leaves about exp(-2 N d) of the rays' part, d their distance. The fewest intervals of
// whole_angle_intervals that reach large_source::trapezoid_reach_for(rho) serve (Gauss-Legendre's
// 16 nodes, blind to the periodicity, left 1.6e-13 of A at rho = 10.5 with the lens at 0.7 radii).
// Nearer the limb, Gauss-Legendre, 12 nodes over [0, pi/4].
inline constexpr std::array<std::size_t, 15> whole_angle_intervals = {4,  6,  8,  10, 12, 14, 16, 20,
                                                                      24, 28, 32, 40, 48, 56, 64};
inline constexpr std::size_t quarter_angle_nodes = 12;

// The rule of `intervals` (one of whole_angle_intervals) intervals in psi, intervals + 1 nodes,
// with the cosine and sine of psi.
std::span<const AngleNode> whole_angle_rule(std::size_t intervals) noexcept;
const std::array<AngleNode, quarter_angle_nodes>& quarter_angle_rule() noexcept;
// 10 nodes over [0, pi/4], with the lens at least large_source::middle_distance from the limb.
const std::array<AngleNode, 10>& short_quarter_angle_rule() noexcept;

// A term mu^p of a brightness, p > 0 not an integer, has the end-point singularity of mu^p at each
// limb a ray crosses. With the lens outside the source a ray starts and ends at the limb, and in
// the ray variable v of limb_ray_rule mu = v (1 - v) phi(v), phi analytic and positive: the
// Gauss-Jacobi rule of (v (1 - v))^p takes the singularity exactly, leaving (mu / (v (1 - v)))^p
// as analytic as a polynomial law's brightness, so the term converges at the rate of the
// polynomial laws, with their node counts, where the double-exponential rule needs 41 or 61 nodes.
// With the lens inside a ray starts at the lens and ends at the limb, mu = (1 - v) phi(v), and the
// rule of (1 - v)^p does the same.
struct PowerRayNode {
  double position;     // p(v) = v (2 - v), as limb_ray_rule
  double weight;       // the Jacobi weight's share included
  double inverse_gap;  // 1/(v (1 - v)) on a crossing ray, 1/(1 - v) on a ray from the lens
};

// From a lens inside, the whole brightness of a law whose term the map below absorbs: with
// z = 1 - v = w^2 (2 - w), w in [0, 1] (so p = 1 - z^2 as for limb_ray_rule, dp = 2 z dz and
// dz = w (4 - 3 w) dw), sqrt(mu) = w sqrt((2 - w) phi) is analytic in w, and mu ln mu, about
// 2 w^2 ln w, leaves w^5 ln w against dw, which Gauss-Legendre integrates at the rate n^-12; at
// the lens (w = 1) dz/dw = 1, so the nodes there are as dense as limb_ray_rule's, where the
// kernel peaks. The analytic part and the term then share every point, where the rules of the
// term's weight took points of their own: 20 nodes, or 24 for a source below
// large_source::longer_clustered_rays_below (against the analytic part's 16 and the term's 16).
// Nodes of PowerRayNode, inverse_gap 1/z.
inline constexpr std::size_t clustered_ray_nodes = 20;
inline constexpr std::size_t longer_clustered_ray_nodes = 24;
std::span<const PowerRayNode> clustered_ray_rule(std::size_t size) noexcept;

class PowerRayRules {
 public:
  static constexpr std::array<std::size_t, 2> sizes = {outside_ray_nodes, limb_ray_nodes};

  PowerRayRules() noexcept = default;
  explicit PowerRayRules(double p) noexcept;

  double exponent() const noexcept { return p_; }
  // The rule of `size` nodes (one of `sizes`) for a ray that starts and ends at the limb.
  std::span<const PowerRayNode> crossing(std::size_t size) const noexcept;
  // The rule for a ray from a lens inside to the limb, of outside_ray_nodes nodes: the term is
  // integrated whole along the ray, kernel peak included, where 12 nodes leave 2e-9 of it at
  // rho = 1000 (16 leave 1e-14).
  std::span<const PowerRayNode> from_lens() const noexcept { return from_lens_; }
  // The same of limb_ray_nodes nodes, for the rays whose start nears the limb behind the lens.
  std::span<const PowerRayNode> from_lens_limb() const noexcept { return from_lens_limb_; }

 private:
  std::array<PowerRayNode, outside_ray_nodes + limb_ray_nodes> crossing_{};
  std::array<PowerRayNode, outside_ray_nodes> from_lens_{};
  std::array<PowerRayNode, limb_ray_nodes> from_lens_limb_{};
  double p_ = 0;
};

// The rules of a ray from a lens inside, for the derivatives of a term mu^p, p > 0
// (large_source_slopes.hpp). With mu = (1 - v) phi and dp = (1 - v) dx, the integral of
// f mu^(p-2) dp is 2^(1-p) times the Gauss-Jacobi sum of (1 - x)^(p - 1) over
// f (mu / (1 - v))^(p - 2) (`lower`). The term itself, and its derivative in p (the power-2 law's
// in alpha), take the rule of (1 - x)^p of PowerRayRules::from_lens, kept here as it is made,
// with its abscissae's and weights' slopes in p (numeric/gauss_jacobi_exponent_slopes.hpp): the
// derivative in p of its sum integrates ln(1 - x) (1 - x)^p.
struct ExponentRayNode {
  double abscissa, weight;
  double abscissa_slope, weight_slope;
};

class PowerRaySlopeRules {
 public:
  PowerRaySlopeRules() noexcept = default;
  explicit PowerRaySlopeRules(double p) noexcept;

  double exponent() const noexcept { return p_; }
  std::span<const PowerRayNode> lower() const noexcept { return lower_; }
  std::span<const ExponentRayNode> power() const noexcept { return power_; }

 private:
  std::array<PowerRayNode, outside_ray_nodes> lower_{};
  std::array<ExponentRayNode, outside_ray_nodes> power_{};
  double p_ = 0;
};

// A term mu ln mu has the end-point singularity mu ln mu at each limb a ray crosses. On a ray from
// the lens mu = z phi (z = 1 - v), and mu ln mu = mu ln(mu / z) + mu ln z: the first part is
// analytic, for the Gauss-Legendre rules of limb_ray_rule (`inverse_gap` 1/z), and the second is
// mu times the weight -z ln z on [0, 1] (with dp = 2 z dz), for the Gauss rule of that weight,
// whose node weights here include the sign, the Jacobian and the division by the weight's factor
// of mu. For the derivatives, ln(mu) / mu along a ray from the lens: the same split with the first
// part's rule (ln(mu / z)/mu analytic there too, the measure's factor z making up for 1/mu) and
// the weight -ln z on [0, 1] for the second, of 1/mu times z (`from_lens_inverse`).
// From the lens by the limb, where the analytic part's rays take limb_ray_nodes, the plain rule
// of as many nodes (`from_lens_limb`) shares their points too.
// On a crossing ray mu = v (1 - v) phi = (1 - x^2) phi / 4 (x = 2v - 1), and mu ln mu is the
// derivative in p at p = 1 of mu^p, which the Gauss-Jacobi rule of (1 - x^2)^p integrates as
// PowerRayRules's crossing rules do: the rule of (1 - x^2), with its abscissae's and weights'
// slopes in the exponent (numeric/gauss_jacobi_exponent_slopes.hpp), takes mu (and the analytic
// part, mu times a polynomial) and mu ln mu on one set of points (ray_excess_and_logarithm_crossing),
// 16 nodes or by the limb 24, where the plain and logarithmic rules took as many each (A within
// an ulp of theirs, rho = 10 to 1000).
struct LogarithmRayRules {
  std::array<PowerRayNode, outside_ray_nodes> from_lens;
  std::array<PowerRayNode, limb_ray_nodes> from_lens_limb;
  std::array<PowerRayNode, 16> from_lens_logarithm;
  std::array<PowerRayNode, 16> from_lens_inverse;
  std::array<ExponentRayNode, outside_ray_nodes> crossing_outside;
  std::array<ExponentRayNode, limb_ray_nodes> crossing_limb;

  std::span<const ExponentRayNode> crossing(std::size_t size) const noexcept {
    return size == limb_ray_nodes ? std::span<const ExponentRayNode>(crossing_limb)
                                  : std::span<const ExponentRayNode>(crossing_outside);
  }
};

const LogarithmRayRules& logarithm_ray_rules() noexcept;

}  // namespace obrivane::models::large_source
