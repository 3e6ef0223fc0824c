// Each law is a sum of terms coefficient * mu^p (p = 0, 1/2, 1, 2, alpha) or mu ln mu, and its
// magnification the sum of the terms' integrals over its flux. Clear of the lens by four radii
// that is the mean-value series with the law's moments. Closer in, the uniform disk comes from its
// cancellation-free form and every other term from integrals along lines through the lens
// (mu_weighted_disk.hpp for mu, power_weighted_disk.hpp for the rest), for sources up to
// largest_radius_by_lines; for larger sources the excess A - 1 of the whole law comes directly
// from rays through the lens (large_source.hpp).
#include "models/brightness_laws.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>

#include "models/large_source.hpp"
#include "models/large_source_lines.hpp"
#include "models/law_far.hpp"
#include "models/mu_weighted_disk.hpp"
#include "models/power_weighted_disk.hpp"
#include "models/power_weighted_lines.hpp"
#include "models/source_radius.hpp"
#include "models/uniform_disk.hpp"
#include "models/uniform_disk_far.hpp"

namespace obrivane::models {
namespace {

constexpr double quiet_nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

constexpr LawMoments uniform_moments = power_moments(0);
constexpr LawMoments root_moments = power_moments(0.5);
constexpr LawMoments mu_moments = power_moments(1);
constexpr LawMoments square_moments = power_moments(2);
constexpr LawMoments log_moments = logarithm_moments();

// A law as the driver sees it: its moments, the far series' scale (sum of the terms' |flux| over
// the law's flux), and whether the brightness is nowhere negative (then the magnification, a
// mean of the point-lens magnification, is at least 1, and rounding must not take it below).
struct LawSummary {
  LawMoments moments;
  FarWeights far;
  double scale;
  bool non_negative;
};

template <std::size_t N>
LawSummary summarise(const std::array<double, N>& coefficients, const std::array<const LawMoments*, N>& terms,
                     bool non_negative) noexcept {
  LawSummary law{combined_moments(coefficients, terms), {}, 0, non_negative};
  law.far = far_weights(law.moments);
  double total = 0;
  for (std::size_t j = 0; j < N; ++j) total += std::fabs(coefficients[j] * (*terms[j])[0]);
  law.scale = std::max(1.0, total / std::fabs(law.moments[0]));
  return law;
}

// The summary of the law last evaluated on this thread, by its coefficients: a light curve
// evaluates many separations with one law, and summarising it (fourteen moments, the series'
// weights, the flux) costs about as much as a point far from the source. The summary depends on
// the coefficients alone (compared bit for bit), so keeping it changes no result.
template <std::size_t Inputs>
class LastSummary {
 public:
  // The summary of `inputs`, made by `make()` unless it is the last one's.
  template <class Make>
  const LawSummary& of(const std::array<double, Inputs>& inputs, Make&& make) noexcept {
    if (!(valid_ && same_bits(inputs, inputs_))) {
      law_ = make();
      inputs_ = inputs;
      valid_ = true;
    }
    return law_;
  }

 private:
  static bool same_bits(const std::array<double, Inputs>& left,
                        const std::array<double, Inputs>& right) noexcept {
    for (std::size_t i = 0; i < Inputs; ++i) {
      if (std::bit_cast<std::uint64_t>(left[i]) != std::bit_cast<std::uint64_t>(right[i])) return false;
    }
    return true;
  }

  std::array<double, Inputs> inputs_{};
  LawSummary law_{};
  bool valid_ = false;
};

bool all_finite(std::initializer_list<double> values) noexcept {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// `near(u, a)` gives the magnification times the flux for a source within four radii, up to
// largest_radius_by_lines; beyond it `large(u, rho)` gives the excess times the flux
// (large_source.hpp). Far from the source the series' parts go to `far_kept` unless that is null.
template <class Near, class Large>
double law_magnification(double u, double rho, const LawSummary& law, FarSeries* far_kept, Near&& near,
                         const Large& large) noexcept {
  if (!(u >= 0) || !(rho > 0) || !(rho < infinity)) return quiet_nan;
  if (!std::isfinite(law.moments[0])) return quiet_nan;
  if (u == infinity || rho > indistinguishable_source_radius) return 1;
  const auto bounded = [&law](double magnification) {
    return law.non_negative ? at_least_one(magnification) : magnification;
  };
  if (rho <= far_disk_ratio * u) {
    // An overflowing separation: the point-lens magnification is 1 to all digits there.
    if (!std::isfinite(u)) return 1;
    if (u < small_separation_scale) {
      const double rescaled = law_magnification_far(small_separation_scale,
                                                    small_separation_scale * (rho / u), law.far, law.scale);
      return (rescaled * small_separation_scale) / u;
    }
    return bounded(law_magnification_far(u, rho, law.far, law.scale, far_kept));
  }
  if (rho > largest_radius_by_lines) {
    return bounded(1 + large(u, rho) / law.moments[0]);
  }
  if (rho < small_source_scale) {
    return ((near((u / rho) * small_source_scale, small_source_scale) / law.moments[0]) *
            small_source_scale) /
           rho;
  }
  return bounded(near(u, rho) / law.moments[0]);
}

// The smallest of a brightness over its end values and an interior extremum (ignored outside
// the range of its variable) is not negative.
bool not_negative(double at_limb, double at_centre, double interior, bool interior_inside) noexcept {
  return at_limb >= 0 && at_centre >= 0 && (!interior_inside || interior >= 0);
}

double uniform_excess(double u, double rho) noexcept {
  return uniform_disk_magnification_accurate(u, rho) - 1;
}

// The terms mu^p other than the uniform and mu-weighted disks, by lines through the lens.
double power_term(double u, double a, double p, const PowerChordRules& chords) noexcept {
  return power_weighted_disk_integral(u, a, p, chords);
}

const PowerChordRules& square_chords() noexcept {
  static const PowerChordRules rules(2);
  return rules;
}

const PowerChordRules& root_chords() noexcept {
  static const PowerChordRules rules(0.5);
  return rules;
}

}  // namespace

double point_source_magnification(double u) noexcept {
  if (!(u >= 0)) return quiet_nan;
  if (u >= 1) {
    // In 1/u, so that no square overflows: (1 + 2 v^2)/sqrt(1 + 4 v^2).
    const double v = 1 / u;
    const double v_squared = v * v;
    return (1 + 2 * v_squared) / std::sqrt(1 + 4 * v_squared);
  }
  const double u_squared = u * u;
  return (u_squared + 2) / (u * std::sqrt(u_squared + 4));
}

double uniform_law_magnification(double u, double rho) noexcept {
  return uniform_law_magnification_from(u, rho, nullptr);
}

double uniform_law_magnification_from(double u, double rho, FarSeries* far_kept) noexcept {
  static constexpr LawSummary uniform{uniform_moments, far_weights(uniform_moments), 1, true};
  return law_magnification(
      u, rho, uniform, far_kept,
      [](double u_near, double a) { return uniform_disk_magnification_accurate(u_near, a); },
      [](double u_large, double rho_large) {
        return large_source_excess(u_large, rho_large, LimbProfile::constant, [](double) { return 1.0; });
      });
}

namespace {

// The near integrals as the value functions compute them, the third term's by `third` (none
// for a null one). Outside a large source the third term's excess by `third_excess`, or with mu's
// from one pass by `mu_and_third_excess`.
class OwnNearTerms final : public NearTermValues {
 public:
  using Term = double (*)(double u, double a) noexcept;
  using Terms = PowerAndLogarithm (*)(double u, double a) noexcept;

  OwnNearTerms(Term third, Term third_excess, Terms mu_and_third_excess = nullptr) noexcept
      : third_(third), third_excess_(third_excess), mu_and_third_excess_(mu_and_third_excess) {}

  std::array<double, 3> near_terms(double u, double a) noexcept override {
    return {uniform_disk_magnification_accurate(u, a), mu_weighted_disk_magnification(u, a),
            third_ != nullptr ? third_(u, a) : 0.0};
  }

  std::array<double, 3> large_outside_excesses(double u, double rho) noexcept override {
    if (mu_and_third_excess_ != nullptr) {
      const PowerAndLogarithm both = mu_and_third_excess_(u, rho);
      return {uniform_excess(u, rho), both.power, both.logarithm};
    }
    return {uniform_excess(u, rho), mu_weighted_disk_excess_outside(u, rho),
            third_excess_ != nullptr ? third_excess_(u, rho) : 0.0};
  }

 private:
  Term third_;
  Term third_excess_;
  Terms mu_and_third_excess_;
};

double square_term(double u, double a) noexcept { return power_term(u, a, 2, square_chords()); }
double root_term(double u, double a) noexcept { return power_term(u, a, 0.5, root_chords()); }
double square_excess(double u, double rho) noexcept {
  return power_weighted_disk_excess_outside(u, rho, square_chords());
}
double root_excess(double u, double rho) noexcept {
  return power_weighted_disk_excess_outside(u, rho, root_chords());
}

}  // namespace

double linear_law_magnification(double u, double rho, double u1) noexcept {
  OwnNearTerms terms(nullptr, nullptr);
  return linear_law_magnification_from(u, rho, u1, terms);
}

double linear_law_magnification_from(double u, double rho, double u1, NearTermValues& terms) noexcept {
  if (!all_finite({u1})) return quiet_nan;
  const double edge = 1 - u1;
  thread_local LastSummary<1> last;
  const LawSummary& law =
      last.of({u1}, [&] { return summarise<2>({edge, u1}, {&uniform_moments, &mu_moments}, edge >= 0); });
  return law_magnification(
      u, rho, law, terms.far_series(),
      [edge, u1, &terms](double u_near, double a) {
        const std::array<double, 3> near = terms.near_terms(u_near, a);
        return edge * near[0] + (u1 * (2.0 / 3)) * near[1];
      },
      [edge, u1, &terms](double u_large, double rho_large) {
        if (large_source_by_lines(u_large, rho_large)) {
          const std::array<double, 3> excess = terms.large_outside_excesses(u_large, rho_large);
          return edge * excess[0] + u1 * excess[1];
        }
        const double shared = terms.large_rays_excess(u_large, rho_large, {edge, u1, 0.0, 0.0});
        if (!std::isnan(shared)) return shared;
        return large_source_excess(u_large, rho_large, LimbProfile::polynomial,
                                   [edge, u1](double mu) { return edge + u1 * mu; });
      });
}

double quadratic_law_magnification(double u, double rho, double a, double b) noexcept {
  OwnNearTerms terms(square_term, square_excess);
  return quadratic_law_magnification_from(u, rho, a, b, terms);
}

double quadratic_law_magnification_from(double u, double rho, double a, double b,
                                        NearTermValues& terms) noexcept {
  if (!all_finite({a, b})) return quiet_nan;
  // I = (1 - a - b) + (a + 2b) mu - b mu^2; in t = 1 - mu, 1 - a t - b t^2 has its minimum at
  // t = -a/(2b) when b < 0.
  const double edge = 1 - a - b;
  thread_local LastSummary<2> last;
  const LawSummary& law = last.of({a, b}, [&] {
    const double vertex = -a / (2 * b);
    const bool non_negative = not_negative(edge, 1, 1 - a * vertex * 0.5, b < 0 && vertex > 0 && vertex < 1);
    return summarise<3>({edge, a + 2 * b, -b}, {&uniform_moments, &mu_moments, &square_moments},
                        non_negative);
  });
  return law_magnification(
      u, rho, law, terms.far_series(),
      [edge, a, b, &terms](double u_near, double radius) {
        const std::array<double, 3> near = terms.near_terms(u_near, radius);
        return (edge * near[0] + ((a + 2 * b) * (2.0 / 3)) * near[1]) - b * near[2];
      },
      [edge, a, b, &terms](double u_large, double rho_large) {
        if (large_source_by_lines(u_large, rho_large)) {
          const std::array<double, 3> excess = terms.large_outside_excesses(u_large, rho_large);
          return (edge * excess[0] + (a + 2 * b) * excess[1]) - b * excess[2];
        }
        const double shared = terms.large_rays_excess(u_large, rho_large, {edge, a + 2 * b, b, 0.0});
        if (!std::isnan(shared)) return shared;
        return large_source_excess(u_large, rho_large, LimbProfile::polynomial,
                                   [edge, a, b](double mu) { return edge + ((a + 2 * b) - b * mu) * mu; });
      });
}

double square_root_law_magnification(double u, double rho, double c, double d) noexcept {
  OwnNearTerms terms(root_term, root_excess);
  return square_root_law_magnification_from(u, rho, c, d, terms);
}

double square_root_law_magnification_from(double u, double rho, double c, double d,
                                          NearTermValues& terms) noexcept {
  if (!all_finite({c, d})) return quiet_nan;
  // I = (1 - c - d) + c q^2 + d q with q = sqrt(mu); when c > 0 its minimum over q lies at
  // q = -d/(2c).
  const double edge = 1 - c - d;
  thread_local LastSummary<2> last;
  const LawSummary& law = last.of({c, d}, [&] {
    const double vertex = -d / (2 * c);
    const bool non_negative =
        not_negative(edge, 1, edge + vertex * (d + c * vertex), c > 0 && vertex > 0 && vertex < 1);
    return summarise<3>({edge, c, d}, {&uniform_moments, &mu_moments, &root_moments}, non_negative);
  });
  return law_magnification(
      u, rho, law, terms.far_series(),
      [edge, c, d, &terms](double u_near, double radius) {
        const std::array<double, 3> near = terms.near_terms(u_near, radius);
        return (edge * near[0] + (c * (2.0 / 3)) * near[1]) + d * near[2];
      },
      [edge, c, d, &terms](double u_large, double rho_large) {
        if (large_source_by_lines(u_large, rho_large)) {
          const std::array<double, 3> excess = terms.large_outside_excesses(u_large, rho_large);
          return (edge * excess[0] + c * excess[1]) + d * excess[2];
        }
        // sqrt(mu) by the Gauss-Jacobi rules of its limb singularity, the rest as a polynomial.
        const double shared = terms.large_rays_excess(u_large, rho_large, {edge, c, 0.0, d});
        if (!std::isnan(shared)) return shared;
        return large_source_excess(
            u_large, rho_large, [edge, c, d](double mu) { return edge + c * mu + d * std::sqrt(mu); },
            [edge, c](double mu) { return edge + c * mu; }, LimbProfile::polynomial,
            LimbPowerTerm{d, &root_ray_rules()});
      });
}

double logarithmic_law_magnification(double u, double rho, double e, double f) noexcept {
  OwnNearTerms terms(log_weighted_disk_integral, nullptr, mu_and_log_weighted_disk_excess_outside);
  return logarithmic_law_magnification_from(u, rho, e, f, terms);
}

double logarithmic_law_magnification_from(double u, double rho, double e, double f,
                                          NearTermValues& terms) noexcept {
  if (!all_finite({e, f})) return quiet_nan;
  // I = 1 - e (1 - mu) - f mu ln mu; for f < 0 it is convex with its minimum where
  // e - f (ln mu + 1) = 0, mu = exp(e/f - 1), worth 1 - e + f mu there.
  const double edge = 1 - e;
  thread_local LastSummary<2> last;
  const LawSummary& law = last.of({e, f}, [&] {
    const double lowest_mu = std::exp(e / f - 1);
    const bool non_negative = not_negative(edge, 1, edge + f * lowest_mu, f < 0 && lowest_mu < 1);
    return summarise<3>({edge, e, -f}, {&uniform_moments, &mu_moments, &log_moments}, non_negative);
  });
  return law_magnification(
      u, rho, law, terms.far_series(),
      [edge, e, f, &terms](double u_near, double radius) {
        const std::array<double, 3> near = terms.near_terms(u_near, radius);
        return (edge * near[0] + (e * (2.0 / 3)) * near[1]) - f * near[2];
      },
      [edge, e, f, &terms](double u_large, double rho_large) {
        if (large_source_by_lines(u_large, rho_large)) {
          const std::array<double, 3> excess = terms.large_outside_excesses(u_large, rho_large);
          return (edge * excess[0] + e * excess[1]) - f * excess[2];
        }
        // mu ln mu (-> 0 at the limb) by the rules of its logarithmic singularity, the rest as a
        // polynomial.
        const double shared = terms.large_rays_excess(u_large, rho_large, {edge, e, 0.0, -f});
        if (!std::isnan(shared)) return shared;
        return large_source_excess(
            u_large, rho_large,
            [edge, e, f](double mu) { return edge + (e - (mu > 0 ? f * std::log(mu) : 0.0)) * mu; },
            [edge, e](double mu) { return edge + e * mu; }, LimbProfile::polynomial, LimbLogarithmTerm{-f});
      });
}

const PowerLawRules::Exponent& PowerLawRules::rules(double alpha) noexcept {
  for (std::size_t i = 0; i < used_; ++i) {
    if (exponents_[i].alpha == alpha) return exponents_[i];
  }
  lower_.made[next_] = false;
  slopes_.made[next_] = false;
  rays_.made[next_] = false;
  ray_slopes_.made[next_] = false;
  Exponent& slot = exponents_[next_];
  next_ = (next_ + 1) % slots;
  used_ = std::min(used_ + 1, slots);
  slot.alpha = alpha;
  slot.moments = power_moments(alpha);
  slot.logarithm_moments = power_logarithm_moments(slot.moments, alpha);
  slot.chords = PowerChordRules(alpha);
  return slot;
}

template <class Rules, class Make>
const Rules& PowerLawRules::made_on_use(MadeOnUse<Rules>& kept, double alpha, const Make& make) noexcept {
  const Exponent& exponent = rules(alpha);
  const auto slot = static_cast<std::size_t>(&exponent - exponents_.data());
  if (!kept.made[slot]) {
    kept.rules[slot] = make(exponent);
    kept.made[slot] = true;
  }
  return kept.rules[slot];
}

const PowerChordRules& PowerLawRules::lower_rules(double alpha) noexcept {
  return made_on_use(lower_, alpha, [alpha](const Exponent&) { return PowerChordRules(alpha - 2); });
}

const PowerChordSlopes& PowerLawRules::exponent_slopes(double alpha) noexcept {
  return made_on_use(slopes_, alpha,
                     [alpha](const Exponent& exponent) { return PowerChordSlopes(alpha, exponent.chords); });
}

const large_source::PowerRayRules& PowerLawRules::ray_rules(double alpha) noexcept {
  return made_on_use(rays_, alpha, [alpha](const Exponent&) { return large_source::PowerRayRules(alpha); });
}

const large_source::PowerRaySlopeRules& PowerLawRules::ray_slope_rules(double alpha) noexcept {
  return made_on_use(ray_slopes_, alpha,
                     [alpha](const Exponent&) { return large_source::PowerRaySlopeRules(alpha); });
}

namespace {

// The power-2 law's near integrals as its value function computes them: the uniform disk and
// T_p of mu^alpha.
class OwnPowerTerms final : public NearTermValues {
 public:
  OwnPowerTerms(double alpha, PowerLawRules& rules) noexcept : alpha_(alpha), rules_(rules) {}

  std::array<double, 3> near_terms(double u, double a) noexcept override {
    return {uniform_disk_magnification_accurate(u, a), 0.0,
            power_term(u, a, alpha_, rules_.rules(alpha_).chords)};
  }

  std::array<double, 3> large_outside_excesses(double u, double rho) noexcept override {
    return {uniform_excess(u, rho), 0.0,
            power_weighted_disk_excess_outside(u, rho, rules_.rules(alpha_).chords)};
  }

 private:
  double alpha_;
  PowerLawRules& rules_;
};

}  // namespace

double power2_law_magnification(double u, double rho, double c, double alpha, PowerLawRules& rules) noexcept {
  OwnPowerTerms terms(alpha, rules);
  return power2_law_magnification_from(u, rho, c, alpha, rules, terms);
}

double power2_law_magnification_from(double u, double rho, double c, double alpha, PowerLawRules& rules,
                                     NearTermValues& terms) noexcept {
  if (!all_finite({c, alpha}) || !(alpha >= 0)) return quiet_nan;
  if (alpha == 0) return uniform_law_magnification_from(u, rho, terms.far_series());
  // I = (1 - c) + c mu^alpha, monotonic in mu.
  const double edge = 1 - c;
  const PowerLawRules::Exponent& exponent = rules.rules(alpha);
  thread_local LastSummary<2> last;
  const LawSummary& law = last.of(
      {c, alpha}, [&] { return summarise<2>({edge, c}, {&uniform_moments, &exponent.moments}, edge >= 0); });
  return law_magnification(
      u, rho, law, terms.far_series(),
      [edge, c, &terms](double u_near, double radius) {
        const std::array<double, 3> near = terms.near_terms(u_near, radius);
        return edge * near[0] + c * near[2];
      },
      [edge, c, alpha, &rules, &terms](double u_large, double rho_large) {
        if (large_source_by_lines(u_large, rho_large)) {
          const std::array<double, 3> excess = terms.large_outside_excesses(u_large, rho_large);
          return edge * excess[0] + c * excess[2];
        }
        const auto brightness = [edge, c, alpha](double mu) { return edge + c * std::pow(mu, alpha); };
        // An integer exponent makes mu^alpha a polynomial in mu; any other takes the Gauss-Jacobi
        // rules of its limb singularity.
        if (alpha == std::floor(alpha)) {
          return large_source_excess(u_large, rho_large, LimbProfile::polynomial, brightness);
        }
        const double shared = terms.large_rays_excess(u_large, rho_large, {edge, 0.0, 0.0, c});
        if (!std::isnan(shared)) return shared;
        return large_source_excess(
            u_large, rho_large, brightness, [edge](double) { return edge; }, LimbProfile::constant,
            LimbPowerTerm{c, &rules.ray_rules(alpha)});
      });
}

const large_source::PowerRayRules& root_ray_rules() noexcept {
  static const large_source::PowerRayRules rules(0.5);
  return rules;
}

double linear_law_flux(double u1) noexcept { return 1 - u1 / 3; }

double quadratic_law_flux(double a, double b) noexcept { return 1 - a / 3 - b / 6; }

double square_root_law_flux(double c, double d) noexcept { return 1 - c / 3 - d / 5; }

double logarithmic_law_flux(double e, double f) noexcept { return 1 - e / 3 + 2 * f / 9; }

double power2_law_flux(double c, double alpha) noexcept {
  if (!(alpha >= 0)) return quiet_nan;
  return 1 - c * alpha / (alpha + 2);
}

}  // namespace obrivane::models
