// The rays of large_source.hpp with five brightnesses at once: mu, 1/mu, x/mu, mu^2 and x, with
// the lens inside each less its value at the lens (x = u there, mu = mu_L = sqrt(rho^2 - u^2)/rho). On the
// ray at angle theta from the direction to the centre, at the distance s from the lens, x = u - s cos(theta)
// with u cos(theta) = m, the chord's midpoint, which the angle rules hand over.
#include "models/large_source_slopes.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>
#include <tuple>

#include "models/large_source.hpp"
#include "models/large_source_rules.hpp"

namespace obrivane::models {
namespace {

using large_source::ray_point;
using large_source::RayNode;
using large_source::RayPoint;

// N ray integrals, summed over the angle rules as one value.
template <std::size_t N>
struct Sums {
  std::array<double, N> of{};

  Sums& operator+=(const Sums& other) noexcept {
    for (std::size_t k = 0; k < N; ++k) of[k] += other.of[k];
    return *this;
  }
  friend Sums operator+(Sums left, const Sums& right) noexcept { return left += right; }
  friend Sums operator*(double factor, Sums sums) noexcept {
    for (double& value : sums.of) value *= factor;
    return sums;
  }
};

// The five ray integrals of the polynomial brightnesses, in the order mu, 1/mu, x/mu, mu^2, x.
using RaySums = Sums<5>;

// The five brightnesses over the lens, taken off at every point (0 with the lens outside).
struct PolynomialLens {
  double mu, inverse_mu, u;
};

PolynomialLens polynomial_lens(double u, double rho) noexcept {
  if (u >= rho) return {0.0, 0.0, 0.0};
  const double mu = std::sqrt((rho - u) * (rho + u)) * (1 / rho);
  return {mu, 1 / mu, u};
}

// The five brightnesses at one point of a ray, less their values over the lens, into the first
// five of `sums`, times `factor` (the node's weight and the kernel).
template <std::size_t N>
void add_polynomial(Sums<N>& sums, double factor, const RayPoint& point, double u, double cosine,
                    const PolynomialLens& lens) noexcept {
  const double inverse_mu = 1 / point.mu;
  const double along = point.s * cosine;  // u - x
  sums.of[0] += factor * (point.mu - lens.mu);
  sums.of[1] += factor * (inverse_mu - lens.inverse_mu);
  sums.of[2] += factor * ((u - along) * inverse_mu - lens.u * lens.inverse_mu);
  sums.of[3] += factor * (point.mu_squared - lens.mu * lens.mu);
  sums.of[4] += factor * ((u - along) - lens.u);
}

// The polynomial terms' means from the five ray integrals over the angle rules (the first five
// of `rays`): <B (A - 1)> = B_lens (A_disk - 1) + twice the half-plane of rays over pi rho^2, and
// their derivatives.
template <std::size_t N>
LargePolynomialTerms polynomial_terms(double rho, double uniform_excess, const PolynomialLens& lens,
                                      const Sums<N>& rays) noexcept {
  const double lens_excess = lens.mu > 0 ? uniform_excess : 0.0;
  const double to_mean = 2 / (std::numbers::pi * (rho * rho));
  const double mu_excess = lens.mu * lens_excess + to_mean * rays.of[0];
  const double inverse_excess = lens.inverse_mu * lens_excess + to_mean * rays.of[1];
  const double x_over_mu = (lens.u * lens.inverse_mu) * lens_excess + to_mean * rays.of[2];
  const double square_excess = (lens.mu * lens.mu) * lens_excess + to_mean * rays.of[3];
  const double x_mean = lens.u * lens_excess + to_mean * rays.of[4];
  const double rho_squared = rho * rho;
  return {{mu_excess, -x_over_mu / rho_squared, (inverse_excess - 3 * mu_excess) / rho},
          {square_excess, -2 * x_mean / rho_squared, (2 * uniform_excess - 4 * square_excess) / rho}};
}

std::span<const RayNode> ray_rule(std::size_t size) noexcept {
  switch (size) {
    case large_source::deep_ray_nodes:
    case large_source::outside_ray_nodes:
      return large_source::outside_ray_rule();
    default:
      return large_source::limb_ray_rule();
  }
}

// The rule of a value's ray of `nodes` nodes (ray_excess_by), deep_ray_nodes included.
std::span<const RayNode> value_ray_rule(std::size_t nodes) noexcept {
  return nodes == large_source::deep_ray_nodes ? std::span<const RayNode>(large_source::deep_ray_rule())
                                               : ray_rule(nodes);
}

}  // namespace

LargePolynomialTerms large_source_polynomial_slopes(double u, double rho, double uniform_excess,
                                                    RaysValue* value) noexcept {
  using namespace large_source;
  const double inverse_rho = 1 / rho;
  // With the lens outside no reference: its rays start and end at the limb, away from the lens,
  // and 1/mu has no value there.
  const PolynomialLens lens = polynomial_lens(u, rho);
  // The value's reference: its brightness over the lens, as large_source_excess takes it (with the
  // lens outside, the limb's).
  const double reference =
      value == nullptr ? 0.0 : value->analytic(u < rho ? std::sqrt((rho - u) * (rho + u)) / rho : 0.0);
  // The five brightnesses, then the value's ray.
  using PolynomialSums = Sums<6>;
  const PolynomialSums rays = rays_by_region(
      u, rho, LimbProfile::polynomial, true,
      [&](std::size_t size) {
        const std::span<const RayNode> rule = ray_rule(size);
        return [&, rule, size](double s_1, double s_2, double m) {
          const RayPath ray = ray_path(s_1, s_2);
          // cos(theta); with the lens on the centre every direction is alike, and the slope in u is 0.
          const double cosine = u > 0 ? m / u : 0.0;
          // The value's sum as ray_excess forms it, on the same points but where the value's ray
          // takes other nodes (ray_nodes_for): the 12-node deep rays, where the brightnesses take
          // 16, and by the limb the rays that start away from it behind the lens.
          const std::span<const RayNode> value_rule = value_ray_rule(ray_nodes_for(size, s_1));
          const bool same = value_rule.size() == rule.size();
          PolynomialSums sums;
          double value_sum = 0;
          std::array<RayPoint, limb_ray_nodes> points;
          ray_points(ray, rule, inverse_rho, points);
          for (std::size_t i = 0; i < rule.size(); ++i) {
            const RayPoint& point = points[i];
            const double factor = rule[i].weight * point.kernel;
            add_polynomial(sums, factor, point, u, cosine, lens);
            if (value != nullptr && same) value_sum += factor * (value->analytic(point.mu) - reference);
          }
          if (value != nullptr && !same) {
            ray_points(ray, value_rule, inverse_rho, points);
            for (std::size_t i = 0; i < value_rule.size(); ++i) {
              value_sum +=
                  value_rule[i].weight * points[i].kernel * (value->analytic(points[i].mu) - reference);
            }
          }
          sums.of[5] = value_sum;
          return (4 * ray.span) * sums;
        };
      },
      RaysFor::derivatives);
  if (value != nullptr) {
    value->excess = excess_from_rays(reference, uniform_excess, rays.of[5], rho);
  }
  return polynomial_terms(rho, uniform_excess, lens, rays);
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
  // The points, then their values, then the sums, so that the calls of neither wait on the other's.
  constexpr std::size_t most = large_source::outside_ray_nodes;
  const std::size_t count = std::min(rule.size(), most);
  std::array<RayPoint, most> points;
  std::array<double, most> values;
  // The rules from the lens crowd their nodes at the limb, where mu^(p-2) or ln(mu)/mu is
  // steepest: the points there from their distance to the limb (ray_points).
  large_source::ray_points(ray, rule, inverse_rho, true, points);
  for (std::size_t i = 0; i < count; ++i) values[i] = value(points[i], rule[i]);
  double sum = 0, moment = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const double term = rule[i].weight * points[i].kernel * values[i];
    sum += term;
    moment += term * (u - points[i].s * cosine);
  }
  return {4 * ray.span * sum, 4 * ray.span * moment};
}

// Along a ray from the lens, the sums of mu^p and (with `logarithm`) of mu^p ln mu by the rule of
// (1 - x)^p with its slopes in p: with G = K (1 - v) phi^p, phi = mu/(1 - v), K = exp(-2 tau) t,
// the rule's sum of W G gives mu^p, and mu^p ln mu = mu^p ln phi + mu^p ln(1 - v),
// ln(1 - v) = ln(1 - x) - ln 2, of which the rule differentiated in p, sum W' G + W G' x',
// integrates the ln(1 - x) part.
// With `value`, the value's own rule of the same nodes (PowerRayRules::from_lens), also the
// value's ray integral of mu^p by its operations (ray_power), to the bit: phi^p is taken as
// (mu value_inverse_gap)^p, within an ulp of (mu/(1 - v))^p.
struct PowerAndLogarithmSums {
  double power, logarithm, value;
};

PowerAndLogarithmSums power_and_logarithm(const large_source::RayPath& ray, double inverse_rho, double p,
                                          std::span<const large_source::ExponentRayNode> rule, bool logarithm,
                                          std::span<const large_source::PowerRayNode> value) noexcept {
  const bool root = p == 0.5;
  const bool with_value = !value.empty();
  // The points, then the powers and logarithms, then the sums, so that the calls of neither wait
  // on the other's.
  constexpr std::size_t most = large_source::outside_ray_nodes;
  const std::size_t count = std::min(rule.size(), most);
  std::array<RayPoint, most> points;
  std::array<double, most> gaps, powers, logarithms;
  for (std::size_t i = 0; i < count; ++i) {
    const double v = 0.5 * (1 + rule[i].abscissa);
    gaps[i] = 1 - v;
    points[i] = ray_point(ray, v * (2 - v), inverse_rho);
  }
  for (std::size_t i = 0; i < count; ++i) {
    const double scaled = with_value ? points[i].mu * value[i].inverse_gap : points[i].mu / gaps[i];
    // As the value's rays take them (ray_power).
    powers[i] = root ? std::sqrt(scaled) : large_source::power_by_logarithm(scaled, p);
  }
  if (logarithm) {
    for (std::size_t i = 0; i < count; ++i) logarithms[i] = std::log(points[i].mu / gaps[i]);
  }
  double plain = 0, logged = 0, moved = 0, value_sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const large_source::ExponentRayNode& node = rule[i];
    const double gap = gaps[i];
    const RayPoint& point = points[i];
    const double powered = powers[i];
    if (with_value) value_sum += value[i].weight * point.kernel * powered;
    const double g = point.kernel * gap * powered;
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
    logged += node.weight * g * logarithms[i];
    moved += node.weight_slope * g + node.weight * g * dlog_g * node.abscissa_slope;
  }
  // The rule's weights carry 2^-p against (1 - v)^p.
  const double scale = 4 * ray.span * std::pow(2.0, -p);
  return {scale * plain, scale * (logged + moved - std::numbers::ln2 * plain), 4 * ray.span * value_sum};
}

}  // namespace

LargeTermSlopes large_source_power_slopes(double u, double rho, const large_source::PowerRaySlopeRules& rules,
                                          double uniform_excess, double* power_logarithm, RaysValue* value,
                                          LargePolynomialTerms* polynomial) noexcept {
  using namespace large_source;
  const double p = rules.exponent();
  const double q = p - 2;
  const bool three_halves = q == -1.5;
  const bool logarithm = power_logarithm != nullptr;
  const bool with_polynomial = polynomial != nullptr;
  const double inverse_rho = 1 / rho;
  const PolynomialLens lens = polynomial_lens(u, rho);
  const double mu_lens = lens.mu;
  const double power_lens = std::pow(mu_lens, p);
  const double lower_lens = std::pow(mu_lens, q);
  // mu^p, mu^(p-2), x mu^(p-2) and mu^p ln mu over the lens, taken off with each ray's whole kernel.
  const std::array<double, 4> term_lens = {power_lens, lower_lens, u * lower_lens,
                                           power_lens * std::log(mu_lens)};
  // The value's references over the lens, as large_source_excess takes them.
  const double mu_over_lens = std::sqrt((rho - u) * (rho + u)) / rho;
  const double analytic_reference = value != nullptr ? value->analytic(mu_over_lens) : 0.0;
  const double term_reference = value != nullptr ? std::pow(mu_over_lens, p) : 0.0;
  // The polynomial brightnesses (with_polynomial), then mu^p, mu^(p-2), x mu^(p-2), mu^p ln mu,
  // then the value's ray.
  using PowerSums = Sums<10>;
  const PowerSums rays = rays_by_region(
      u, rho, LimbProfile::singular, true,
      [&](std::size_t size) {
        return [&, size](double s_1, double s_2, double m) {
          const RayPath ray = ray_path(s_1, s_2);
          const double cosine = u > 0 ? m / u : 0.0;
          PowerSums sums;
          // The value's analytic part on the rule of its size, as ray_excess sums it; the
          // polynomial brightnesses on the same points but for the 12-node deep rays, where they
          // take 16.
          // The square-root law's value and mu^p on the value's clustered points where the value
          // takes them (ray_excess_and_term_clustered).
          const bool clustered =
              value != nullptr && value->clustered && ray_nodes_for(size, s_1) != limb_ray_nodes;
          // A constant analytic part (the power-2 law's) adds nothing along a ray.
          const bool analytic =
              value != nullptr && !clustered && (value->slope != 0 || value->curvature != 0);
          double analytic_sum = 0;
          if (with_polynomial || analytic) {
            const std::span<const RayNode> rule = ray_rule(size);
            const bool same = size != deep_ray_nodes;
            std::array<RayPoint, limb_ray_nodes> points;
            ray_points(ray, rule, inverse_rho, points);
            for (std::size_t i = 0; i < rule.size(); ++i) {
              const RayPoint& point = points[i];
              const double factor = rule[i].weight * point.kernel;
              if (with_polynomial) add_polynomial(sums, factor, point, u, cosine, lens);
              if (analytic && same) analytic_sum += factor * (value->analytic(point.mu) - analytic_reference);
            }
            if (analytic && !same) {
              const std::span<const RayNode> deep = deep_ray_rule();
              ray_points(ray, deep, inverse_rho, points);
              for (std::size_t i = 0; i < deep.size(); ++i) {
                analytic_sum +=
                    deep[i].weight * points[i].kernel * (value->analytic(points[i].mu) - analytic_reference);
              }
            }
          }
          // (Only the square-root law's value is clustered, and it takes no mu^p ln mu.)
          PowerAndLogarithmSums term{};
          AnalyticAndTerm parts{};
          if (clustered) {
            parts = ray_excess_and_term_clustered(
                ray, analytic_reference, inverse_rho, [&](double mu) { return value->analytic(mu); },
                [](double mu) { return LimbPowerTerm{}.clustered_at(mu); });
            term.power = parts.term;
          } else {
            term = power_and_logarithm(
                ray, inverse_rho, p, rules.power(), logarithm,
                value != nullptr ? value->rules->from_lens() : std::span<const PowerRayNode>());
          }
          const SumAndMoment lower =
              with_moment(ray, inverse_rho, rules.lower(), u, cosine,
                          [&](const RayPoint& point, const PowerRayNode& node) {
                            const double scaled = point.mu * node.inverse_gap;
                            // The square-root law's q = -3/2 without pow.
                            return three_halves ? 1 / (scaled * std::sqrt(scaled)) : std::pow(scaled, q);
                          });
          if (with_polynomial) {
            for (std::size_t k = 0; k < 5; ++k) sums.of[k] *= 4 * ray.span;
          }
          const double kernel = whole_kernel(ray);
          const std::array<double, 4> along = {term.power, lower.sum, lower.moment, term.logarithm};
          for (std::size_t k = 0; k < along.size(); ++k) sums.of[5 + k] = along[k] - term_lens[k] * kernel;
          // The value's ray, as large_source_excess forms it.
          if (clustered) {
            sums.of[9] = parts.analytic + value->coefficient * (parts.term - term_reference * kernel);
          } else if (value != nullptr) {
            const double term_part = value->coefficient * (term.value - term_reference * kernel);
            sums.of[9] = analytic ? 4 * ray.span * analytic_sum + term_part : term_part;
          }
          return sums;
        };
      },
      RaysFor::derivatives);
  const double to_mean = 2 / (std::numbers::pi * (rho * rho));
  std::array<double, 4> means{};
  for (std::size_t k = 0; k < means.size(); ++k)
    means[k] = term_lens[k] * uniform_excess + to_mean * rays.of[5 + k];
  if (with_polynomial) {
    *polynomial = polynomial_terms(rho, uniform_excess, lens, rays);
  }
  if (logarithm) *power_logarithm = means[3];
  if (value != nullptr) {
    const double reference = analytic_reference + value->coefficient * term_reference;
    value->excess = excess_from_rays(reference, uniform_excess, rays.of[9], rho);
  }
  const double power_excess = means[0];
  return {power_excess, -(p / (rho * rho)) * means[2], (p * means[1] - (p + 2) * power_excess) / rho};
}

LogarithmLawSlopes large_source_logarithm_law_slopes(double u, double rho, double uniform_excess,
                                                     RaysValue* value) noexcept {
  using namespace large_source;
  const LogarithmRayRules& rules = logarithm_ray_rules();
  const double inverse_rho = 1 / rho;
  const PolynomialLens lens = polynomial_lens(u, rho);
  const double log_lens = std::log(lens.mu);
  // mu ln mu, ln(mu)/mu and x ln(mu)/mu over the lens.
  const std::array<double, 3> logarithm_lens = {lens.mu * log_lens, log_lens / lens.mu,
                                                u * (log_lens / lens.mu)};
  // The value's references over the lens, as large_source_excess takes them.
  const double mu_over_lens = std::sqrt((rho - u) * (rho + u)) / rho;
  const double analytic_reference = value != nullptr ? value->analytic(mu_over_lens) : 0.0;
  const double term_reference = mu_over_lens > 0 ? mu_over_lens * std::log(mu_over_lens) : 0.0;
  // The five polynomial brightnesses, then mu ln mu, ln(mu)/mu and x ln(mu)/mu, then the value's ray.
  using LawSums = Sums<9>;
  const LawSums rays = rays_by_region(
      u, rho, LimbProfile::singular, true,
      [&](std::size_t size) {
        // The polynomial brightnesses on the plain rule's points, or by the limb on their own rule.
        const bool shared = size != limb_ray_nodes;
        return [&, shared, size](double s_1, double s_2, double m) {
          const RayPath ray = ray_path(s_1, s_2);
          // The value's rays and mu ln mu's on the value's clustered points where the value takes
          // them (ray_excess_and_term_clustered).
          const bool clustered = value != nullptr && ray_nodes_for(size, s_1) != limb_ray_nodes;
          const double cosine = u > 0 ? m / u : 0.0;
          LawSums sums;
          if (!shared) {
            const std::span<const RayNode> limb = limb_ray_rule();
            std::array<RayPoint, limb_ray_nodes> limb_points;
            ray_points(ray, limb, inverse_rho, limb_points);
            for (std::size_t i = 0; i < limb.size(); ++i)
              add_polynomial(sums, limb[i].weight * limb_points[i].kernel, limb_points[i], u, cosine, lens);
          }
          // ln(mu) = ln(mu / z) + ln(z), z = 1 - v: the first part by the plain rule, the second by
          // the rules of -z ln z (for mu ln mu) and -ln z (for ln(mu)/mu), every point placed from
          // its distance to the limb where these rules crowd their nodes (ray_points).
          // With the value, its own sums on the same points by its operations
          // (ray_excess_and_logarithm).
          // The points, then the logarithms, then the sums, so that the calls of neither wait on
          // the other's.
          constexpr std::size_t plain_count = std::tuple_size_v<decltype(LogarithmRayRules::from_lens)>;
          static_assert(std::tuple_size_v<decltype(LogarithmRayRules::from_lens_logarithm)> <= plain_count &&
                        std::tuple_size_v<decltype(LogarithmRayRules::from_lens_inverse)> <= plain_count);
          std::array<RayPoint, plain_count> points;
          std::array<double, plain_count> logarithms;
          ray_points(ray, rules.from_lens, inverse_rho, true, points);
          for (std::size_t i = 0; i < plain_count; ++i)
            logarithms[i] = std::log(points[i].mu * rules.from_lens[i].inverse_gap);
          double lower = 0, lower_moment = 0, analytic_sum = 0;
          for (std::size_t i = 0; i < plain_count; ++i) {
            const PowerRayNode& node = rules.from_lens[i];
            const RayPoint& point = points[i];
            const double factor = node.weight * point.kernel;
            if (shared) add_polynomial(sums, factor, point, u, cosine, lens);
            if (value != nullptr && !clustered)
              analytic_sum += factor * (value->analytic(point.mu) - analytic_reference);
            const double logged = logarithms[i];
            if (point.mu > 0 && !clustered) sums.of[5] += factor * (point.mu * logged);
            const double inverse = factor * (logged / point.mu);
            lower += inverse;
            lower_moment += inverse * (u - point.s * cosine);
          }
          if (!clustered) {
            ray_points(ray, rules.from_lens_logarithm, inverse_rho, true, points);
            for (std::size_t i = 0; i < rules.from_lens_logarithm.size(); ++i)
              sums.of[5] += rules.from_lens_logarithm[i].weight * points[i].kernel * points[i].mu;
          }
          ray_points(ray, rules.from_lens_inverse, inverse_rho, true, points);
          for (std::size_t i = 0; i < rules.from_lens_inverse.size(); ++i) {
            const double inverse = rules.from_lens_inverse[i].weight * points[i].kernel / points[i].mu;
            lower += inverse;
            lower_moment += inverse * (u - points[i].s * cosine);
          }
          sums.of[6] = lower;
          sums.of[7] = lower_moment;
          sums = (4 * ray.span) * sums;
          // The logarithmic brightnesses' values over the lens times the ray's whole kernel.
          const double kernel = whole_kernel(ray);
          if (clustered) {
            const AnalyticAndTerm parts = ray_excess_and_term_clustered(
                ray, analytic_reference, inverse_rho, [&](double mu) { return value->analytic(mu); },
                [](double mu) { return LimbLogarithmTerm{}.clustered_at(mu); });
            sums.of[5] = parts.term;
            sums.of[8] = parts.analytic + value->coefficient * (parts.term - term_reference * kernel);
          } else if (value != nullptr) {
            sums.of[8] =
                4 * ray.span * analytic_sum + value->coefficient * (sums.of[5] - term_reference * kernel);
          }
          for (std::size_t k = 0; k < logarithm_lens.size(); ++k)
            sums.of[5 + k] -= logarithm_lens[k] * kernel;
          return sums;
        };
      },
      RaysFor::derivatives);
  const LargePolynomialTerms polynomial = polynomial_terms(rho, uniform_excess, lens, rays);
  const double to_mean = 2 / (std::numbers::pi * (rho * rho));
  const double term_excess = logarithm_lens[0] * uniform_excess + to_mean * rays.of[5];
  const double inverse_excess = logarithm_lens[1] * uniform_excess + to_mean * rays.of[6];
  const double x_inverse = logarithm_lens[2] * uniform_excess + to_mean * rays.of[7];
  // With L_q the weighted excess of mu^q ln mu, dL_1/du = dE_1/du - <x ln(mu)/mu (A - 1)>/rho^2 and
  // rho dL_1/drho = E_(-1) + L_(-1) - E_1 - 3 L_1, E_(-1) - E_1 from the term mu's
  // rho dE_1/drho = E_(-1) - 3 E_1.
  const LargeTermSlopes& mu = polynomial.mu;
  const double lower_less_mu = rho * mu.d_rho + 2 * mu.excess;
  if (value != nullptr) {
    const double reference = analytic_reference + value->coefficient * term_reference;
    value->excess = excess_from_rays(reference, uniform_excess, rays.of[8], rho);
  }
  return {polynomial,
          {term_excess, mu.d_u - x_inverse / (rho * rho),
           (lower_less_mu + inverse_excess - 3 * term_excess) / rho}};
}

}  // namespace obrivane::models
