// The mu^p ln mu-weighted disk as the derivative in p of the mu^p-weighted one (notation of
// power_weighted_disk.cpp): the same lines through the lens, with the dependence on p carried
// through every step by forward-mode dual numbers (numeric/dual.hpp). p enters by the factor
// (h/a)^(p+1) of each line, and by the rules' weights, (1 - s^2)^(p/2) along the chord and, with
// the lens outside, (1 - t^2)^((p+1)/2) or (1 - x)^((p+1)/2) in the angle, whose nodes move with p
// (numeric/gauss_jacobi_exponent_slopes.hpp): where they do, the line's geometry moves with them,
// and the chain rule takes the integrand's derivative along. The differentiated rules integrate the
// logarithmic weights exactly wherever the rules did the plain ones, so the angle rules and their
// switches are those of the plain integral.
#include "models/power_logarithm_weighted_disk.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>

#include "models/chord_rules.hpp"
#include "models/large_source_lines.hpp"
#include "models/power_weighted_lines.hpp"
#include "numeric/dual.hpp"
#include "numeric/gauss_jacobi_exponent_slopes.hpp"

namespace obrivane::models {
namespace {

using Slope = numeric::Dual<1>;
using numeric::GaussNode;
using numeric::GaussNodeSlope;

// A node of a rule whose weight has the exponent c p + c0: its abscissa and weight as functions
// of p.
struct MovingNode {
  Slope abscissa;
  Slope weight;
};

MovingNode moving(const GaussNode& node, const GaussNodeSlope& slope, double exponent_slope) noexcept {
  return {Slope(node.abscissa, {exponent_slope * slope.abscissa}),
          Slope(node.weight, {exponent_slope * slope.weight})};
}

// A kernel with its derivative, the value formed by the operations of its double routine
// (point_lens_along_line.hpp) so that the dual numbers' values are those routines' numbers.
struct KernelPoint {
  double value;
  double slope;
};

// F(w) = (w^2 + 2)/sqrt(w^2 + 4), F'(w) = w (w^2 + 6)/(w^2 + 4)^(3/2).
KernelPoint point_lens_with_slope(double w) noexcept {
  const double w_squared = w * w;
  const double root = std::sqrt(w_squared + 4);
  return {(w_squared + 2) / root, (w * (w_squared + 6)) / ((w_squared + 4) * root)};
}

// g(w) = w (A(w) - 1) = 4 / (sqrt(w^2 + 4) (w^2 + 2 + w sqrt(w^2 + 4))) for w > 0, and
// g'(w) = F'(w) - 1 without its cancellation: w (w^2 + 6) - (w^2 + 4)^(3/2) has the product with
// its conjugate -(12 w^2 + 64), so g'(w) = -(12 w^2 + 64) / (r^3 (w (w^2 + 6) + r^3)), r^2 = w^2 + 4.
KernelPoint point_lens_excess_with_slope(double w) noexcept {
  const double root = std::sqrt(w * w + 4);
  const double root_cubed = (w * w + 4) * root;
  return {4 / (root * ((w * w + 2) + w * root)),
          -(12 * (w * w) + 64) / (root_cubed * (w * (w * w + 6) + root_cubed))};
}

// The chord integral of (1 - s^2)^(p/2) kernel(m + h s), its nodes moving at half their slopes in
// the exponent p/2, on a line whose m and h move with p as well: the derivative is
// sum_j (w_j' K(y) + w_j K'(y) y') at y = m + h x_j, y' = m' + h' x_j + h x_j'.
template <class Kernel>
Slope chord_sum(const Slope& m, const Slope& h, std::span<const GaussNode> rule,
                std::span<const GaussNodeSlope> slopes, Kernel&& kernel) noexcept {
  const double m_slope = m.tangent[0];
  const double h_slope = h.tangent[0];
  double value = 0;
  double tangent = 0;
  for (std::size_t j = 0; j < rule.size(); ++j) {
    const double x = rule[j].abscissa;
    const KernelPoint at = kernel(m.value + h.value * x);
    const double y_slope = m_slope + h_slope * x + h.value * (0.5 * slopes[j].abscissa);
    value += rule[j].weight * at.value;
    tangent += (0.5 * slopes[j].weight) * at.value + rule[j].weight * (at.slope * y_slope);
  }
  return Slope(value, {tangent});
}

// The same for a line that stays put (fixed m and h): only the nodes move.
Slope fixed_chord_sum(double m, double h, std::span<const GaussNode> rule,
                      std::span<const GaussNodeSlope> slopes) noexcept {
  double value = 0;
  double tangent = 0;
  for (std::size_t j = 0; j < rule.size(); ++j) {
    const KernelPoint at = point_lens_with_slope(m + h * rule[j].abscissa);
    value += rule[j].weight * at.value;
    tangent += 0.5 * (slopes[j].weight * at.value + rule[j].weight * (at.slope * (h * slopes[j].abscissa)));
  }
  return Slope(value, {tangent});
}

// As power_lines::well_outside, in t with the moving rule of (1 - t^2)^((p+1)/2): the symmetric
// nodes taken once at t >= 0 (their slopes are antisymmetric, and the integrand even).
// chord(m, h) is the chord integral of a line.
template <class Chord>
PowerAndLogarithm well_outside(double u, double a, std::span<const GaussNode> rule,
                               std::span<const GaussNodeSlope> moves, Chord&& chord) noexcept {
  Slope sum{};
  for (std::size_t j = 0; j < rule.size(); ++j) {
    if (rule[j].abscissa < 0) continue;
    const MovingNode node = moving(rule[j], moves[j], 0.5);
    const Slope& t = node.abscissa;
    const Slope at = a * t;
    const Slope m = sqrt((u - at) * (u + at));
    const Slope h = a * sqrt((1.0 - t) * (1.0 + t));
    sum += (rule[j].abscissa > 0 ? 2.0 : 1.0) * (node.weight * ((a / m) * chord(m, h)));
  }
  const Slope integral = (2 / (std::numbers::pi * a)) * (sum * 0.5);
  return {integral.value, integral.tangent[0]};
}

}  // namespace

PowerChordSlopes::PowerChordSlopes(double p, const PowerChordRules& rules) noexcept {
  std::size_t offset = 0;
  for (std::size_t band = 0; band < chord_band_sizes.size(); ++band) {
    const std::span<const GaussNode> rule = rules.for_length(chord_band_lengths[band]);
    numeric::gauss_jacobi_symmetric_slopes(p * 0.5, rule,
                                           std::span<GaussNodeSlope>(chords_).subspan(offset, rule.size()));
    offset += rule.size();
  }
  const double exponent = (p + 1) * 0.5;
  const std::span<GaussNodeSlope> outside(outside_);
  numeric::gauss_jacobi_symmetric_slopes(exponent, rules.outside_rule(3), outside.first(24));
  numeric::gauss_jacobi_symmetric_slopes(exponent, rules.outside_rule(4), outside.subspan(24, 32));
  numeric::gauss_jacobi_one_sided_slopes(exponent, rules.limb_rule(), limb_);
}

std::span<const GaussNodeSlope> PowerChordSlopes::for_length(double h) const noexcept {
  const std::size_t band = chord_band(h);
  std::size_t offset = 0;
  for (std::size_t i = 0; i < band; ++i) offset += chord_band_sizes[i];
  return std::span<const GaussNodeSlope>(chords_).subspan(offset, chord_band_sizes[band]);
}

std::span<const GaussNodeSlope> PowerChordSlopes::outside_rule(double a) const noexcept {
  const std::span<const GaussNodeSlope> nodes(outside_);
  return a <= 3 ? nodes.first(24) : nodes.subspan(24, 32);
}

PowerAndLogarithm power_logarithm_weighted_disk_integral(double u, double a, double p,
                                                         const PowerChordRules& rules,
                                                         const PowerChordSlopes& slopes) noexcept {
  const auto both = [](const Slope& integral) {
    return PowerAndLogarithm{integral.value, integral.tangent[0]};
  };
  const auto chord = [&](const Slope& m, const Slope& h) {
    return chord_sum(m, h, rules.for_length(h.value), slopes.for_length(h.value),
                     [](double w) { return point_lens_with_slope(w); });
  };
  // The angle rules' exponent (p + 1)/2, and that of (h/a) on the lines inside.
  const Slope half_exponent((p + 1) * 0.5, {0.5});
  const Slope exponent(p + 1, {1.0});
  constexpr double pi = std::numbers::pi;
  if (u >= power_lines::gauss_outside_ratio * a) {
    return well_outside(u, a, rules.outside_rule(a), slopes.outside_rule(a), chord);
  }
  if (u > a) {
    // As power_lines::just_outside: the first panel [0, epsilon] by the limb rule, moving, then the
    // graded Gauss-Legendre panels, fixed.
    const double beyond = u - a;
    const auto line = [&](const Slope& y) {
      const Slope m = sqrt((beyond + a * y) * (u + a * (1.0 - y)));
      const Slope h = a * sqrt(y * (2.0 - y));
      return (a / m) * chord(m, h);
    };
    const double epsilon = std::min(std::max(2 * (beyond / a), power_lines::limb_epsilon_floor), 1.0);
    const double half_first = epsilon * 0.5;
    const std::span<const GaussNode> limb = rules.limb_rule();
    Slope first{};
    for (std::size_t j = 0; j < limb.size(); ++j) {
      const MovingNode node = moving(limb[j], slopes.limb_rule()[j], 0.5);
      const Slope y = half_first * (1.0 - node.abscissa);
      first += node.weight * (pow(2.0 - y, half_exponent) * line(y));
    }
    Slope integral = pow(Slope(half_first), half_exponent) * half_first * first;
    power_lines::graded_panels(epsilon, 1, [&](double from, double to) {
      const double half_range = (to - from) * 0.5;
      const double middle = from + half_range;
      Slope sum{};
      for (const GaussNode& node : numeric::gauss_legendre_16) {
        const double y = middle + half_range * node.abscissa;
        sum += node.weight * (pow(Slope(y * (2 - y)), half_exponent) * line(Slope(y)));
      }
      integral += half_range * sum;
    });
    return both((2 / (pi * a)) * integral);
  }
  // Inside, the lines stay put: only (h/a)^(p+1) and the chord rule move.
  return both(power_lines::over_lines(u, a, [&](double m, double h) {
    return pow(Slope(h / a), exponent) * fixed_chord_sum(m, h, rules.for_length(h), slopes.for_length(h));
  }));
}

PowerAndLogarithm power_logarithm_weighted_disk_excess_outside(double u, double a,
                                                               const PowerChordRules& rules,
                                                               const PowerChordSlopes& slopes) noexcept {
  // The rules of large_source_lines.cpp: every chord the band of excess_chord_length, the angle
  // the 32-point rule (the shorter ones of far_excess_lines from twice the radius on).
  const double chord_length = excess_chord_length_for(u, a);
  const double angle_radius = excess_angle_radius_for(u, a);
  const std::span<const GaussNode> chord_rule = rules.for_length(chord_length);
  const std::span<const GaussNodeSlope> chord_moves = slopes.for_length(chord_length);
  const auto chord = [&](const Slope& m, const Slope& h) {
    return chord_sum(m, h, chord_rule, chord_moves, [](double w) { return point_lens_excess_with_slope(w); });
  };
  return well_outside(u, a, rules.outside_rule(angle_radius), slopes.outside_rule(angle_radius), chord);
}

}  // namespace obrivane::models
