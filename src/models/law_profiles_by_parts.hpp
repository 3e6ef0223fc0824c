// The integrals of profile terms P_k(mu) (P_k(0) = 0) times the point-lens magnification over a
// source of radius a at u from the lens, with their derivatives in u and a, by parts over the
// radius as in law_by_parts.hpp: with A_disk(u, r) the mean over the concentric disk of radius r,
//   M_k = integral_0^1 (1 - mu^2) J_k(mu) A_disk(u, a sqrt(1 - mu^2)) dmu,  J_k = dP_k/dmu,
// and, differentiated under the integral sign (r = a sqrt(1 - mu^2), dr/da = sqrt(1 - mu^2)),
//   dM_k/du = integral (1 - mu^2) J_k dA_disk/du dmu,
//   dM_k/da = integral (1 - mu^2)^(3/2) J_k dA_disk/dr dmu,
// with A_disk and its derivatives from uniform_disk_gradient. Each term is returned as its excess
// over B = 1, X_k = M_k - f_k, the same integral of A_disk - 1 (f_k = integral (1 - mu^2) J_k dmu).
//
// A law hands its terms over in a variable v of its choosing, mu = mu(v) increasing on [0, 1], as
// mu and the slopes J_k dmu/dv, finite at v = 0. The derivatives of A_disk diverge as ln|r - u|
// where the rim of the concentric disk passes the lens: the interval is split there, and the
// double-exponential rule (all seven levels of numeric/integrate.hpp's table, the weight missing
// at the ends added back from the end values) takes the end-point singularities in its stride.
// One rule serves every term and all three integrals, so A_disk is differentiated once per node.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "models/law_gradient_terms.hpp"
#include "models/uniform_disk_gradient.hpp"
#include "numeric/integrate.hpp"
#include "numeric/tanh_sinh_table.hpp"

namespace obrivane::models {

template <std::size_t Profiles>
struct ProfilePoint {
  double mu;
  std::array<double, Profiles> slopes;  // J_k dmu/dv
};

namespace detail {

// The integrand's three values per term at v; a non-finite value (an infinite derivative where a
// node rounds onto the lens ring, or the disk of radius 0 at mu = 1) counts as 0, as in the rule.
template <std::size_t Profiles, class Point>
std::array<double, 3 * Profiles> profile_integrands(double u, double a, double v, Point& point) noexcept {
  const ProfilePoint<Profiles> at = point(v);
  const double one_minus_mu_squared = (1 - at.mu) * (1 + at.mu);
  const double sine = std::sqrt(one_minus_mu_squared);
  const UniformDiskGradient disk = uniform_disk_gradient(u, a * sine);
  const double excess = disk.magnification - 1;
  std::array<double, 3 * Profiles> values{};
  for (std::size_t k = 0; k < Profiles; ++k) {
    const double weight = one_minus_mu_squared * at.slopes[k];
    const std::array<double, 3> term{weight * excess, weight * disk.d_u, (weight * sine) * disk.d_rho};
    for (std::size_t j = 0; j < 3; ++j) values[3 * k + j] = std::isfinite(term[j]) ? term[j] : 0.0;
  }
  return values;
}

// The double-exponential rule over [lower, upper], every level, each of the integrands.
template <std::size_t Profiles, class Point>
std::array<double, 3 * Profiles> integrate_profiles(double u, double a, double lower, double upper,
                                                    Point& point) noexcept {
  constexpr std::size_t count = 3 * Profiles;
  const double half_width = (upper - lower) * 0.5;
  const double midpoint = (lower + upper) * 0.5;
  std::array<double, count> estimate = profile_integrands<Profiles>(u, a, midpoint, point);
  for (double& value : estimate) value = std::numbers::pi * value;
  for (std::size_t level = 0; level < numeric::tanh_sinh_levels; ++level) {
    std::array<double, count> sum{};
    for (std::size_t i = numeric::tanh_sinh_level_offsets[level];
         i < numeric::tanh_sinh_level_offsets[level + 1]; ++i) {
      const numeric::TanhSinhNode& node = numeric::tanh_sinh_nodes[i];
      const auto right = profile_integrands<Profiles>(u, a, midpoint + half_width * node.abscissa, point);
      const auto left = profile_integrands<Profiles>(u, a, midpoint - half_width * node.abscissa, point);
      for (std::size_t j = 0; j < count; ++j) sum[j] = sum[j] + node.weight * (right[j] + left[j]);
    }
    for (std::size_t j = 0; j < count; ++j) estimate[j] = estimate[j] * 0.5 + sum[j];
  }
  // The rule's points stop short of the ends; the weight they leave out, from the end values.
  const double missing = 2.0 - numeric::tanh_sinh_weight_sums[numeric::tanh_sinh_levels - 1];
  const auto at_lower = profile_integrands<Profiles>(u, a, lower, point);
  const auto at_upper = profile_integrands<Profiles>(u, a, upper, point);
  std::array<double, count> integral{};
  for (std::size_t j = 0; j < count; ++j) {
    integral[j] =
        half_width * estimate[j] + ((upper - lower) * 0.25) * (missing * (at_lower[j] + at_upper[j]));
  }
  return integral;
}

}  // namespace detail

// X_k and its derivatives for each term, for a source of radius a at u (0 <= u, a > 0); `split_v`
// is v where the rim passes the lens when 0 < u < a (ignored otherwise).
template <std::size_t Profiles, class Point>
std::array<TermIntegral, Profiles> profile_integrals_by_parts(double u, double a, double split_v,
                                                              Point&& point) noexcept {
  std::array<double, 3 * Profiles> sums{};
  if (u > 0 && u < a && split_v > 0 && split_v < 1) {
    const auto inner = detail::integrate_profiles<Profiles>(u, a, 0.0, split_v, point);
    const auto outer = detail::integrate_profiles<Profiles>(u, a, split_v, 1.0, point);
    for (std::size_t j = 0; j < sums.size(); ++j) sums[j] = inner[j] + outer[j];
  } else {
    sums = detail::integrate_profiles<Profiles>(u, a, 0.0, 1.0, point);
  }
  std::array<TermIntegral, Profiles> terms{};
  for (std::size_t k = 0; k < Profiles; ++k) terms[k] = {sums[3 * k], sums[3 * k + 1], sums[3 * k + 2]};
  return terms;
}

}  // namespace obrivane::models
