// The rule tables of large_source_rules.hpp, built once on first use from the Gauss-Legendre
// tables (gauss_rules.hpp) and the double-exponential map.
#include "models/large_source_rules.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>

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

const std::array<AngleNode, whole_angle_nodes>& whole_angle_rule() noexcept {
  static const std::array<AngleNode, whole_angle_nodes> rule = angles(numeric::gauss_legendre_16, 0, pi);
  return rule;
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
}

std::span<const PowerRayNode> PowerRayRules::crossing(std::size_t size) const noexcept {
  const std::size_t offset = size == sizes[0] ? 0 : sizes[0];
  return std::span<const PowerRayNode>(crossing_).subspan(offset, size);
}

}  // namespace obrivane::models::large_source
