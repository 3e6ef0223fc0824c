// Each law as its terms (law_gradient_terms.hpp): the uniform disk plus the law's profiles, with
// their weights, the weights' derivatives in the coefficients, fluxes and moments. Near the source,
// up to largest_radius_by_lines, the terms mu^p and mu ln mu come by lines through the lens
// (mu_weighted_disk_gradient.hpp, power_weighted_disk_gradient.hpp,
// log_weighted_disk_gradient.hpp), for the linear, quadratic, square-root and logarithmic laws
// computed once for the value and the derivatives (SharedNearTerms). Elsewhere near the source
// (on the limb for a term of p < 2 or mu ln mu, sources beyond largest_radius_by_lines, and the
// power-2 law's mu^alpha ln mu, whose value its derivative in alpha needs) the profiles are
// integrated by parts over the radius (law_profiles_by_parts.hpp), in the variable each law's value
// uses there: mu for the linear and quadratic laws, sqrt(mu) for the square-root and logarithmic
// ones, and mu^(alpha/2) for the power-2 law.
#include "models/law_gradients.hpp"

#include <array>
#include <cmath>
#include <cstddef>

#include "models/brightness_laws.hpp"
#include "models/large_source_lines.hpp"
#include "models/large_source_slopes.hpp"
#include "models/law_far.hpp"
#include "models/law_gradient_driver.hpp"
#include "models/law_gradient_terms.hpp"
#include "models/law_profiles_by_parts.hpp"
#include "models/log_weighted_disk_gradient.hpp"
#include "models/mu_weighted_disk.hpp"
#include "models/mu_weighted_disk_gradient.hpp"
#include "models/power_weighted_disk.hpp"
#include "models/power_weighted_disk_gradient.hpp"
#include "models/power_weighted_lines.hpp"
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

// Within this fraction of the radius outside the limb the mu-weighted disk's derivatives by lines
// (a Gauss-Legendre rule in the angle up to the tangent line, without the graded panels of the
// other terms) lose digits as the lens nears the limb (against the same law by parts: 3e-14 at
// 1e-5 of the radius, 2e-13 at 1e-7, 2e-9 at 1e-15; at 1e-4 and beyond below 1e-14), so there the
// term mu takes the general route of power_weighted_disk_slopes, whose angle rules are graded
// towards the tangent line.
constexpr double lines_outer_band = 1e-3;

bool in_outer_band(double u, double a) noexcept { return u > a && u - a < lines_outer_band * a; }

// Whether the terms take their derivatives by lines through the lens: up to
// largest_radius_by_lines, except, for a term mu^p with p < 2 or mu ln mu (`exact_limb_ok`
// false), with the lens exactly on the limb, where its slopes' angle integrand has an end-point
// singularity the rules do not resolve.
bool by_lines(double u, double a, bool exact_limb_ok) noexcept {
  return a <= largest_radius_by_lines && (exact_limb_ok || u != a);
}

// The term mu^p (flux 2/(p + 2)): its value with the rules of p, its derivatives with those of
// p - 2.
struct PowerTermRules {
  double p;
  PowerChordRules rules;
  PowerChordRules lower_rules;

  explicit PowerTermRules(double exponent) noexcept
      : p(exponent), rules(exponent), lower_rules(exponent - 2) {}
};

const PowerTermRules& square_term() noexcept {
  static const PowerTermRules rules(2);
  return rules;
}

const PowerTermRules& root_term() noexcept {
  static const PowerTermRules rules(0.5);
  return rules;
}

// The near terms of the linear, quadratic, square-root and logarithmic laws by lines through the
// lens, computed once for the value and the derivatives: the value function asks for the terms'
// integrals (NearTermValues), which come with their derivatives here and are kept for the
// gradient, whose driver asks for the terms at the same geometry (except for the tiniest sources,
// which the two rescale differently). The integrals handed to the value are the value functions'
// own numbers: the mu-weighted disk's, mu^p's and mu ln mu's from the same routines, the uniform
// disk's from its gradient, whose value is formed by its value routine's operations.
class SharedNearTerms final : public NearTermValues {
 public:
  // The third term mu^p, or none; `exact_limb_ok` as by_lines.
  SharedNearTerms(const PowerTermRules* third, bool exact_limb_ok) noexcept
      : third_(third), exact_limb_ok_(exact_limb_ok) {}

  // The third term mu ln mu, taken on the limb by parts.
  struct Logarithmic {};
  explicit SharedNearTerms(Logarithmic) noexcept
      : third_(nullptr), logarithmic_(true), exact_limb_ok_(false) {}

  FarSeries* far_series() noexcept override { return &far_; }

  std::array<double, 3> large_outside_excesses(double u, double rho) noexcept override {
    keep_large_outside(u, rho);
    return {uniform_excess_, terms_[1].excess, terms_[2].excess};
  }

  std::array<double, 3> near_terms(double u, double a) noexcept override {
    if (!by_lines(u, a, exact_limb_ok_)) {
      return {uniform_disk_magnification_accurate(u, a), mu_weighted_disk_magnification(u, a),
              third_value(u, a)};
    }
    // The gradient's value comes from the value routine's operations (the same bits), bounded
    // below by 1 as there.
    const UniformDiskGradient disk = uniform_disk_gradient(u, a);
    const double uniform = at_least_one(disk.magnification);
    const DiskGradient mu = mu_term(u, a);
    constexpr double mu_flux = 2.0 / 3;
    terms_[0] = {disk.magnification - 1, disk.d_u, disk.d_rho};
    terms_[1] = {mu_flux * (mu.magnification - 1), mu_flux * mu.d_u, mu_flux * mu.d_radius};
    const double third = third_value(u, a);
    if (third_ != nullptr) {
      const PowerDiskSlopes slopes = power_weighted_disk_slopes(u, a, third_->p, third, third_->lower_rules);
      terms_[2] = {third - 2 / (third_->p + 2), slopes.d_u, slopes.d_radius};
    } else if (logarithmic_) {
      // The flux of mu ln mu is -2/9.
      const PowerDiskSlopes slopes = log_weighted_disk_slopes(u, a, third, mu);
      terms_[2] = {third + 2.0 / 9, slopes.d_u, slopes.d_radius};
    }
    u_ = u;
    a_ = a;
    kept_ = true;
    return {uniform, mu.magnification, third};
  }

  // The first Terms terms at (u, a): those kept, else computed afresh by lines, else (beyond
  // largest_radius_by_lines, and on the limb for a third term of p < 2 or mu ln mu) by parts
  // through `by_parts(u, a)`.
  template <std::size_t Terms, class ByParts>
  std::array<TermIntegral, Terms> terms(double u, double a, ByParts&& by_parts) noexcept {
    if (!(kept_ && u == u_ && a == a_)) {
      if (a > largest_radius_by_lines && u >= power_lines::gauss_outside_ratio * a) {
        keep_large_outside(u, a);
      } else if (a > largest_radius_by_lines && std::fabs(a - u) >= smallest_limb_distance_for_rays &&
                 polynomial()) {
        return large_by_rays<Terms>(u, a);
      } else if (!by_lines(u, a, exact_limb_ok_)) {
        return by_parts(u, a);
      } else {
        near_terms(u, a);
      }
    }
    std::array<TermIntegral, Terms> first{};
    for (std::size_t k = 0; k < Terms; ++k) first[k] = terms_[k];
    return first;
  }

 private:
  // The mu-weighted disk with its derivatives: by mu_weighted_disk_gradient, or just outside the
  // limb by the route of any mu^p (p = 1, its value the mu-weighted disk's own).
  static DiskGradient mu_term(double u, double a) noexcept {
    if (!in_outer_band(u, a)) return mu_weighted_disk_gradient(u, a);
    static const PowerChordRules lower_rules(-1);
    const double magnification = mu_weighted_disk_magnification(u, a);
    const PowerDiskSlopes slopes =
        power_weighted_disk_slopes(u, a, 1, magnification * (2.0 / 3), lower_rules);
    return {magnification, 1.5 * slopes.d_u, 1.5 * slopes.d_radius};
  }

  // A large source with the lens well outside: the terms' weighted excesses and their derivatives
  // by lines through the lens with the point-lens excess as the kernel (large_source_lines.hpp),
  // kept; the excesses are those the value functions compute, to the bit.
  void keep_large_outside(double u, double a) noexcept {
    static const PowerTermRules mu_rules(1);
    const UniformDiskGradient disk = uniform_disk_gradient(u, a);
    uniform_excess_ = at_least_one(disk.magnification) - 1;
    terms_[0] = {disk.magnification - 1, disk.d_u, disk.d_rho};
    const double mu_excess = power_weighted_disk_excess_outside(u, a, mu_rules.rules);
    const PowerDiskSlopes mu_slopes =
        power_weighted_disk_excess_slopes_outside(u, a, 1, mu_excess, mu_rules.lower_rules);
    terms_[1] = {mu_excess, mu_slopes.d_u, mu_slopes.d_radius};
    terms_[2] = {};
    if (third_ != nullptr) {
      const double excess = power_weighted_disk_excess_outside(u, a, third_->rules);
      const PowerDiskSlopes slopes =
          power_weighted_disk_excess_slopes_outside(u, a, third_->p, excess, third_->lower_rules);
      terms_[2] = {excess, slopes.d_u, slopes.d_radius};
    } else if (logarithmic_) {
      const double excess = log_weighted_disk_excess_outside(u, a);
      const PowerDiskSlopes slopes = log_weighted_disk_excess_slopes_outside(u, a, excess, terms_[1]);
      terms_[2] = {excess, slopes.d_u, slopes.d_radius};
    }
    u_ = u;
    a_ = a;
    kept_ = true;
  }

  // A large source with the lens inside or just outside, for the linear and quadratic laws: the
  // terms mu and mu^2 by the rays from the lens with the derivatives moved onto the brightness
  // (large_source_slopes.hpp).
  template <std::size_t Terms>
  std::array<TermIntegral, Terms> large_by_rays(double u, double a) const noexcept {
    const UniformDiskGradient disk = uniform_disk_gradient(u, a);
    const double uniform_excess = disk.magnification - 1;
    const LargePolynomialTerms terms = large_source_polynomial_slopes(u, a, uniform_excess);
    const std::array<TermIntegral, 3> all{
        {{uniform_excess, disk.d_u, disk.d_rho},
         {terms.mu.excess, terms.mu.d_u, terms.mu.d_rho},
         {terms.mu_squared.excess, terms.mu_squared.d_u, terms.mu_squared.d_rho}}};
    std::array<TermIntegral, Terms> first{};
    for (std::size_t k = 0; k < Terms; ++k) first[k] = all[k];
    return first;
  }

  // Whether the law's terms are polynomials in mu: the linear law and the quadratic.
  bool polynomial() const noexcept { return !logarithmic_ && (third_ == nullptr || third_->p == 2); }

  double third_value(double u, double a) const noexcept {
    if (third_ != nullptr) return power_weighted_disk_integral(u, a, third_->p, third_->rules);
    return logarithmic_ ? log_weighted_disk_integral(u, a) : 0.0;
  }

  const PowerTermRules* third_;
  bool logarithmic_ = false;
  bool exact_limb_ok_;
  bool kept_ = false;
  double u_ = 0;
  double a_ = 0;
  std::array<TermIntegral, 3> terms_{};
  double uniform_excess_ = 0;
  FarSeries far_;
};

// The power-2 law's near terms by lines through the lens, computed once for the value and the
// derivatives as SharedNearTerms does for the other laws: T_p of mu^alpha with its derivative in
// alpha (power_logarithm_weighted_disk.hpp), whose value is that of power_weighted_disk_integral to
// the bit (the same operations, the derivative carried beside them), and its derivatives in u and
// a (power_weighted_disk_gradient.hpp). Only points that go by lines are kept; the value asks for
// the others as its own function would.
class SharedPowerTerms final : public NearTermValues {
 public:
  SharedPowerTerms(double alpha, PowerLawRules& rules) noexcept : alpha_(alpha), rules_(rules) {}

  FarSeries* far_series() noexcept override { return &far_; }

  std::array<double, 3> near_terms(double u, double a) noexcept override {
    const PowerChordRules& chords = rules_.rules(alpha_).chords;
    if (!by_lines(u, a, alpha_ >= 2)) {
      return {uniform_disk_magnification_accurate(u, a), 0.0,
              power_weighted_disk_integral(u, a, alpha_, chords)};
    }
    const UniformDiskGradient disk = uniform_disk_gradient(u, a);
    const PowerAndLogarithm term =
        power_logarithm_weighted_disk_integral(u, a, alpha_, chords, rules_.exponent_slopes(alpha_));
    const PowerDiskSlopes slopes =
        power_weighted_disk_slopes(u, a, alpha_, term.power, rules_.lower_rules(alpha_));
    const double flux = rules_.rules(alpha_).moments[0];
    terms_ = {{{disk.magnification - 1, disk.d_u, disk.d_rho},
               {term.power - flux, slopes.d_u, slopes.d_radius},
               {term.logarithm + flux / (alpha_ + 2), 0, 0}}};
    u_ = u;
    a_ = a;
    kept_ = true;
    return {at_least_one(disk.magnification), 0.0, term.power};
  }

  // A large source with the lens well outside: as SharedNearTerms::keep_large_outside, the
  // excess of mu^alpha and its derivative in alpha by the lines of the excess kernel.
  std::array<double, 3> large_outside_excesses(double u, double rho) noexcept override {
    const PowerChordRules& chords = rules_.rules(alpha_).chords;
    const UniformDiskGradient disk = uniform_disk_gradient(u, rho);
    const PowerAndLogarithm excess =
        power_logarithm_weighted_disk_excess_outside(u, rho, chords, rules_.exponent_slopes(alpha_));
    const PowerDiskSlopes slopes =
        power_weighted_disk_excess_slopes_outside(u, rho, alpha_, excess.power, rules_.lower_rules(alpha_));
    terms_ = {{{disk.magnification - 1, disk.d_u, disk.d_rho},
               {excess.power, slopes.d_u, slopes.d_radius},
               {excess.logarithm, 0, 0}}};
    u_ = u;
    a_ = rho;
    kept_ = true;
    return {at_least_one(disk.magnification) - 1, 0.0, excess.power};
  }

  // The terms kept at (u, a), or null.
  const std::array<TermIntegral, 3>* kept(double u, double a) const noexcept {
    return kept_ && u == u_ && a == a_ ? &terms_ : nullptr;
  }

 private:
  double alpha_;
  PowerLawRules& rules_;
  bool kept_ = false;
  double u_ = 0;
  double a_ = 0;
  std::array<TermIntegral, 3> terms_{};
  FarSeries far_;
};

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
    return shared.terms<2>(u_near, a, [](double u_parts, double a_parts) {
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
        return shared.terms<3>(u_near, radius, [](double u_parts, double a_parts) {
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
    return shared.terms<3>(u_near, a, [](double u_parts, double a_parts) {
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
    return shared.terms<3>(u_near, a, [](double u_parts, double a_parts) {
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
  const LawMoments& power = rules.rules(alpha).moments;
  const LawMoments& power_logarithm = rules.rules(alpha).logarithm_moments;
  const double flux = power[0];
  const LawTerms<3> law{{1 - c, c, 0},
                        {{{-1, 0}, {1, 0}, {0, c}}},
                        {1, flux, -flux / (alpha + 2)},
                        {&uniform_moments, &power, &power_logarithm}};
  const double half_alpha = alpha * 0.5;
  const double exponent = 2 / alpha;
  return law_gradient(u, rho, magnification, shared.far_series(), law, [=, &shared](double u_near, double a) {
    // mu^alpha by lines through the lens (on the limb only for alpha >= 2, as for the other laws'
    // terms, and for large sources with the lens well outside by those of the excess kernel),
    // and the weight-0 term mu^alpha ln mu, whose value alone matters, by the same lines
    // differentiated in alpha (SharedPowerTerms): kept by the value where it computed them.
    if (const std::array<TermIntegral, 3>* kept = shared.kept(u_near, a)) return *kept;
    if (a > largest_radius_by_lines && u_near >= power_lines::gauss_outside_ratio * a) {
      shared.large_outside_excesses(u_near, a);
      return *shared.kept(u_near, a);
    }
    if (by_lines(u_near, a, alpha >= 2)) {
      shared.near_terms(u_near, a);
      return *shared.kept(u_near, a);
    }
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
