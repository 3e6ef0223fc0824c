// The rays of large_source.hpp with five brightnesses at once: mu, 1/mu, x/mu, mu^2 and x, with
// the lens inside each less its value at the lens (x = u there, mu = mu_L = sqrt(rho^2 - u^2)/rho). On the
// ray at angle theta from the direction to the centre, at the distance s from the lens, x = u - s cos(theta)
// with u cos(theta) = m, the chord's midpoint, which the angle rules hand over.
#include "models/large_source_slopes.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numbers>
#include <span>

#include "models/large_source.hpp"
#include "models/large_source_rules.hpp"

namespace obrivane::models {
namespace {

using large_source::ray_point;
using large_source::RayNode;
using large_source::RayPoint;

// The five ray integrals, in the order mu, 1/mu, x/mu, mu^2, x.
struct RaySums {
  std::array<double, 5> of{};

  RaySums& operator+=(const RaySums& other) noexcept {
    for (std::size_t k = 0; k < of.size(); ++k) of[k] += other.of[k];
    return *this;
  }
  friend RaySums operator+(RaySums left, const RaySums& right) noexcept { return left += right; }
  friend RaySums operator*(double factor, RaySums sums) noexcept {
    for (double& value : sums.of) value *= factor;
    return sums;
  }
};

std::span<const RayNode> ray_rule(std::size_t size) noexcept {
  switch (size) {
    case large_source::deep_ray_nodes:
    case large_source::outside_ray_nodes:
      return large_source::outside_ray_rule();
    default:
      return large_source::limb_ray_rule();
  }
}

}  // namespace

LargePolynomialTerms large_source_polynomial_slopes(double u, double rho, double uniform_excess) noexcept {
  using namespace large_source;
  const double inverse_rho = 1 / rho;
  // With the lens outside no reference: its rays start and end at the limb, away from the lens,
  // and 1/mu has no value there.
  const bool inside = u < rho;
  const double mu_lens = inside ? std::sqrt((rho - u) * (rho + u)) * inverse_rho : 0.0;
  const double inverse_mu_lens = inside ? 1 / mu_lens : 0.0;
  const double u_lens = inside ? u : 0.0;
  const double lens_excess = inside ? uniform_excess : 0.0;
  const RaySums rays = rays_by_region(
      u, rho, LimbProfile::polynomial, true,
      [&](std::size_t size) {
        const std::span<const RayNode> rule = ray_rule(size);
        return [&, rule](double s_1, double s_2, double m) {
          const RayPath ray = ray_path(s_1, s_2);
          // cos(theta); with the lens on the centre every direction is alike, and the slope in u is 0.
          const double cosine = u > 0 ? m / u : 0.0;
          RaySums sums;
          for (const RayNode& node : rule) {
            const RayPoint point = ray_point(ray, node.position, inverse_rho);
            const double inverse_mu = 1 / point.mu;
            const double along = point.s * cosine;  // u - x
            const double factor = node.weight * point.kernel;
            sums.of[0] += factor * (point.mu - mu_lens);
            sums.of[1] += factor * (inverse_mu - inverse_mu_lens);
            sums.of[2] += factor * ((u - along) * inverse_mu - u_lens * inverse_mu_lens);
            sums.of[3] += factor * (point.mu_squared - mu_lens * mu_lens);
            sums.of[4] += factor * ((u - along) - u_lens);
          }
          return (4 * ray.span) * sums;
        };
      },
      std::numeric_limits<double>::infinity());
  // The means <B (A - 1)> = B_lens (A_disk - 1) + twice the half-plane of rays over pi rho^2.
  const double to_mean = 2 / (std::numbers::pi * (rho * rho));
  const double mu_excess = mu_lens * lens_excess + to_mean * rays.of[0];
  const double inverse_excess = inverse_mu_lens * lens_excess + to_mean * rays.of[1];
  const double x_over_mu = (u_lens * inverse_mu_lens) * lens_excess + to_mean * rays.of[2];
  const double square_excess = (mu_lens * mu_lens) * lens_excess + to_mean * rays.of[3];
  const double x_mean = u_lens * lens_excess + to_mean * rays.of[4];
  const double rho_squared = rho * rho;
  return {{mu_excess, -x_over_mu / rho_squared, (inverse_excess - 3 * mu_excess) / rho},
          {square_excess, -2 * x_mean / rho_squared, (2 * uniform_excess - 4 * square_excess) / rho}};
}

namespace {

// Along a ray from the lens, the sums of mu^p and of mu^p ln mu by the rule of (1 - x)^p with its
// slopes in p: with G = K (1 - v) phi^p, phi = mu/(1 - v), K = exp(-2 tau) t, the rule's sum of
// W G gives mu^p, and mu^p ln mu = mu^p ln phi + mu^p ln(1 - v), ln(1 - v) = ln(1 - x) - ln 2, of
// which the rule differentiated in p, sum W' G + W G' x', integrates the ln(1 - x) part.
struct PowerAndLogarithmSums {
  double power, logarithm;
};

PowerAndLogarithmSums power_and_logarithm(const large_source::RayPath& ray, double inverse_rho, double p,
                                          std::span<const large_source::ExponentRayNode> rule) noexcept {
  double plain = 0, logged = 0, moved = 0;
  for (const large_source::ExponentRayNode& node : rule) {
    const double v = 0.5 * (1 + node.abscissa);
    const double gap = 1 - v;
    const large_source::RayPoint point = large_source::ray_point(ray, v * (2 - v), inverse_rho);
    const double t = point.t;
    const double decay = point.decay;
    const double s = point.s;
    const double mu_squared = point.mu_squared;
    const double phi = point.mu / gap;
    const double g = point.kernel * gap * std::pow(phi, p);
    // d/dx: t' = span (1 - v), tau' = 2 t t', s' = (1/decay + decay) tau',
    // (mu^2)' = (s_1 + s_2 - 2 s) s' / rho^2, (1 - v)' = -1/2.
    const double dt = ray.span * gap;
    const double dtau = 2 * t * dt;
    const double dmu_squared =
        ((ray.s_1 + ray.s_2 - 2 * s) * ((1 / decay + decay) * dtau)) * (inverse_rho * inverse_rho);
    const double dlog_g = -2 * dtau + dt / t - 0.5 / gap + p * (0.5 * dmu_squared / mu_squared + 0.5 / gap);
    plain += node.weight * g;
    logged += node.weight * g * std::log(phi);
    moved += node.weight_slope * g + node.weight * g * dlog_g * node.abscissa_slope;
  }
  // The rule's weights carry 2^-p against (1 - v)^p.
  const double scale = 4 * ray.span * std::pow(2.0, -p);
  return {scale * plain, scale * (logged + moved - std::numbers::ln2 * plain)};
}

}  // namespace

LargeTermSlopes large_source_power_slopes(double u, double rho, const large_source::PowerRayRules& rules,
                                          const large_source::PowerRaySlopeRules& lower,
                                          double uniform_excess, double* power_logarithm) noexcept {
  using namespace large_source;
  const double p = rules.exponent();
  const double q = lower.exponent();
  const bool three_halves = q == -1.5;
  const double inverse_rho = 1 / rho;
  const bool inside = u < rho;
  const bool logarithm = inside && power_logarithm != nullptr;
  const double mu_lens = inside ? std::sqrt((rho - u) * (rho + u)) * inverse_rho : 0.0;
  const double power_lens = inside ? std::pow(mu_lens, p) : 0.0;
  const double lower_lens = inside ? std::pow(mu_lens, q) : 0.0;
  const double logarithm_lens = logarithm ? power_lens * std::log(mu_lens) : 0.0;
  const double lens_excess = inside ? uniform_excess : 0.0;
  // mu^p, mu^(p-2), x mu^(p-2) and (if asked) mu^p ln mu along each ray.
  const auto sums = rays_by_region(
      u, rho, LimbProfile::singular, true,
      [&](std::size_t size) {
        const std::span<const PowerRayNode> power_rule = inside ? rules.from_lens() : rules.crossing(size);
        const std::span<const PowerRayNode> lower_rule = inside ? lower.from_lens() : lower.crossing(size);
        return [&, power_rule, lower_rule](double s_1, double s_2, double m) {
          const RayPath ray = ray_path(s_1, s_2);
          const double cosine = u > 0 ? m / u : 0.0;
          RaySums ray_sums;
          if (logarithm) {
            const PowerAndLogarithmSums both =
                power_and_logarithm(ray, inverse_rho, p, lower.exponent_slopes());
            ray_sums.of[0] = both.power;
            ray_sums.of[3] = both.logarithm;
          } else {
            ray_sums.of[0] = ray_power(ray, inverse_rho, power_rule, p);
          }
          double lower_sum = 0;
          double x_sum = 0;
          for (const PowerRayNode& node : lower_rule) {
            const RayPoint point = ray_point(ray, node.position, inverse_rho);
            const double scaled = point.mu * node.inverse_gap;
            // The square-root law's q = -3/2 without pow.
            const double lower_power = three_halves ? 1 / (scaled * std::sqrt(scaled)) : std::pow(scaled, q);
            const double term = node.weight * point.kernel * lower_power;
            lower_sum += term;
            x_sum += term * (u - point.s * cosine);
          }
          ray_sums.of[1] = (4 * ray.span) * lower_sum;
          ray_sums.of[2] = (4 * ray.span) * x_sum;
          if (inside) {
            const double whole_kernel = -std::expm1(-2 * ray.end_tau);
            ray_sums.of[0] -= power_lens * whole_kernel;
            ray_sums.of[1] -= lower_lens * whole_kernel;
            ray_sums.of[2] -= (u * lower_lens) * whole_kernel;
            ray_sums.of[3] -= logarithm_lens * whole_kernel;
          }
          return ray_sums;
        };
      },
      std::numeric_limits<double>::infinity());
  const double to_mean = 2 / (std::numbers::pi * (rho * rho));
  const double power_excess = power_lens * lens_excess + to_mean * sums.of[0];
  const double lower_excess = lower_lens * lens_excess + to_mean * sums.of[1];
  const double x_lower = (u * lower_lens) * lens_excess + to_mean * sums.of[2];
  if (logarithm) *power_logarithm = logarithm_lens * lens_excess + to_mean * sums.of[3];
  return {power_excess, -(p / (rho * rho)) * x_lower, (p * lower_excess - (p + 2) * power_excess) / rho};
}

LargeTermSlopes large_source_logarithm_slopes(double u, double rho, const LargeTermSlopes& mu,
                                              double uniform_excess) noexcept {
  using namespace large_source;
  const LogarithmRayRules& rules = logarithm_ray_rules();
  const double inverse_rho = 1 / rho;
  const bool inside = u < rho;
  const double mu_lens = inside ? std::sqrt((rho - u) * (rho + u)) * inverse_rho : 1.0;
  const double log_lens = inside ? std::log(mu_lens) : 0.0;
  const double term_lens = mu_lens * log_lens;     // mu ln mu
  const double inverse_lens = log_lens / mu_lens;  // ln(mu)/mu
  const double lens_excess = inside ? uniform_excess : 0.0;
  const LimbLogarithmTerm term{1};
  const auto sums = rays_by_region(
      u, rho, LimbProfile::singular, true,
      [&](std::size_t size) {
        const std::span<const PowerRayNode> plain =
            inside || size == outside_ray_nodes
                ? std::span<const PowerRayNode>(inside ? rules.from_lens : rules.crossing_outside)
                : std::span<const PowerRayNode>(rules.crossing_limb);
        const std::span<const PowerRayNode> logarithmic =
            inside ? std::span<const PowerRayNode>(rules.from_lens_inverse)
                   : std::span<const PowerRayNode>(rules.crossing_inverse);
        return [&, size, plain, logarithmic](double s_1, double s_2, double m) {
          const RayPath ray = ray_path(s_1, s_2);
          const double cosine = u > 0 ? m / u : 0.0;
          RaySums ray_sums;
          ray_sums.of[0] = inside ? term.from_lens(ray, inverse_rho) : term.crossing(ray, inverse_rho, size);
          double inverse_sum = 0;
          double x_sum = 0;
          const auto add = [&](const PowerRayNode& node, bool logged) {
            const RayPoint point = ray_point(ray, node.position, inverse_rho);
            const double factor = node.weight * point.kernel / point.mu;
            const double value = logged ? factor * std::log(point.mu * node.inverse_gap) : factor;
            inverse_sum += value;
            x_sum += value * (u - point.s * cosine);
          };
          for (const PowerRayNode& node : plain) add(node, true);
          for (const PowerRayNode& node : logarithmic) add(node, false);
          ray_sums.of[1] = (4 * ray.span) * inverse_sum;
          ray_sums.of[2] = (4 * ray.span) * x_sum;
          if (inside) {
            const double whole_kernel = -std::expm1(-2 * ray.end_tau);
            ray_sums.of[0] -= term_lens * whole_kernel;
            ray_sums.of[1] -= inverse_lens * whole_kernel;
            ray_sums.of[2] -= (u * inverse_lens) * whole_kernel;
          }
          return ray_sums;
        };
      },
      std::numeric_limits<double>::infinity());
  const double to_mean = 2 / (std::numbers::pi * (rho * rho));
  const double term_excess = term_lens * lens_excess + to_mean * sums.of[0];
  const double inverse_excess = inverse_lens * lens_excess + to_mean * sums.of[1];
  const double x_inverse = (u * inverse_lens) * lens_excess + to_mean * sums.of[2];
  // E_(-1) - E_1 from the term mu's rho dE_1/drho = E_(-1) - 3 E_1.
  const double lower_less_mu = rho * mu.d_rho + 2 * mu.excess;
  return {term_excess, mu.d_u - x_inverse / (rho * rho),
          (lower_less_mu + inverse_excess - 3 * term_excess) / rho};
}

}  // namespace obrivane::models
