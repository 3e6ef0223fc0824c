// Each law as its terms (law_gradient_terms.hpp): the uniform disk plus the law's profiles, with
// their weights, the weights' derivatives in the coefficients, fluxes and moments. Near the source,
// up to largest_radius_by_lines, the terms mu^p, mu ln mu and mu^alpha ln mu come by lines through
// the lens, and for larger sources by the lines of the excess kernel with the lens well outside
// and by the rays from the lens elsewhere but by the limb (the square-root, logarithmic and
// power-2 laws with the lens inside only, the last for alpha >= 0.01): computed once for the value and
// the derivatives (law_shared_terms.hpp). Elsewhere (on the limb for a term of p < 2 or mu ln mu,
// and the rest of the large sources) the profiles are integrated
// by parts over the radius (law_profiles_by_parts.hpp), in the variable each law's value uses
// there: mu for the linear and quadratic laws, sqrt(mu) for the square-root and logarithmic ones,
// and mu^(alpha/2) for the power-2 law.
#include "models/law_gradients.hpp"

#include <array>
#include <cmath>
#include <cstddef>

#include "models/brightness_laws.hpp"
#include "models/law_far.hpp"
#include "models/law_gradient_driver.hpp"
#include "models/law_gradient_terms.hpp"
#include "models/law_profiles_by_parts.hpp"
#include "models/law_shared_terms.hpp"
#include "models/uniform_disk.hpp"
#include "models/uniform_disk_gradient.hpp"
#include "numeric/integrate.hpp"

namespace obrivane::models {
namespace {

constexpr LawMoments uniform_moments = power_moments(0);
constexpr LawMoments root_moments = power_moments(0.5);
constexpr LawMoments mu_moments = power_moments(1);
constexpr LawMoments square_moments = power_moments(2);
constexpr LawMoments log_moments = logarithm_moments();

// The uniform term, then the profiles' integrals by parts, for a source within four radii.
template <std::size_t Profiles, class Point>
std::array<TermIntegral, Profiles + 1> near_terms(double u, double a, double split_v,
                                                  Point&& point) noexcept {
  const UniformDiskGradient disk = uniform_disk_gradient(u, a);
  const std::array<TermIntegral, Profiles> profiles =
      profile_integrals_by_parts<Profiles>(u, a, split_v, point);
  std::array<TermIntegral, Profiles + 1> terms{};
  terms[0] = {disk.magnification - 1, disk.d_u, disk.d_rho};
  for (std::size_t k = 0; k < Profiles; ++k) terms[k + 1] = profiles[k];
  return terms;
}

// Where the integrals over mu split: inside, at the mu where the rim of the concentric disk passes
// the lens; just outside (a < u < a sqrt(2)), at mu = sqrt(u^2 - a^2)/a, the size of the
// imaginary mu = i sqrt(u^2 - a^2)/a where it would, whose nearness makes the integrands steep
// there (in mu^(alpha/2), for a small alpha, near the middle of the interval rather than at an
// end); 0 for no split.
double split_mu(double u, double a) noexcept {
  if (u < a) return std::sqrt((a - u) * (a + u)) / a;
  const double outside = std::sqrt((u - a) * (u + a)) / a;
  return outside < 1 ? outside : 0;
}

// The first Terms of the shared terms, or (where there are none) the terms by parts.
template <std::size_t Terms, class ByParts>
std::array<TermIntegral, Terms> shared_or_by_parts(const std::array<TermIntegral, 3>* shared, double u,
                                                   double a, ByParts&& by_parts) noexcept {
  if (shared == nullptr) return by_parts(u, a);
  std::array<TermIntegral, Terms> first{};
  for (std::size_t k = 0; k < Terms; ++k) first[k] = (*shared)[k];
  return first;
}

constexpr LawMoments logarithm_moments_at_zero = power_logarithm_moments(uniform_moments, 0);

// The excess X = M - f of ln mu (f = -1/2), the power-2 law's derivative in alpha at alpha = 0.
// ln mu is infinite at the limb, so the by-parts form takes the disk's own magnification off the
// concentric disks', which leaves no boundary term:
//   X = integral_0^1 [(1 - mu^2) (A_disk(u, r) - 1) - (A_disk(u, a) - 1)] dmu / mu,
// in v = sqrt(mu) (dmu/mu = 2 dv/v), where the bracket vanishes as v^4 at v = 0.
double logarithm_excess(double u, double a, double disk_magnification) noexcept {
  const auto integrand = [u, a, disk_magnification](double v) {
    const double mu = v * v;
    const double one_minus_mu_squared = (1 - mu) * (1 + mu);
    const double inner = uniform_disk_magnification_accurate(u, a * std::sqrt(one_minus_mu_squared));
    return (one_minus_mu_squared * (inner - 1) - (disk_magnification - 1)) * (2 / v);
  };
  const double split = std::sqrt(split_mu(u, a));
  if (u > 0 && split > 0 && split < 1) {
    return numeric::integrate_to_the_ends(integrand, 0.0, split, 0.0).integral +
           numeric::integrate_to_the_ends(integrand, split, 1.0, 0.0).integral;
  }
  return numeric::integrate_to_the_ends(integrand, 0.0, 1.0, 0.0).integral;
}

}  // namespace

LawGradient uniform_law_gradient(double u, double rho) noexcept {
  static constexpr LawTerms<1> law{{1}, {{{0, 0}}}, {1}, {&uniform_moments}};
  // Near a source of the middle sizes the value routine evaluates the closed form at (u, rho) itself
  // (no rescaling), by the operations the gradient's value takes, and bounds it below by 1: there
  // the gradient's own value serves, the same bits, and the closed form runs once. Beyond
  // largest_radius_by_lines the value is 1 + (A - 1) from the same closed form, which is A itself:
  // A < 2 there, so A - 1 is exact and so is adding 1 back.
  const bool shared = rho >= small_source_scale && rho <= indistinguishable_source_radius &&
                      std::isfinite(u) && !(rho <= far_disk_ratio * u);
  UniformDiskGradient disk{};
  if (shared) disk = uniform_disk_gradient(u, rho);
  FarSeries far;
  const double magnification =
      shared ? at_least_one(disk.magnification) : uniform_law_magnification_from(u, rho, &far);
  return law_gradient(u, rho, magnification, &far, law, [&](double u_near, double a) {
    const UniformDiskGradient near =
        shared && u_near == u && a == rho ? disk : uniform_disk_gradient(u_near, a);
    return std::array<TermIntegral, 1>{{{near.magnification - 1, near.d_u, near.d_rho}}};
  });
}

LawGradient linear_law_gradient(double u, double rho, double u1) noexcept {
  // I = (1 - u1) + u1 mu. Up to largest_radius_by_lines the mu-weighted disk and its derivatives
  // come from lines through the lens (SharedNearTerms), beyond by parts.
  const LawTerms<2> law{{1 - u1, u1}, {{{-1, 0}, {1, 0}}}, {1, 2.0 / 3}, {&uniform_moments, &mu_moments}};
  SharedNearTerms shared(nullptr, true);
  const double magnification = linear_law_magnification_from(u, rho, u1, shared);
  return law_gradient(u, rho, magnification, shared.far_series(), law, [&shared](double u_near, double a) {
    return shared_or_by_parts<2>(shared.terms_at(u_near, a), u_near, a, [](double u_parts, double a_parts) {
      return near_terms<1>(u_parts, a_parts, split_mu(u_parts, a_parts),
                           [](double mu, double from_split) { return ProfilePoint<1>{mu, from_split, {1}}; });
    });
  });
}

LawGradient quadratic_law_gradient(double u, double rho, double a, double b) noexcept {
  // I = (1 - a - b) + (a + 2b) mu - b mu^2.
  const LawTerms<3> law{{1 - a - b, a + 2 * b, -b},
                        {{{-1, -1}, {1, 2}, {0, -1}}},
                        {1, 2.0 / 3, 0.5},
                        {&uniform_moments, &mu_moments, &square_moments}};
  SharedNearTerms shared(&square_term(), true);
  const double magnification = quadratic_law_magnification_from(u, rho, a, b, shared);
  return law_gradient(
      u, rho, magnification, shared.far_series(), law, [&shared](double u_near, double radius) {
        return shared_or_by_parts<3>(
            shared.terms_at(u_near, radius), u_near, radius, [](double u_parts, double a_parts) {
              return near_terms<2>(
                  u_parts, a_parts, split_mu(u_parts, a_parts),
                  [](double mu, double from_split) { return ProfilePoint<2>{mu, from_split, {1, 2 * mu}}; });
            });
      });
}

LawGradient square_root_law_gradient(double u, double rho, double c, double d) noexcept {
  // I = (1 - c - d) + c mu + d sqrt(mu); in v = sqrt(mu) the profiles are v^2 and v.
  const LawTerms<3> law{{1 - c - d, c, d},
                        {{{-1, -1}, {1, 0}, {0, 1}}},
                        {1, 2.0 / 3, 0.8},
                        {&uniform_moments, &mu_moments, &root_moments}};
  SharedNearTerms shared(&root_term(), false);
  const double magnification = square_root_law_magnification_from(u, rho, c, d, shared);
  return law_gradient(u, rho, magnification, shared.far_series(), law, [&shared](double u_near, double a) {
    return shared_or_by_parts<3>(shared.terms_at(u_near, a), u_near, a, [](double u_parts, double a_parts) {
      const double split_v = std::sqrt(split_mu(u_parts, a_parts));
      return near_terms<2>(u_parts, a_parts, split_v, [split_v](double v, double from_split) {
        // mu - mu_s = (v - v_s)(v + v_s).
        return ProfilePoint<2>{v * v, from_split * (v + split_v), {2 * v, 1}};
      });
    });
  });
}

LawGradient logarithmic_law_gradient(double u, double rho, double e, double f) noexcept {
  // I = (1 - e) + e mu - f mu ln mu; by parts, in v = sqrt(mu) the profiles are v^2 and
  // 2 v^2 ln v, of slopes 2v and 2v (2 ln v + 1).
  const LawTerms<3> law{{1 - e, e, -f},
                        {{{-1, 0}, {1, 0}, {0, -1}}},
                        {1, 2.0 / 3, -2.0 / 9},
                        {&uniform_moments, &mu_moments, &log_moments}};
  SharedNearTerms shared{SharedNearTerms::Logarithmic{}};
  const double magnification = logarithmic_law_magnification_from(u, rho, e, f, shared);
  return law_gradient(u, rho, magnification, shared.far_series(), law, [&shared](double u_near, double a) {
    return shared_or_by_parts<3>(shared.terms_at(u_near, a), u_near, a, [](double u_parts, double a_parts) {
      const double split_v = std::sqrt(split_mu(u_parts, a_parts));
      return near_terms<2>(u_parts, a_parts, split_v, [split_v](double v, double from_split) {
        return ProfilePoint<2>{v * v, from_split * (v + split_v), {2 * v, (2 * v) * (2 * std::log(v) + 1)}};
      });
    });
  });
}

LawGradient power2_law_gradient(double u, double rho, double c, double alpha, PowerLawRules& rules) noexcept {
  SharedPowerTerms shared(alpha, rules);
  const double magnification = power2_law_magnification_from(u, rho, c, alpha, rules, shared);
  if (alpha == 0) {
    // The uniform disk whatever c; the derivative in alpha is c times that of the term ln mu.
    const LawTerms<2> law{
        {1, 0}, {{{0, 0}, {0, c}}}, {1, -0.5}, {&uniform_moments, &logarithm_moments_at_zero}};
    return law_gradient(u, rho, magnification, shared.far_series(), law, [](double u_near, double a) {
      const UniformDiskGradient disk = uniform_disk_gradient(u_near, a);
      return std::array<TermIntegral, 2>{{{disk.magnification - 1, disk.d_u, disk.d_rho},
                                          {logarithm_excess(u_near, a, disk.magnification), 0, 0}}};
    });
  }
  if (std::isnan(magnification)) {
    return {magnification, magnification, magnification, {magnification, magnification}};
  }
  // I = (1 - c) + c mu^alpha, and dI/dalpha = c mu^alpha ln mu: a third term of weight 0 whose
  // weight has the slope c in alpha. In v = mu^(alpha/2) the profiles are v^2 and (2/alpha) v^2 ln v.
  const PowerLawRules::Exponent& exponent_rules = rules.rules(alpha);
  const LawMoments& power = exponent_rules.moments;
  const LawMoments& power_logarithm = exponent_rules.logarithm_moments;
  const double flux = power[0];
  const LawTerms<3> law{{1 - c, c, 0},
                        {{{-1, 0}, {1, 0}, {0, c}}},
                        {1, flux, -flux / (alpha + 2)},
                        {&uniform_moments, &power, &power_logarithm}};
  const double half_alpha = alpha * 0.5;
  const double exponent = 2 / alpha;
  return law_gradient(u, rho, magnification, shared.far_series(), law, [=, &shared](double u_near, double a) {
    // mu^alpha and the weight-0 term mu^alpha ln mu, whose value alone matters, by lines through
    // the lens (SharedPowerTerms), else by parts.
    if (const std::array<TermIntegral, 3>* terms = shared.terms_at(u_near, a)) return *terms;
    const double split_v = std::pow(split_mu(u_near, a), half_alpha);
    const double mu_split = std::pow(split_v, exponent);
    return near_terms<2>(u_near, a, split_v, [=](double v, double from_split) {
      // mu - mu_s = mu_s ((v/v_s)^(2/alpha) - 1).
      const double from_mu_split = mu_split * std::expm1(exponent * std::log1p(from_split / split_v));
      return ProfilePoint<2>{
          std::pow(v, exponent), from_mu_split, {2 * v, (exponent * v) * (2 * std::log(v) + 1)}};
    });
  });
}

}  // namespace obrivane::models
