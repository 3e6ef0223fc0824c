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
// The integrals along each ray are in large_source_rays.hpp, the rules over the angle and the
// regions in large_source_angles.hpp.
#pragma once

#include <cmath>
#include <cstddef>
#include <numbers>
#include <type_traits>

#include "models/large_source_angles.hpp"
#include "models/large_source_rays.hpp"
#include "models/large_source_rules.hpp"
#include "models/uniform_disk.hpp"

namespace obrivane::models {

namespace large_source {

// A law's singular term takes its own rules along the rays from this far (Einstein radii) inside
// the limb. With 16 nodes on every ray they left 8e-16 of A 0.3 Einstein radii inside, 8e-15 at
// 0.2 and 2e-13 at 0.1 (against two-dimensional integrals); with the rays that start within
// limb_rules_behind_within of the limb behind the lens taking 24, from 0.05 on they are within
// 2 ulps of A of the double-exponential rules of the whole brightness that serve nearer (rho =
// 10.5 to 1000, the square-root, logarithmic and power-2 laws; 4e-15 at 0.03, 2e-14 at 0.02).
inline constexpr double singular_terms_apart_from = 0.05;

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
