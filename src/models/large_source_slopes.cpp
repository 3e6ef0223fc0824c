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

// Along a ray, the sums of w K f(point, node) and of the same times x = u - s cos(theta), the
// coordinate along the axis through the lens and the centre, over `rule`.
struct SumAndMoment {
  double sum, moment;
};

template <class Value>
SumAndMoment with_moment(const large_source::RayPath& ray, double inverse_rho,
                         std::span<const large_source::PowerRayNode> rule, double u, double cosine,
                         const Value& value) noexcept {
  double sum = 0, moment = 0;
  const large_source::RayEnd end = large_source::ray_end(ray);
  for (const large_source::PowerRayNode& node : rule) {
    // The rules from the lens crowd their nodes at the limb, where mu^(p-2) or ln(mu)/mu is
    // steepest: the point from its distance to the limb (1 - v = 1/inverse_gap, to an ulp).
    const RayPoint point = large_source::ray_point_from_end(ray, end, 1 / node.inverse_gap, inverse_rho);
    const double term = node.weight * point.kernel * value(point, node);
    sum += term;
    moment += term * (u - point.s * cosine);
  }
  return {4 * ray.span * sum, 4 * ray.span * moment};
}

// Along a ray from the lens, the sums of mu^p and (with `logarithm`) of mu^p ln mu by the rule of
// (1 - x)^p with its slopes in p: with G = K (1 - v) phi^p, phi = mu/(1 - v), K = exp(-2 tau) t,
// the rule's sum of W G gives mu^p, and mu^p ln mu = mu^p ln phi + mu^p ln(1 - v),
// ln(1 - v) = ln(1 - x) - ln 2, of which the rule differentiated in p, sum W' G + W G' x',
// integrates the ln(1 - x) part.
struct PowerAndLogarithmSums {
  double power, logarithm;
};

PowerAndLogarithmSums power_and_logarithm(const large_source::RayPath& ray, double inverse_rho, double p,
                                          std::span<const large_source::ExponentRayNode> rule,
                                          bool logarithm) noexcept {
  const bool root = p == 0.5;
  double plain = 0, logged = 0, moved = 0;
  for (const large_source::ExponentRayNode& node : rule) {
    const double v = 0.5 * (1 + node.abscissa);
    const double gap = 1 - v;
    const RayPoint point = ray_point(ray, v * (2 - v), inverse_rho);
    const double phi = point.mu / gap;
    const double g = point.kernel * gap * (root ? std::sqrt(phi) : std::pow(phi, p));
    plain += node.weight * g;
    if (!logarithm) continue;
    // d/dx: t' = span (1 - v), tau' = 2 t t', s' = (1/decay + decay) tau',
    // (mu^2)' = (s_1 + s_2 - 2 s) s' / rho^2, (1 - v)' = -1/2.
    const double dt = ray.span * gap;
    const double dtau = 2 * point.t * dt;
    const double dmu_squared =
        ((ray.s_1 + ray.s_2 - 2 * point.s) * ((1 / point.decay + point.decay) * dtau)) *
        (inverse_rho * inverse_rho);
    const double dlog_g =
        -2 * dtau + dt / point.t - 0.5 / gap + p * (0.5 * dmu_squared / point.mu_squared + 0.5 / gap);
    logged += node.weight * g * std::log(phi);
    moved += node.weight_slope * g + node.weight * g * dlog_g * node.abscissa_slope;
  }
  // The rule's weights carry 2^-p against (1 - v)^p.
  const double scale = 4 * ray.span * std::pow(2.0, -p);
  return {scale * plain, scale * (logged + moved - std::numbers::ln2 * plain)};
}

}  // namespace

namespace {

// The means <B_k (A - 1)> of up to four brightnesses B_k over a large source, by the rays from a
// lens inside: B_k's value over the lens, `lens[k]`, times the uniform disk's excess, plus twice
// the half-plane of rays over pi rho^2, each ray's integral (`along(ray, cos(theta))`, RaySums)
// less lens[k] times its whole kernel.
template <class Along>
RaySums means_from_lens(double u, double rho, double uniform_excess, const std::array<double, 4>& lens,
                        const Along& along) noexcept {
  const RaySums rays = large_source::rays_by_region(
      u, rho, LimbProfile::singular, true,
      [&](std::size_t) {
        return [&](double s_1, double s_2, double m) {
          const large_source::RayPath ray = large_source::ray_path(s_1, s_2);
          RaySums sums = along(ray, u > 0 ? m / u : 0.0);
          const double kernel = large_source::whole_kernel(ray);
          for (std::size_t k = 0; k < lens.size(); ++k) sums.of[k] -= lens[k] * kernel;
          return sums;
        };
      },
      std::numeric_limits<double>::infinity());
  const double to_mean = 2 / (std::numbers::pi * (rho * rho));
  RaySums means;
  for (std::size_t k = 0; k < lens.size(); ++k) means.of[k] = lens[k] * uniform_excess + to_mean * rays.of[k];
  return means;
}

}  // namespace

LargeTermSlopes large_source_power_slopes(double u, double rho, const large_source::PowerRaySlopeRules& rules,
                                          double uniform_excess, double* power_logarithm) noexcept {
  using namespace large_source;
  const double p = rules.exponent();
  const double q = p - 2;
  const bool three_halves = q == -1.5;
  const bool logarithm = power_logarithm != nullptr;
  const double inverse_rho = 1 / rho;
  const double mu_lens = std::sqrt((rho - u) * (rho + u)) * inverse_rho;
  const double power_lens = std::pow(mu_lens, p);
  const double lower_lens = std::pow(mu_lens, q);
  // mu^p, mu^(p-2), x mu^(p-2) and (if asked) mu^p ln mu.
  const RaySums means = means_from_lens(
      u, rho, uniform_excess, {power_lens, lower_lens, u * lower_lens, power_lens * std::log(mu_lens)},
      [&](const RayPath& ray, double cosine) {
        const PowerAndLogarithmSums term = power_and_logarithm(ray, inverse_rho, p, rules.power(), logarithm);
        const SumAndMoment lower = with_moment(
            ray, inverse_rho, rules.lower(), u, cosine, [&](const RayPoint& point, const PowerRayNode& node) {
              const double scaled = point.mu * node.inverse_gap;
              // The square-root law's q = -3/2 without pow.
              return three_halves ? 1 / (scaled * std::sqrt(scaled)) : std::pow(scaled, q);
            });
        RaySums sums;
        sums.of = {term.power, lower.sum, lower.moment, term.logarithm};
        return sums;
      });
  if (logarithm) *power_logarithm = means.of[3];
  const double power_excess = means.of[0];
  return {power_excess, -(p / (rho * rho)) * means.of[2], (p * means.of[1] - (p + 2) * power_excess) / rho};
}

LargeTermSlopes large_source_logarithm_slopes(double u, double rho, const LargeTermSlopes& mu,
                                              double uniform_excess) noexcept {
  using namespace large_source;
  const LogarithmRayRules& rules = logarithm_ray_rules();
  const double inverse_rho = 1 / rho;
  const double mu_lens = std::sqrt((rho - u) * (rho + u)) * inverse_rho;
  const double log_lens = std::log(mu_lens);
  const double inverse_lens = log_lens / mu_lens;  // ln(mu)/mu
  const LimbLogarithmTerm term{1};
  // mu ln mu, ln(mu)/mu and x ln(mu)/mu.
  const RaySums means = means_from_lens(
      u, rho, uniform_excess, {mu_lens * log_lens, inverse_lens, u * inverse_lens, 0.0},
      [&](const RayPath& ray, double cosine) {
        // ln(mu)/mu = ln(mu / z)/mu + ln(z)/mu: the first part by the plain rule, the second by that
        // of -ln z.
        const SumAndMoment plain = with_moment(ray, inverse_rho, rules.from_lens, u, cosine,
                                               [](const RayPoint& point, const PowerRayNode& node) {
                                                 return std::log(point.mu * node.inverse_gap) / point.mu;
                                               });
        const SumAndMoment logged =
            with_moment(ray, inverse_rho, rules.from_lens_inverse, u, cosine,
                        [](const RayPoint& point, const PowerRayNode&) { return 1 / point.mu; });
        RaySums sums;
        sums.of = {term.from_lens(ray, inverse_rho), plain.sum + logged.sum, plain.moment + logged.moment,
                   0.0};
        return sums;
      });
  const double term_excess = means.of[0];
  // E_(-1) - E_1 from the term mu's rho dE_1/drho = E_(-1) - 3 E_1.
  const double lower_less_mu = rho * mu.d_rho + 2 * mu.excess;
  return {term_excess, mu.d_u - means.of[2] / (rho * rho),
          (lower_less_mu + means.of[1] - 3 * term_excess) / rho};
}

}  // namespace obrivane::models
