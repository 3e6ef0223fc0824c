// The laws' terms computed once for a value and its derivatives. A gradient first asks the law's
// value function for the magnification, handing it one of these as its NearTermValues
// (brightness_laws.hpp): where the value needs integrals that the derivatives' passes give as well
// (the terms by lines through the lens near the source, by the lines of the excess kernel for a
// large source with the lens well outside, and by the rays of a large source where they are the
// value's), they are computed here with their derivatives and kept, and the gradient then takes
// the terms at the same geometry (terms_at). The numbers handed to the value are its own routines'
// to the bit: the mu-weighted disk's, mu^p's and mu ln mu's from the same routines, the uniform
// disk's from its gradient, whose value is formed by its value routine's operations, mu^alpha's
// from the pass that carries its derivative in alpha beside the same operations, and along the
// rays the value's own rules and sums beside the derivatives'. The tiniest sources, which value
// and gradient rescale differently, and the points that go by parts find nothing kept.
#pragma once

#include <array>

#include "models/brightness_laws.hpp"
#include "models/large_source_rules.hpp"
#include "models/law_far.hpp"
#include "models/law_gradient_terms.hpp"
#include "models/power_weighted_disk.hpp"

namespace obrivane::models {

struct RaysValue;

// Whether the terms take their derivatives by lines through the lens: up to
// largest_radius_by_lines, except, for a term mu^p with p < 2 or mu ln mu (`exact_limb_ok`
// false), with the lens exactly on the limb, where its slopes' angle integrand has an end-point
// singularity the rules do not resolve.
bool by_lines(double u, double a, bool exact_limb_ok) noexcept;

// The term mu^p (flux 2/(p + 2)): its value with the rules of p, its derivatives with those of
// p - 2.
struct PowerTermRules {
  double p;
  PowerChordRules rules;
  PowerChordRules lower_rules;
  // The derivatives' rules along the rays of a large source (the square root's).
  large_source::PowerRaySlopeRules ray_slope_rules;

  explicit PowerTermRules(double exponent) noexcept
      : p(exponent), rules(exponent), lower_rules(exponent - 2), ray_slope_rules(exponent) {}
};

// The quadratic and square-root laws' third terms, made on first use.
const PowerTermRules& square_term() noexcept;
const PowerTermRules& root_term() noexcept;

// What both kinds keep: the terms at the last geometry computed, and the far series' parts.
class KeptNearTerms : public NearTermValues {
 public:
  FarSeries* far_series() noexcept final { return &far_; }

 protected:
  ~KeptNearTerms() = default;
  bool kept_at(double u, double a) const noexcept { return kept_ && u == u_ && a == a_; }
  void keep(double u, double a) noexcept {
    u_ = u;
    a_ = a;
    kept_ = true;
  }

  std::array<TermIntegral, 3> terms_{};

 private:
  bool kept_ = false;
  double u_ = 0;
  double a_ = 0;
  FarSeries far_;
};

// The uniform disk, mu and a third term (mu^p, mu ln mu or none) of the linear, quadratic,
// square-root and logarithmic laws.
class SharedNearTerms final : public KeptNearTerms {
 public:
  // The third term mu^p, or none; `exact_limb_ok` as by_lines.
  SharedNearTerms(const PowerTermRules* third, bool exact_limb_ok) noexcept
      : third_(third), exact_limb_ok_(exact_limb_ok) {}

  // The third term mu ln mu, taken on the limb by parts.
  struct Logarithmic {};
  explicit SharedNearTerms(Logarithmic) noexcept
      : third_(nullptr), logarithmic_(true), exact_limb_ok_(false) {}

  double large_rays_excess(double u, double rho, const RaysBrightness& brightness) noexcept override;
  std::array<double, 3> large_outside_excesses(double u, double rho) noexcept override;
  std::array<double, 3> near_terms(double u, double a) noexcept override;

  // The terms at (u, a): those kept, else computed now by lines (up to largest_radius_by_lines),
  // by the large sources' lines (the lens well outside) or by their rays (the square-root and
  // logarithmic laws' with the lens inside only); null where they go by parts (larger sources
  // otherwise, and on the limb for a third term of p < 2 or mu ln mu).
  const std::array<TermIntegral, 3>* terms_at(double u, double a) noexcept;

 private:
  void keep_large_outside(double u, double a) noexcept;
  // With `value`, the square-root or logarithmic law's value from the same rays (large_rays_excess).
  void keep_large_by_rays(double u, double a, RaysValue* value = nullptr) noexcept;
  // Whether the law's terms are polynomials in mu: the linear law and the quadratic.
  bool polynomial() const noexcept { return !logarithmic_ && (third_ == nullptr || third_->p == 2); }
  double third_value(double u, double a) const noexcept;

  const PowerTermRules* third_;
  bool logarithmic_ = false;
  bool exact_limb_ok_;
  double uniform_excess_ = 0;
};

// The power-2 law's: the uniform disk, mu^alpha with its derivative in alpha (the weight-0 term
// mu^alpha ln mu, power_logarithm_weighted_disk.hpp), by lines through the lens (on the limb only
// for alpha >= 2) and, for large sources with the lens well outside, by the lines of the excess
// kernel.
class SharedPowerTerms final : public KeptNearTerms {
 public:
  SharedPowerTerms(double alpha, PowerLawRules& rules) noexcept : alpha_(alpha), rules_(rules) {}

  std::array<double, 3> large_outside_excesses(double u, double rho) noexcept override;
  std::array<double, 3> near_terms(double u, double a) noexcept override;
  double large_rays_excess(double u, double rho, const RaysBrightness& brightness) noexcept override;

  // The terms at (u, a), kept or computed now; null where they go by parts.
  const std::array<TermIntegral, 3>* terms_at(double u, double a) noexcept;

 private:
  // With `value`, the value's excess from the same rays (large_rays_excess).
  void keep_large_by_rays(double u, double a, RaysValue* value = nullptr) noexcept;
  bool large_by_rays(double u, double a) const noexcept;

  double alpha_;
  PowerLawRules& rules_;
};

}  // namespace obrivane::models
