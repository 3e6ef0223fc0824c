// The derivatives of a large source's polynomial terms mu and mu^2 (rho > largest_radius_by_lines)
// with the lens inside it or just outside (up to 1.25 rho, where the lines of
// large_source_lines.hpp take over), by the rays from the lens of large_source.hpp. With E_p the weighted
// excess (1/(pi rho^2)) integral of mu^p (A - 1), the derivatives are moved onto the brightness:
// moving the lens along the axis from the centre by du moves the kernel, and by parts
//   dE_p/du = -(p / rho^2) <mu^(p-2) x (A - 1)>,
// x the coordinate along that axis (from the centre, towards the lens), <> the mean over the disk
// (that of mu^(p-2) x alone vanishes, the disk being symmetric about x = 0); and
//   rho dE_p/drho = p E_(p-2) - (p + 2) E_p,
// the fluxes' parts cancelling. For p = 1 the rays integrate 1/mu and x/mu, whose square-root end
// points at the limb the ray variable's map (p = v (2 - v), dp/dv = 2 (1 - v)) leaves analytic; for
// p = 2, E_0 is the uniform disk's excess and x a polynomial. With the lens inside, each ray
// integral is taken with its value at the lens as the reference, as the excess itself
// (large_source.hpp); outside, whole.
#pragma once

#include "models/large_source_rules.hpp"

namespace obrivane::models {

// The lens at least this far from the limb (Einstein radii). Closer inside, 1/mu at the lens,
// sqrt(rho / (2 (rho - u))), grows and the rays' rules resolve it less well: against the
// derivatives by parts over the radius, for rho = 10.5 to 1000, within 3e-14 of A/rho from 0.1
// on, but 1e-13 at 1e-2, 2e-12 at 1e-5 and 4e-11 at 1e-9. Outside, from 0.1 to 1.25 rho, within
// 6e-15.
inline constexpr double smallest_limb_distance_for_rays = 0.1;

// A singular term's derivatives by the rays with the lens at least this far inside the limb
// (Einstein radii). Nearer, the limb behind the lens nears each ray's start, where the rules of
// mu^(p-2) and ln(mu)/mu resolve it less well: against the derivatives by parts (rho = 10.5 to 100,
// the square-root, logarithmic and power-2 laws, alpha from 0.05 to 0.7), within 2e-14 of A/rho (A
// for alpha) from 1 on (1.2e-14 from 1.5 on), but 4e-14 from 0.7, 2e-13 from 0.5, 5e-10 from 0.1.
// The rays also need the periodic rule to serve their angle for the derivatives
// (large_source::whole_angle_intervals_for with RaysFor::derivatives, from 0.95 Einstein radii
// inside at rho = 10.5, 2.5 at 30, 6.7 at 100): nearer the limb the quarter rules and panels take
// 45 to 70 rays and more, three rules along each, and the integrals by parts cost less (with the
// logarithmic law at rho = 100, 108 against 78 us a point with the lens at 0.94 radii, and 50
// against 60 at 0.93, where the periodic rule serves). Nor do the rays serve there under the
// value's mapped rule: at rho = 1000, 1 Einstein radius inside, they were 4.5e-14 of A/rho off the
// 45-digit references (the power-2 law, alpha = 0.3) where the integrals by parts were 4e-16.
inline constexpr double smallest_limb_distance_for_singular_rays = 1;

// A term's weighted excess with its derivatives.
struct LargeTermSlopes {
  double excess;
  double d_u;
  double d_rho;
};

struct LargePolynomialTerms {
  LargeTermSlopes mu;
  LargeTermSlopes mu_squared;
};

// A law's value along the rays of its derivatives, where those are the value's rays: its
// brightness, edge + (slope - curvature mu) mu + coefficient T(mu) (NearTermValues::RaysBrightness),
// with `rules` those of its term T = mu^p, and the excess F (A - 1) that it forms, as
// large_source_excess forms it, to the bit.
struct RaysValue {
  double edge, slope, curvature, coefficient;
  const large_source::PowerRayRules* rules = nullptr;
  // Whether the value's rays from the lens away from the limb take clustered_ray_rule for the
  // analytic part and the term together (the square-root and logarithmic laws').
  bool clustered = false;
  double excess = 0;

  // The analytic part, by the operations of the law's value function.
  double analytic(double mu) const noexcept { return edge + (slope - curvature * mu) * mu; }
};

// With `value` (the linear and quadratic laws), the same rays also give the value's excess: its
// rule has the brightnesses' nodes but for the 12-node deep rays, whose points it takes apart.
// For |u - rho| >= smallest_limb_distance_for_rays, 0 <= u < 1.25 rho and
// rho > largest_radius_by_lines, given the uniform disk's excess A_disk - 1.
LargePolynomialTerms large_source_polynomial_slopes(double u, double rho, double uniform_excess,
                                                    RaysValue* value = nullptr) noexcept;

// The same for a term mu^p, p > 0 (from 0.01 for the power-2 law), by the Gauss-Jacobi rules of its limb
// singularity along the rays (`rules` made for p), with the lens at least
// smallest_limb_distance_for_singular_rays inside the limb: the rays integrate mu^p, mu^(p-2) and x mu^(p-2),
// each whole along a ray from the lens, its value at the lens times the ray's exact kernel taken off, as the
// value's own rays do (large_source.hpp). With `power_logarithm`, also the weighted excess of mu^p ln mu, the
// derivative in p of E_p (the power-2 law's in alpha): mu^p ln mu = mu^p ln(mu / (1 - v)) + mu^p ln(1 - v)
// along a ray, the first part by the rule of (1 - x)^p and the second by that rule differentiated in p, which
// integrates ln(1 - x) (1 - x)^p given the integrand's slope in x at its nodes.
//
// With `value` (the power-2 law, whose analytic part is a constant, and the square-root law), the
// same rays also give the value's excess: the rule of (1 - x)^p is the value's, so each node's
// point and power serve both, and the analytic part takes its own rule's points. With `polynomial`, the term
// mu's (and mu^2's) as large_source_polynomial_slopes gives them (the square-root law), on the same rays and,
// but for the 12-node deep rays, the same points.
LargeTermSlopes large_source_power_slopes(double u, double rho, const large_source::PowerRaySlopeRules& rules,
                                          double uniform_excess, double* power_logarithm = nullptr,
                                          RaysValue* value = nullptr,
                                          LargePolynomialTerms* polynomial = nullptr) noexcept;

// The logarithmic law's terms mu (with mu^2, unused) and mu ln mu together, with the lens as
// large_source_power_slopes: with L_q the weighted excess of mu^q ln mu, dL_1/du = dE_1/du -
// <x ln(mu)/mu (A - 1)>/rho^2 and rho dL_1/drho = E_(-1) + L_(-1) - E_1 - 3 L_1 (the derivatives in
// p at p = 1 of those of E_p), the rays integrating mu ln mu, ln(mu)/mu and x ln(mu)/mu by the
// rules of their logarithmic limb singularities (LogarithmRayRules). The plain rule of those has
// the nodes of the polynomial brightnesses' 16-node rule, so its points, placed from their
// distance to the limb, serve mu's five brightnesses too; by the limb, where those take 24 nodes
// (within middle_distance), they keep their own points.
struct LogarithmLawSlopes {
  LargePolynomialTerms polynomial;
  LargeTermSlopes logarithm;
};

// With `value`, where the rays take 16 nodes (not limb_rays_inside), the same rays also give the
// value's excess.
LogarithmLawSlopes large_source_logarithm_law_slopes(double u, double rho, double uniform_excess,
                                                     RaysValue* value = nullptr) noexcept;

}  // namespace obrivane::models
