// The rule tables of large_source_rules.hpp, built once on first use from the Gauss-Legendre
// tables (gauss_rules.hpp) and the double-exponential map.
#include "models/large_source_rules.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>

#include "numeric/gauss_jacobi_exponent_slopes.hpp"
#include "numeric/gauss_jacobi_one_sided.hpp"
#include "numeric/gauss_jacobi_symmetric.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models::large_source {
namespace {

constexpr double pi = std::numbers::pi;

// p = v (2 - v) on the Gauss-Legendre nodes mapped to v in [0, 1]; dp/dv = 2 (1 - v).
template <std::size_t N>
std::array<RayNode, N> limb_map(const std::array<numeric::GaussNode, N>& gauss) noexcept {
  std::array<RayNode, N> rule{};
  for (std::size_t i = 0; i < N; ++i) {
    const double v = 0.5 * (1 + gauss[i].abscissa);
    rule[i] = RayNode{v * (2 - v), gauss[i].weight * (1 - v)};
  }
  return rule;
}

// Nodes theta = centre + half x on [centre - half, centre + half].
template <std::size_t N>
std::array<AngleNode, N> angles(const std::array<numeric::GaussNode, N>& gauss, double low,
                                double high) noexcept {
  std::array<AngleNode, N> rule{};
  const double centre = 0.5 * (low + high);
  const double half = 0.5 * (high - low);
  for (std::size_t i = 0; i < N; ++i) {
    const double theta = centre + half * gauss[i].abscissa;
    rule[i] = AngleNode{std::cos(theta), std::sin(theta), half * gauss[i].weight};
  }
  return rule;
}

// The trapezoidal rule of N - 1 intervals over [0, pi], the end nodes at half weight.
template <std::size_t N>
std::array<AngleNode, N> trapezoid() noexcept {
  std::array<AngleNode, N> nodes{};
  constexpr std::size_t intervals = N - 1;
  constexpr double step = pi / intervals;
  for (std::size_t k = 0; k <= intervals; ++k) {
    const double theta = step * static_cast<double>(k);
    const bool end = k == 0 || k == intervals;
    nodes[k] = AngleNode{std::cos(theta), std::sin(theta), end ? 0.5 * step : step};
  }
  return nodes;
}

// N nodes (odd) of the double-exponential map on the trapezoidal nodes x = k h over |x| <= 3.2,
// where the weights fall below 1e-16: p = (1 + tanh(q))/2, q = (pi/2) sinh x,
// dp/dx = (pi/4) cosh x / cosh(q)^2.
template <std::size_t N>
std::array<RayNode, N> double_exponential() noexcept {
  constexpr int half_count = static_cast<int>(N / 2);
  constexpr double step = 3.2 / half_count;
  std::array<RayNode, N> nodes{};
  for (int k = -half_count; k <= half_count; ++k) {
    const double x = step * k;
    const double q = (pi / 2) * std::sinh(x);
    const double c = std::cosh(q);
    nodes[static_cast<std::size_t>(k + half_count)] =
        RayNode{0.5 * (1 + std::tanh(q)), step * (pi / 4) * std::cosh(x) / (c * c)};
  }
  return nodes;
}

}  // namespace

const std::array<RayNode, deep_ray_nodes>& deep_ray_rule() noexcept {
  static const std::array<RayNode, deep_ray_nodes> rule = limb_map(numeric::gauss_legendre_12);
  return rule;
}

const std::array<RayNode, outside_ray_nodes>& outside_ray_rule() noexcept {
  static const std::array<RayNode, outside_ray_nodes> rule = limb_map(numeric::gauss_legendre_16);
  return rule;
}

const std::array<RayNode, limb_ray_nodes>& limb_ray_rule() noexcept {
  static const std::array<RayNode, limb_ray_nodes> rule = limb_map(numeric::gauss_legendre_24);
  return rule;
}

const std::array<RayNode, singular_ray_nodes>& singular_ray_rule() noexcept {
  static const std::array<RayNode, singular_ray_nodes> rule = double_exponential<singular_ray_nodes>();
  return rule;
}

const std::array<RayNode, short_singular_ray_nodes>& short_singular_ray_rule() noexcept {
  static const std::array<RayNode, short_singular_ray_nodes> rule =
      double_exponential<short_singular_ray_nodes>();
  return rule;
}

namespace {

// The rule of whole_angle_intervals[index] intervals if that is `intervals`, else the next's.
template <std::size_t Index>
std::span<const AngleNode> whole_angle_rule_from(std::size_t intervals) noexcept {
  constexpr std::size_t count = whole_angle_intervals[Index];
  if constexpr (Index + 1 < whole_angle_intervals.size()) {
    if (intervals != count) return whole_angle_rule_from<Index + 1>(intervals);
  }
  static const std::array<AngleNode, count + 1> rule = trapezoid<count + 1>();
  return rule;
}

}  // namespace

std::span<const AngleNode> whole_angle_rule(std::size_t intervals) noexcept {
  return whole_angle_rule_from<0>(intervals);
}

const std::array<AngleNode, quarter_angle_nodes>& quarter_angle_rule() noexcept {
  static const std::array<AngleNode, quarter_angle_nodes> rule =
      angles(numeric::gauss_legendre_12, 0, pi / 4);
  return rule;
}

const std::array<AngleNode, 10>& short_quarter_angle_rule() noexcept {
  static const std::array<AngleNode, 10> rule = angles(numeric::gauss_legendre_10, 0, pi / 4);
  return rule;
}

PowerRayRules::PowerRayRules(double p) noexcept : p_(p) {
  std::array<double, limb_ray_nodes> d{}, e{}, z{};
  std::array<numeric::GaussNode, limb_ray_nodes> gauss{};
  std::size_t offset = 0;
  for (const std::size_t size : sizes) {
    const std::span<numeric::GaussNode> nodes = std::span<numeric::GaussNode>(gauss).first(size);
    // (1 - x^2)^p on [-1, 1], v = (1 + x)/2: with dp = (1 - v) dx and (v (1 - v))^p =
    // 4^-p (1 - x^2)^p, the integral of f mu^p dp is 4^-p sum W (1 - v) f (mu / (v (1 - v)))^p.
    numeric::gauss_jacobi_symmetric(p, nodes, d, e, z);
    for (std::size_t i = 0; i < size; ++i) {
      const double v = 0.5 * (1 + nodes[i].abscissa);
      crossing_[offset + i] =
          PowerRayNode{v * (2 - v), std::pow(4.0, -p) * nodes[i].weight * (1 - v), 1 / (v * (1 - v))};
    }
    offset += size;
  }
  // (1 - x)^p on [-1, 1]: with (1 - v)^p = 2^-p (1 - x)^p the integral of f mu^p dp is
  // 2^-p sum W (1 - v) f (mu / (1 - v))^p.
  const auto from_lens = [&](std::span<PowerRayNode> rule) {
    const std::span<numeric::GaussNode> nodes = std::span<numeric::GaussNode>(gauss).first(rule.size());
    numeric::gauss_jacobi_one_sided(p, nodes, d, e, z);
    for (std::size_t i = 0; i < rule.size(); ++i) {
      const double v = 0.5 * (1 + nodes[i].abscissa);
      rule[i] = PowerRayNode{v * (2 - v), std::pow(2.0, -p) * nodes[i].weight * (1 - v), 1 / (1 - v)};
    }
  };
  from_lens(from_lens_);
  from_lens(from_lens_limb_);
}

std::span<const PowerRayNode> PowerRayRules::crossing(std::size_t size) const noexcept {
  const std::size_t offset = size == sizes[0] ? 0 : sizes[0];
  return std::span<const PowerRayNode>(crossing_).subspan(offset, size);
}

PowerRaySlopeRules::PowerRaySlopeRules(double p) noexcept : p_(p) {
  std::array<double, outside_ray_nodes> d{}, e{}, z{};
  std::array<numeric::GaussNode, outside_ray_nodes> gauss{};
  numeric::gauss_jacobi_one_sided(p - 1, gauss, d, e, z);
  for (std::size_t i = 0; i < outside_ray_nodes; ++i) {
    const double v = 0.5 * (1 + gauss[i].abscissa);
    lower_[i] = PowerRayNode{v * (2 - v), std::pow(2.0, 1 - p) * gauss[i].weight, 1 / (1 - v)};
  }
  numeric::gauss_jacobi_one_sided(p, gauss, d, e, z);
  std::array<numeric::GaussNodeSlope, outside_ray_nodes> slopes{};
  numeric::gauss_jacobi_one_sided_slopes(p, gauss, slopes);
  for (std::size_t i = 0; i < outside_ray_nodes; ++i) {
    power_[i] = ExponentRayNode{gauss[i].abscissa, gauss[i].weight, slopes[i].abscissa, slopes[i].weight};
  }
}

namespace {

// The analytic part's rule from the lens: limb_map with the inverse gap 1/z.
template <std::size_t N>
std::array<PowerRayNode, N> plain_logarithm_rule(const std::array<numeric::GaussNode, N>& gauss) noexcept {
  std::array<PowerRayNode, N> rule{};
  for (std::size_t i = 0; i < N; ++i) {
    const double v = 0.5 * (1 + gauss[i].abscissa);
    rule[i] = PowerRayNode{v * (2 - v), gauss[i].weight * (1 - v), 1 / (1 - v)};
  }
  return rule;
}

// Crossing, the Gauss-Jacobi rule of (1 - x^2) with its slopes in the exponent.
template <std::size_t N>
std::array<ExponentRayNode, N> crossing_power_rule() noexcept {
  std::array<numeric::GaussNode, N> gauss{};
  std::array<double, N> d{}, e{}, z{};
  numeric::gauss_jacobi_symmetric(1.0, std::span<numeric::GaussNode>(gauss), d, e, z);
  std::array<numeric::GaussNodeSlope, N> slopes{};
  numeric::gauss_jacobi_symmetric_slopes(1.0, gauss, slopes);
  std::array<ExponentRayNode, N> rule{};
  for (std::size_t i = 0; i < N; ++i) {
    rule[i] = ExponentRayNode{gauss[i].abscissa, gauss[i].weight, slopes[i].abscissa, slopes[i].weight};
  }
  return rule;
}

LogarithmRayRules make_logarithm_ray_rules() noexcept {
  LogarithmRayRules rules{};
  rules.from_lens = plain_logarithm_rule(numeric::gauss_legendre_16);
  rules.from_lens_limb = plain_logarithm_rule(numeric::gauss_legendre_24);
  rules.crossing_outside = crossing_power_rule<outside_ray_nodes>();
  rules.crossing_limb = crossing_power_rule<limb_ray_nodes>();
  // From the lens: p = 1 - z^2, the integral of f mu ln z dp = -2 sum W f mu.
  for (std::size_t i = 0; i < rules.from_lens_logarithm.size(); ++i) {
    const numeric::GaussNode& node = numeric::gauss_log_end_1_16[i];
    const double z = node.abscissa;
    rules.from_lens_logarithm[i] = PowerRayNode{(1 - z) * (1 + z), -2 * node.weight, 1 / z};
  }
  // From the lens: the integral of f ln(z) / mu dp = -2 sum W z f / mu (weight -ln z).
  for (std::size_t i = 0; i < rules.from_lens_inverse.size(); ++i) {
    const numeric::GaussNode& node = numeric::gauss_log_end_0_16[i];
    const double z = node.abscissa;
    rules.from_lens_inverse[i] = PowerRayNode{(1 - z) * (1 + z), -2 * node.weight * z, 1 / z};
  }
  return rules;
}

}  // namespace

const LogarithmRayRules& logarithm_ray_rules() noexcept {
  static const LogarithmRayRules rules = make_logarithm_ray_rules();
  return rules;
}

namespace {

// z = w^2 (2 - w) on the Gauss-Legendre nodes mapped to w in [0, 1], p = 1 - z^2:
// dp/dw = 2 z w (4 - 3 w).
template <std::size_t N>
std::array<PowerRayNode, N> clustered_map(const std::array<numeric::GaussNode, N>& gauss) noexcept {
  std::array<PowerRayNode, N> rule{};
  for (std::size_t i = 0; i < N; ++i) {
    const double w = 0.5 * (1 + gauss[i].abscissa);
    const double z = (w * w) * (2 - w);
    rule[i] = PowerRayNode{(1 - z) * (1 + z), gauss[i].weight * (z * (w * (4 - 3 * w))), 1 / z};
  }
  return rule;
}

}  // namespace

std::span<const PowerRayNode> clustered_ray_rule(std::size_t size) noexcept {
  static const std::array<PowerRayNode, clustered_ray_nodes> shorter =
      clustered_map(numeric::gauss_legendre_20);
  static const std::array<PowerRayNode, longer_clustered_ray_nodes> longer =
      clustered_map(numeric::gauss_legendre_24);
  return size == longer_clustered_ray_nodes ? std::span<const PowerRayNode>(longer)
                                            : std::span<const PowerRayNode>(shorter);
}

}  // namespace obrivane::models::large_source
