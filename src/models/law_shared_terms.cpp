#include "models/law_shared_terms.hpp"

#include <array>
#include <cmath>
#include <limits>

#include "models/large_source.hpp"
#include "models/large_source_lines.hpp"
#include "models/large_source_slopes.hpp"
#include "models/log_weighted_disk_gradient.hpp"
#include "models/mu_weighted_disk.hpp"
#include "models/mu_weighted_disk_gradient.hpp"
#include "models/power_logarithm_weighted_disk.hpp"
#include "models/power_weighted_disk_gradient.hpp"
#include "models/power_weighted_lines.hpp"
#include "models/source_radius.hpp"
#include "models/uniform_disk.hpp"
#include "models/uniform_disk_gradient.hpp"

namespace obrivane::models {
namespace {

// Within this fraction of the radius outside the limb the mu-weighted disk's derivatives by lines
// (a Gauss-Legendre rule in the angle up to the tangent line, without the graded panels of the
// other terms) lose digits as the lens nears the limb (against the same law by parts: 3e-14 at
// 1e-5 of the radius, 2e-13 at 1e-7, 2e-9 at 1e-15; at 1e-4 and beyond below 1e-14), so there the
// term mu takes the general route of power_weighted_disk_slopes, whose angle rules are graded
// towards the tangent line.
constexpr double lines_outer_band = 1e-3;

bool in_outer_band(double u, double a) noexcept { return u > a && u - a < lines_outer_band * a; }

// The mu-weighted disk with its derivatives: by mu_weighted_disk_gradient, or just outside the
// limb by the route of any mu^p (p = 1, its value the mu-weighted disk's own).
DiskGradient mu_term(double u, double a) noexcept {
  if (!in_outer_band(u, a)) return mu_weighted_disk_gradient(u, a);
  static const PowerChordRules lower_rules(-1);
  const double magnification = mu_weighted_disk_magnification(u, a);
  const PowerDiskSlopes slopes = power_weighted_disk_slopes(u, a, 1, magnification * (2.0 / 3), lower_rules);
  return {magnification, 1.5 * slopes.d_u, 1.5 * slopes.d_radius};
}

// A large source whose value's terms come from the lines of the excess kernel.
bool large_and_by_lines(double u, double a) noexcept {
  return a > largest_radius_by_lines && large_source_by_lines(u, a);
}

// Whether a singular term's derivatives come by the rays from a lens inside a large source.
bool singular_rays_serve(double u, double a) noexcept {
  return a - u >= smallest_limb_distance_for_singular_rays &&
         large_source::whole_angle_intervals_for(u, a, large_source::RaysFor::derivatives) != 0;
}

// Whether the linear and quadratic laws' derivative rays (rays_by_region with `split`, the full
// angle rules) are their value's (without `split`, the shorter angle rules from middle_distance
// of the limb where the periodic rule does not serve), away from the band taken by parts. With the
// lens inside, the periodic rule serves the value nearer the limb than the derivatives, and then
// their angles differ.
bool polynomial_rays_are_the_values(double u, double a) noexcept {
  using large_source::RaysFor;
  const double limb_distance = std::fabs(a - u);
  if (!(limb_distance >= smallest_limb_distance_for_rays)) return false;
  if (u < a && large_source::whole_angle_intervals_for(u, a) != 0)
    return large_source::whole_angle_intervals_for(u, a, RaysFor::derivatives) != 0;
  if (limb_distance < large_source::middle_distance) return true;
  return (u - a) * (u + a) >= 0.5 * (a * a);  // well outside, where the rules are the same
}

}  // namespace

bool by_lines(double u, double a, bool exact_limb_ok) noexcept {
  return a <= largest_radius_by_lines && (exact_limb_ok || u != a);
}

const PowerTermRules& square_term() noexcept {
  static const PowerTermRules rules(2);
  return rules;
}

const PowerTermRules& root_term() noexcept {
  static const PowerTermRules rules(0.5);
  return rules;
}

std::array<double, 3> SharedNearTerms::large_outside_excesses(double u, double rho) noexcept {
  keep_large_outside(u, rho);
  return {uniform_excess_, terms_[1].excess, terms_[2].excess};
}

std::array<double, 3> SharedNearTerms::near_terms(double u, double a) noexcept {
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
  terms_[2] = {};
  const double third = third_value(u, a);
  if (third_ != nullptr) {
    const PowerDiskSlopes slopes = power_weighted_disk_slopes(u, a, third_->p, third, third_->lower_rules);
    terms_[2] = {third - 2 / (third_->p + 2), slopes.d_u, slopes.d_radius};
  } else if (logarithmic_) {
    // The flux of mu ln mu is -2/9.
    const PowerDiskSlopes slopes = log_weighted_disk_slopes(u, a, third, mu);
    terms_[2] = {third + 2.0 / 9, slopes.d_u, slopes.d_radius};
  }
  keep(u, a);
  return {uniform, mu.magnification, third};
}

const std::array<TermIntegral, 3>* SharedNearTerms::terms_at(double u, double a) noexcept {
  if (kept_at(u, a)) return &terms_;
  if (large_and_by_lines(u, a)) {
    keep_large_outside(u, a);
  } else if (a > largest_radius_by_lines) {
    // The polynomial laws' rays from 0.1 Einstein radii of the limb; a singular term's inside
    // only (outside, the angle rules about the tangent line left 8e-14 of A/rho in its
    // derivatives at rho = 10.5), and where its rays cost less than the integrals by parts.
    const bool by_rays =
        polynomial() ? std::fabs(a - u) >= smallest_limb_distance_for_rays : singular_rays_serve(u, a);
    if (!by_rays) return nullptr;
    keep_large_by_rays(u, a);
  } else if (by_lines(u, a, exact_limb_ok_)) {
    near_terms(u, a);
  } else {
    return nullptr;
  }
  return &terms_;
}

// The terms' weighted excesses and their derivatives by lines through the lens with the point-lens
// excess as the kernel (large_source_lines.hpp); the excesses are those the value functions
// compute, to the bit.
void SharedNearTerms::keep_large_outside(double u, double a) noexcept {
  static const PowerTermRules mu_rules(1);
  const UniformDiskGradient disk = uniform_disk_gradient(u, a);
  uniform_excess_ = at_least_one(disk.magnification) - 1;
  terms_[0] = {disk.magnification - 1, disk.d_u, disk.d_rho};
  // The logarithmic law's mu and mu ln mu from one pass, as its value takes them.
  const PowerAndLogarithm mu_and_logarithm =
      logarithmic_ ? mu_and_log_weighted_disk_excess_outside(u, a) : PowerAndLogarithm{};
  const double mu_excess =
      logarithmic_ ? mu_and_logarithm.power : power_weighted_disk_excess_outside(u, a, mu_rules.rules);
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
    const double excess = mu_and_logarithm.logarithm;
    const PowerDiskSlopes slopes = log_weighted_disk_excess_slopes_outside(u, a, excess, terms_[1]);
    terms_[2] = {excess, slopes.d_u, slopes.d_radius};
  }
  keep(u, a);
}

// The terms mu and mu^2 (the linear and quadratic laws), mu and mu^p (the square-root law) or mu
// and mu ln mu (the logarithmic law) by the rays from the lens, with the derivatives moved onto the
// brightness (large_source_slopes.hpp).
void SharedNearTerms::keep_large_by_rays(double u, double a, RaysValue* value) noexcept {
  const UniformDiskGradient disk = uniform_disk_gradient(u, a);
  const double uniform_excess = disk.magnification - 1;
  if (logarithmic_) {
    const LogarithmLawSlopes law = large_source_logarithm_law_slopes(u, a, uniform_excess, value);
    terms_ = {{{uniform_excess, disk.d_u, disk.d_rho},
               {law.polynomial.mu.excess, law.polynomial.mu.d_u, law.polynomial.mu.d_rho},
               {law.logarithm.excess, law.logarithm.d_u, law.logarithm.d_rho}}};
    keep(u, a);
    return;
  }
  LargePolynomialTerms terms{};
  LargeTermSlopes third{};
  if (polynomial()) {
    // The linear and quadratic laws, the value's rays with the brightnesses'.
    terms = large_source_polynomial_slopes(u, a, uniform_excess, value);
    third = terms.mu_squared;
  } else {
    // The square-root law: mu's brightnesses on the same rays as mu^p's, and the value's with them.
    third = large_source_power_slopes(u, a, third_->ray_slope_rules, uniform_excess, nullptr, value, &terms);
  }
  terms_ = {{{uniform_excess, disk.d_u, disk.d_rho},
             {terms.mu.excess, terms.mu.d_u, terms.mu.d_rho},
             {third.excess, third.d_u, third.d_rho}}};
  keep(u, a);
}

// The laws' values from their derivatives' rays, where those are the value's.
double SharedNearTerms::large_rays_excess(double u, double rho, const RaysBrightness& brightness) noexcept {
  // The linear and quadratic laws where their rays are the value's (polynomial_rays_are_the_values);
  // the square-root law wherever its derivatives come by the rays; the logarithmic law where its
  // rays also take 16 nodes.
  if (!(rho > largest_radius_by_lines)) return std::numeric_limits<double>::quiet_NaN();
  const bool shared = polynomial() ? polynomial_rays_are_the_values(u, rho)
                                   : singular_rays_serve(u, rho) &&
                                         (!logarithmic_ || !large_source::limb_rays_inside(u, rho));
  if (!shared) return std::numeric_limits<double>::quiet_NaN();
  RaysValue value{brightness.edge,
                  brightness.slope,
                  brightness.curvature,
                  brightness.coefficient,
                  polynomial() || logarithmic_ ? nullptr : &root_ray_rules(),
                  !polynomial()};
  keep_large_by_rays(u, rho, &value);
  return value.excess;
}

double SharedNearTerms::third_value(double u, double a) const noexcept {
  if (third_ != nullptr) return power_weighted_disk_integral(u, a, third_->p, third_->rules);
  return logarithmic_ ? log_weighted_disk_integral(u, a) : 0.0;
}

std::array<double, 3> SharedPowerTerms::near_terms(double u, double a) noexcept {
  // Looking up the derivatives' rules below finds this exponent's slot, so the reference holds.
  const PowerLawRules::Exponent& exponent = rules_.rules(alpha_);
  if (!by_lines(u, a, alpha_ >= 2)) {
    return {uniform_disk_magnification_accurate(u, a), 0.0,
            power_weighted_disk_integral(u, a, alpha_, exponent.chords)};
  }
  const UniformDiskGradient disk = uniform_disk_gradient(u, a);
  const PowerAndLogarithm term =
      power_logarithm_weighted_disk_integral(u, a, alpha_, exponent.chords, rules_.exponent_slopes(alpha_));
  const PowerDiskSlopes slopes =
      power_weighted_disk_slopes(u, a, alpha_, term.power, rules_.lower_rules(alpha_));
  const double flux = exponent.moments[0];
  terms_ = {{{disk.magnification - 1, disk.d_u, disk.d_rho},
             {term.power - flux, slopes.d_u, slopes.d_radius},
             {term.logarithm + flux / (alpha_ + 2), 0, 0}}};
  keep(u, a);
  return {at_least_one(disk.magnification), 0.0, term.power};
}

std::array<double, 3> SharedPowerTerms::large_outside_excesses(double u, double rho) noexcept {
  const PowerChordRules& chords = rules_.rules(alpha_).chords;
  const UniformDiskGradient disk = uniform_disk_gradient(u, rho);
  const PowerAndLogarithm excess =
      power_logarithm_weighted_disk_excess_outside(u, rho, chords, rules_.exponent_slopes(alpha_));
  const PowerDiskSlopes slopes =
      power_weighted_disk_excess_slopes_outside(u, rho, alpha_, excess.power, rules_.lower_rules(alpha_));
  terms_ = {{{disk.magnification - 1, disk.d_u, disk.d_rho},
             {excess.power, slopes.d_u, slopes.d_radius},
             {excess.logarithm, 0, 0}}};
  keep(u, rho);
  return {at_least_one(disk.magnification) - 1, 0.0, excess.power};
}

// The smallest exponent whose derivatives come by the rays: towards alpha = 0, mu^(alpha - 2),
// which the rays integrate for them, nears the limit of integrability at the limb, and the
// Gauss-Jacobi rules of (1 - x)^(alpha - 1) and (differentiated in alpha, for mu^alpha ln mu) of
// (1 - x)^alpha near degeneracy. Against the integrals by parts, from rho = 10.5 to 1000, the rays'
// derivatives in u and rho agree within 1.2e-15 of A/rho from alpha = 0.01 to 0.45 (as for
// alpha >= 1/2), and the derivative in alpha within 1.3e-14 of A; but that moves by 5e-13 of A
// across the angle rules' switches at alpha = 1e-3.
constexpr double smallest_ray_exponent = 0.01;

// mu^alpha with its derivatives and mu^alpha ln mu by the rays from a lens inside a large source
// (large_source_slopes.hpp).
void SharedPowerTerms::keep_large_by_rays(double u, double a, RaysValue* value) noexcept {
  const UniformDiskGradient disk = uniform_disk_gradient(u, a);
  const double uniform_excess = disk.magnification - 1;
  double power_logarithm = 0;
  const LargeTermSlopes power = large_source_power_slopes(u, a, rules_.ray_slope_rules(alpha_),
                                                          uniform_excess, &power_logarithm, value);
  terms_ = {{{uniform_excess, disk.d_u, disk.d_rho},
             {power.excess, power.d_u, power.d_rho},
             {power_logarithm, 0, 0}}};
  keep(u, a);
}

bool SharedPowerTerms::large_by_rays(double u, double a) const noexcept {
  return a > largest_radius_by_lines && singular_rays_serve(u, a) && alpha_ >= smallest_ray_exponent;
}

// Where the derivatives come by the rays and the value takes the Gauss-Jacobi rules of mu^alpha
// (alpha not an integer), the value's rays from the same pass.
double SharedPowerTerms::large_rays_excess(double u, double rho, const RaysBrightness& brightness) noexcept {
  if (!large_by_rays(u, rho) || alpha_ == std::floor(alpha_)) return std::numeric_limits<double>::quiet_NaN();
  RaysValue value{brightness.edge, brightness.slope, brightness.curvature, brightness.coefficient,
                  &rules_.ray_rules(alpha_)};
  keep_large_by_rays(u, rho, &value);
  return value.excess;
}

const std::array<TermIntegral, 3>* SharedPowerTerms::terms_at(double u, double a) noexcept {
  if (kept_at(u, a)) return &terms_;
  if (large_and_by_lines(u, a)) {
    large_outside_excesses(u, a);
  } else if (large_by_rays(u, a)) {
    keep_large_by_rays(u, a);
  } else if (by_lines(u, a, alpha_ >= 2)) {
    near_terms(u, a);
  } else {
    return nullptr;
  }
  return &terms_;
}

}  // namespace obrivane::models
