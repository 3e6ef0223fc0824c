// The integrals of profile terms P_k(mu) (P_k(0) = 0) times the point-lens magnification over a
// source of radius a at u from the lens, with their derivatives in u and a, by parts over the
// radius: with A_disk(u, r) the mean over the concentric disk of radius r,
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
//
// Beside the split the derivatives follow ln|r - u|, and r - u formed as a difference of r and u
// carries an error of epsilon u: near the limb (u close to a, the split at small mu) the nodes
// crowd into a stretch of width |a - u| where that error is large, and the integrals lost digits
// as epsilon sqrt(a / |a - u|). So the distance is formed from the node's offset to the split,
// known exactly from the rule (its complement 1 - x computed from t, not from the rounded
// abscissa): with the law's mu - mu(v_s) at the node,
//   u^2 - r^2 = a^2 (mu - mu_s)(mu + mu_s) + (a^2 mu_s^2 - (a - u)(a + u)),
// the bracket the rounding of the split, of order epsilon a |a - u|; off the split, and outside
// (u >= a, where it is a sum of positive terms), u^2 - r^2 = a^2 mu^2 - (a - u)(a + u). The rule's
// missing weight at the split end (a relative 4e-14 of the interval) takes the integrand at the
// mean of a logarithm over it, at 1/e of its width.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>

#include "models/law_gradient_terms.hpp"
#include "models/uniform_disk_gradient.hpp"
#include "numeric/integrate.hpp"
#include "numeric/tanh_sinh_table.hpp"

namespace obrivane::models {

template <std::size_t Profiles>
struct ProfilePoint {
  double mu;
  double mu_from_split;                 // mu - mu(v_s) to full accuracy, NaN when not asked for
  std::array<double, Profiles> slopes;  // J_k dmu/dv
};

// Six levels of the table (193 points per interval) leave the integrals within 4e-15 of seven
// levels' everywhere but within this fraction of the radius from the limb, where the derivatives'
// integrands in mu^p steepen as |u - a|^(p/2) at the end (1.7e-13 apart on the limb itself): there
// all seven.
inline constexpr double limb_levels_band = 1e-9;

namespace detail {

// 1 - x for each abscissa x of the table, from its t (level 1: t = 1, 2, 3; level k > 1: the odd
// multiples of 2^-(k-1) below 3): 1 - tanh(y) = 2 / (exp(2y) + 1), y = (pi/2) sinh t.
inline const std::array<double, numeric::tanh_sinh_nodes.size()>& tanh_sinh_complements() noexcept {
  static const std::array<double, numeric::tanh_sinh_nodes.size()> complements = [] {
    std::array<double, numeric::tanh_sinh_nodes.size()> values{};
    for (std::size_t level = 0; level < numeric::tanh_sinh_levels; ++level) {
      const double step = std::ldexp(1.0, -static_cast<int>(level));
      const std::size_t first = numeric::tanh_sinh_level_offsets[level];
      for (std::size_t i = first; i < numeric::tanh_sinh_level_offsets[level + 1]; ++i) {
        const double multiple = static_cast<double>(level == 0 ? i - first + 1 : 2 * (i - first) + 1);
        const double y = std::numbers::pi / 2 * std::sinh(multiple * step);
        values[i] = 2 / (std::exp(2 * y) + 1);
      }
    }
    return values;
  }();
  return complements;
}

// The geometry of one integral: the source and the split, for the distances to the lens.
struct SplitGeometry {
  double u;
  double a;
  double mu_split;     // mu(v_s), or 0 without a split
  double correction;   // a^2 mu_split^2 - (a - u)(a + u)
  bool inside;         // 0 < u < a
  std::size_t levels;  // of the rule's table
};

// The integrand's three values per term at v, `from_split` the exact v - v_s (NaN when the node
// is not beside the split); a non-finite value (an infinite derivative where a node meets the
// lens ring, or the disk of radius 0 at mu = 1) counts as 0, as in the rule.
template <std::size_t Profiles, class Point>
std::array<double, 3 * Profiles> profile_integrands(const SplitGeometry& geometry, double v,
                                                    double from_split, Point& point) noexcept {
  const double u = geometry.u;
  const double a = geometry.a;
  const ProfilePoint<Profiles> at = point(v, from_split);
  const double one_minus_mu_squared = (1 - at.mu) * (1 + at.mu);
  const double sine = std::sqrt(one_minus_mu_squared);
  const double r = a * sine;
  // u^2 - r^2, then u - r.
  double difference_of_squares;
  if (geometry.inside && std::isfinite(at.mu_from_split)) {
    difference_of_squares = ((a * a) * at.mu_from_split) * (at.mu + geometry.mu_split) + geometry.correction;
  } else {
    difference_of_squares = (a * a) * (at.mu * at.mu) - (a - u) * (a + u);
  }
  const UniformDiskGradient disk = uniform_disk_gradient(u, r, difference_of_squares / (u + r));
  const double excess = disk.magnification - 1;
  std::array<double, 3 * Profiles> values{};
  for (std::size_t k = 0; k < Profiles; ++k) {
    const double weight = one_minus_mu_squared * at.slopes[k];
    const std::array<double, 3> term{weight * excess, weight * disk.d_u, (weight * sine) * disk.d_rho};
    for (std::size_t j = 0; j < 3; ++j) values[3 * k + j] = std::isfinite(term[j]) ? term[j] : 0.0;
  }
  return values;
}

// The double-exponential rule over [lower, upper], every level, each of the integrands; `split_at`
// is -1 when the split is the lower end, +1 the upper end, 0 neither.
template <std::size_t Profiles, class Point>
std::array<double, 3 * Profiles> integrate_profiles(const SplitGeometry& geometry, double lower, double upper,
                                                    int split_at, Point& point) noexcept {
  constexpr std::size_t count = 3 * Profiles;
  constexpr double none = std::numeric_limits<double>::quiet_NaN();
  const auto& complements = tanh_sinh_complements();
  const double half_width = (upper - lower) * 0.5;
  const double midpoint = (lower + upper) * 0.5;
  std::array<double, count> estimate = profile_integrands<Profiles>(geometry, midpoint, none, point);
  for (double& value : estimate) value = std::numbers::pi * value;
  for (std::size_t level = 0; level < geometry.levels; ++level) {
    std::array<double, count> sum{};
    for (std::size_t i = numeric::tanh_sinh_level_offsets[level];
         i < numeric::tanh_sinh_level_offsets[level + 1]; ++i) {
      const numeric::TanhSinhNode& node = numeric::tanh_sinh_nodes[i];
      const double offset = half_width * complements[i];
      const auto right = profile_integrands<Profiles>(geometry, midpoint + half_width * node.abscissa,
                                                      split_at > 0 ? -offset : none, point);
      const auto left = profile_integrands<Profiles>(geometry, midpoint - half_width * node.abscissa,
                                                     split_at < 0 ? offset : none, point);
      for (std::size_t j = 0; j < count; ++j) sum[j] = sum[j] + node.weight * (right[j] + left[j]);
    }
    for (std::size_t j = 0; j < count; ++j) estimate[j] = estimate[j] * 0.5 + sum[j];
  }
  // The rule's points stop short of the ends; the weight they leave out, from the end values (at
  // the split, inside the sliver left out).
  const double missing = 2.0 - numeric::tanh_sinh_weight_sums[geometry.levels - 1];
  const double sliver = half_width * (missing * 0.5) * 0.36787944117144233;  // times 1/e
  const auto at_lower = split_at < 0 ? profile_integrands<Profiles>(geometry, lower + sliver, sliver, point)
                                     : profile_integrands<Profiles>(geometry, lower, none, point);
  const auto at_upper = split_at > 0 ? profile_integrands<Profiles>(geometry, upper - sliver, -sliver, point)
                                     : profile_integrands<Profiles>(geometry, upper, none, point);
  std::array<double, count> integral{};
  for (std::size_t j = 0; j < count; ++j) {
    integral[j] =
        half_width * estimate[j] + ((upper - lower) * 0.25) * (missing * (at_lower[j] + at_upper[j]));
  }
  return integral;
}

}  // namespace detail

// X_k and its derivatives for each term, for a source of radius a at u (0 <= u, a > 0); `split_v`
// is v where the rim passes the lens when 0 < u < a, and where the integrands steepen just outside
// (a split without a singularity) when u > a; 0 for none. `point(v, from_split)`
// gives mu, the slopes and, when from_split = v - v_s is not NaN, mu - mu(v_s) to full accuracy.
template <std::size_t Profiles, class Point>
std::array<TermIntegral, Profiles> profile_integrals_by_parts(double u, double a, double split_v,
                                                              Point&& point) noexcept {
  std::array<double, 3 * Profiles> sums{};
  const std::size_t levels =
      std::fabs(u - a) <= limb_levels_band * a ? numeric::tanh_sinh_levels : numeric::tanh_sinh_levels - 1;
  if (u > 0 && u < a && split_v > 0 && split_v < 1) {
    const double mu_split = point(split_v, std::numeric_limits<double>::quiet_NaN()).mu;
    const detail::SplitGeometry geometry{
        u, a, mu_split, (a * a) * (mu_split * mu_split) - (a - u) * (a + u), true, levels};
    const auto inner = detail::integrate_profiles<Profiles>(geometry, 0.0, split_v, 1, point);
    const auto outer = detail::integrate_profiles<Profiles>(geometry, split_v, 1.0, -1, point);
    for (std::size_t j = 0; j < sums.size(); ++j) sums[j] = inner[j] + outer[j];
  } else if (u > a && split_v > 0 && split_v < 1) {
    // Outside, a split where the integrands are smooth but steep.
    const detail::SplitGeometry geometry{u, a, 0, 0, false, levels};
    const auto inner = detail::integrate_profiles<Profiles>(geometry, 0.0, split_v, 0, point);
    const auto outer = detail::integrate_profiles<Profiles>(geometry, split_v, 1.0, 0, point);
    for (std::size_t j = 0; j < sums.size(); ++j) sums[j] = inner[j] + outer[j];
  } else {
    const detail::SplitGeometry geometry{u, a, 0, 0, false, levels};
    sums = detail::integrate_profiles<Profiles>(geometry, 0.0, 1.0, 0, point);
  }
  std::array<TermIntegral, Profiles> terms{};
  for (std::size_t k = 0; k < Profiles; ++k) terms[k] = {sums[3 * k], sums[3 * k + 1], sums[3 * k + 2]};
  return terms;
}

}  // namespace obrivane::models
