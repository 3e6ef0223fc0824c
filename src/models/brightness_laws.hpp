// Magnification of a circular source by a point-mass lens for the usual limb-darkening laws,
// separations u and source radii rho in Einstein radii. Each law is a brightness I(mu),
// mu = sqrt(1 - x^2) at the distance x from the centre in source radii, and the magnification is
// the I-weighted mean of the point-lens magnification over the source.
//
// Every function is pure and allocates nothing. Geometry without a value (u < 0, NaN u,
// rho <= 0, NaN or infinite rho) gives NaN, as does a NaN coefficient; u = +inf gives 1.
// Coefficients are not checked: a law whose flux (below) is not positive describes no source,
// and its magnification is whatever the integral gives.
#pragma once

#include <array>
#include <cstddef>
#include <limits>

#include "models/disk_mean_value_series.hpp"
#include "models/large_source_rules.hpp"
#include "models/law_far.hpp"
#include "models/power_logarithm_weighted_disk.hpp"
#include "models/power_weighted_disk.hpp"

namespace obrivane::models {

// (u^2 + 2)/(u sqrt(u^2 + 4)); +inf at u = 0.
double point_source_magnification(double u) noexcept;

// I = 1.
double uniform_law_magnification(double u, double rho) noexcept;
// The same, with the far series' parts into `far_kept` (law_far.hpp) for a caller that goes on to
// the derivatives.
double uniform_law_magnification_from(double u, double rho, FarSeries* far_kept) noexcept;

// I = 1 - u1 (1 - mu).
double linear_law_magnification(double u, double rho, double u1) noexcept;

// I = 1 - a (1 - mu) - b (1 - mu)^2.
double quadratic_law_magnification(double u, double rho, double a, double b) noexcept;

// I = 1 - c (1 - mu) - d (1 - sqrt(mu)).
double square_root_law_magnification(double u, double rho, double c, double d) noexcept;

// The integrals a law combines near the source (u within four radii, 0 < a <= 10, or the tiniest
// sizes rescaled): the uniform disk's magnification, the mu-weighted disk's, and the law's third
// term's integral (power_weighted_disk.hpp): T_p of mu^2 for the quadratic law and of sqrt(mu) for
// the square-root one, that of mu ln mu for the logarithmic one (0 for the linear law). A caller
// that computes them anyway, with their derivatives, passes them to the value functions below;
// they must be the very numbers those functions compute (uniform_disk_magnification_accurate,
// mu_weighted_disk_magnification, power_weighted_disk_integral, log_weighted_disk_integral), so
// that the value is the same to the last bit. The power-2 law asks for the same with T_p of mu^alpha
// as the third term, and leaves the second unused (a caller may give 0 there). Far from the source,
// a caller that goes on to the derivatives may keep the series' parts (law_far.hpp) where
// far_series points.
class NearTermValues {
 public:
  virtual std::array<double, 3> near_terms(double u, double a) noexcept = 0;
  // For a source beyond largest_radius_by_lines with the lens well outside it (large_source_lines.hpp):
  // the uniform disk's excess uniform_disk_magnification_accurate - 1 and the terms' weighted
  // excesses, power_weighted_disk_excess_outside of mu and of the third term (of mu^alpha for the
  // power-2 law), and mu with mu ln mu from mu_and_log_weighted_disk_excess_outside.
  virtual std::array<double, 3> large_outside_excesses(double u, double rho) noexcept = 0;
  // For a large source, where the derivatives' rays give the value's too: F (A - 1) as
  // large_source_excess gives it, or NaN where they do not (the value then computes it). The
  // brightness is edge + (slope - curvature mu) mu + coefficient T(mu), its analytic part as the
  // law's value function writes it (curvature 0 but for the quadratic law: edge + slope mu is the
  // same number) and T = sqrt(mu), mu ln mu or mu^alpha the singular term of the square-root,
  // logarithmic and power-2 laws (coefficient 0 for the others).
  struct RaysBrightness {
    double edge, slope, curvature, coefficient;
  };
  virtual double large_rays_excess(double, double, const RaysBrightness&) noexcept {
    return std::numeric_limits<double>::quiet_NaN();
  }
  virtual FarSeries* far_series() noexcept { return nullptr; }

 protected:
  ~NearTermValues() = default;
};

// I = 1 - e (1 - mu) - f mu ln mu.
double logarithmic_law_magnification(double u, double rho, double e, double f) noexcept;

// The four laws above with their near integrals from `terms`.
double linear_law_magnification_from(double u, double rho, double u1, NearTermValues& terms) noexcept;
double quadratic_law_magnification_from(double u, double rho, double a, double b,
                                        NearTermValues& terms) noexcept;
double square_root_law_magnification_from(double u, double rho, double c, double d,
                                          NearTermValues& terms) noexcept;
double logarithmic_law_magnification_from(double u, double rho, double e, double f,
                                          NearTermValues& terms) noexcept;

// The rules of the square-root law's term sqrt(mu) along the rays of a large source, made on first
// use, the value's and (where its gradient forms the value along its own rays) the gradient's.
const large_source::PowerRayRules& root_ray_rules() noexcept;

// What the power-2 law needs for one exponent: the Gauss rules of the chord weight
// (1 - s^2)^(alpha/2) and of the outside angle weight (1 - t^2)^((alpha+1)/2)
// (power_weighted_disk.hpp), and the far-field moments of mu^alpha, computed on first use of each
// exponent (about 1 ms) and kept for the four most recent distinct ones (a light curve evaluates
// many separations with one alpha), with the derivatives' and large sources' rules made on their
// first use. Fixed-size storage (about 31 kB), no allocation. One cache
// per thread of work; not thread-safe.
class PowerLawRules {
 public:
  struct Exponent {
    double alpha;
    // Moment k = 0 .. disk_mean_value_terms of mu^alpha: integral_0^1 2 x^(2k+1) mu^alpha dx.
    std::array<double, disk_mean_value_terms + 1> moments;
    // Those of mu^alpha ln mu, their derivatives in alpha.
    std::array<double, disk_mean_value_terms + 1> logarithm_moments;
    PowerChordRules chords;
  };

  // The rules of alpha >= 0.
  const Exponent& rules(double alpha) noexcept;

  // PowerChordRules(alpha - 2), for the derivatives of the term mu^alpha (alpha > 0), made on first
  // use for each exponent kept.
  const PowerChordRules& lower_rules(double alpha) noexcept;

  // The slopes in alpha of rules(alpha).chords, for the derivative in alpha of the term mu^alpha
  // (alpha > 0), made on first use for each exponent kept.
  const PowerChordSlopes& exponent_slopes(double alpha) noexcept;

  // The ray rules of mu^alpha for sources larger than largest_radius_by_lines
  // (large_source_rules.hpp), made on first use for each exponent kept.
  const large_source::PowerRayRules& ray_rules(double alpha) noexcept;
  // Their derivatives' rules (large_source_slopes.hpp), made on first use for each exponent kept.
  const large_source::PowerRaySlopeRules& ray_slope_rules(double alpha) noexcept;

 private:
  static constexpr std::size_t slots = 4;

  // Rules made on first use for each exponent's slot, and forgotten when the slot is reused.
  template <class Rules>
  struct MadeOnUse {
    std::array<Rules, slots> rules{};
    std::array<bool, slots> made{};
  };

  // The rules of `kept` for alpha, made by make(alpha) if its slot has none.
  template <class Rules, class Make>
  const Rules& made_on_use(MadeOnUse<Rules>& kept, double alpha, const Make& make) noexcept;

  std::array<Exponent, slots> exponents_{};
  MadeOnUse<PowerChordRules> lower_;
  MadeOnUse<PowerChordSlopes> slopes_;
  MadeOnUse<large_source::PowerRayRules> rays_;
  MadeOnUse<large_source::PowerRaySlopeRules> ray_slopes_;
  std::size_t used_ = 0;
  std::size_t next_ = 0;
};

// I = 1 - c (1 - mu^alpha); NaN for alpha < 0 or NaN alpha.
double power2_law_magnification(double u, double rho, double c, double alpha, PowerLawRules& rules) noexcept;
// The same, with its near integrals from `terms`.
double power2_law_magnification_from(double u, double rho, double c, double alpha, PowerLawRules& rules,
                                     NearTermValues& terms) noexcept;

// Total flux of each law relative to the uniform disk's: integral_0^1 2 x I dx.
double linear_law_flux(double u1) noexcept;
double quadratic_law_flux(double a, double b) noexcept;
double square_root_law_flux(double c, double d) noexcept;
double logarithmic_law_flux(double e, double f) noexcept;
double power2_law_flux(double c, double alpha) noexcept;

}  // namespace obrivane::models
