// The mu^p-weighted disk (and the mu ln mu one) by lines through the lens (notation of mu_weighted_disk.cpp).
// On the line at angle theta the chord is w = m + h s, s in [-1, 1], where mu = (h/a) sqrt(1 - s^2), so mu^p
// dw = (h/a)^p h (1 - s^2)^(p/2) ds, and
//   integral of mu^p A d^2r = 2 a^-p integral_0^theta* h^(p+1) G dtheta,
//   G = integral_-1^1 (1 - s^2)^(p/2) F(m + h s) ds,
// G even in h and analytic in h^2. h^(p+1) is analytic in theta only for odd p; the angle rules
// that take its singularity at the limb are those of power_weighted_lines.hpp, with e = p + 1.
// G comes from the Gauss rule of its weight.
#include "models/power_weighted_disk.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "models/chord_rules.hpp"
#include "models/point_lens_along_line.hpp"
#include "models/power_weighted_lines.hpp"
#include "numeric/gauss_jacobi_one_sided.hpp"
#include "numeric/gauss_jacobi_symmetric.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models {
namespace {

constexpr double pi = std::numbers::pi;

}  // namespace

PowerChordRules::PowerChordRules(double p) noexcept {
  std::array<double, 80> d{}, e{}, z{};
  std::size_t offset = 0;
  for (const std::size_t size : chord_band_sizes) {
    numeric::gauss_jacobi_symmetric(p * 0.5, std::span<numeric::GaussNode>(nodes_).subspan(offset, size), d,
                                    e, z);
    offset += size;
  }
  const std::span<numeric::GaussNode> outside(outside_nodes_);
  numeric::gauss_jacobi_symmetric((p + 1) * 0.5, outside.first(24), d, e, z);
  numeric::gauss_jacobi_symmetric((p + 1) * 0.5, outside.subspan(24, 32), d, e, z);
  numeric::gauss_jacobi_one_sided((p + 1) * 0.5, std::span<numeric::GaussNode>(limb_nodes_), d, e, z);
}

std::span<const numeric::GaussNode> PowerChordRules::outside_rule(double a) const noexcept {
  const std::span<const numeric::GaussNode> nodes(outside_nodes_);
  return a <= 3 ? nodes.first(24) : nodes.subspan(24, 32);
}

std::span<const numeric::GaussNode> PowerChordRules::for_length(double h) const noexcept {
  const std::size_t band = chord_band(h);
  std::size_t offset = 0;
  for (std::size_t i = 0; i < band; ++i) offset += chord_band_sizes[i];
  return std::span<const numeric::GaussNode>(nodes_).subspan(offset, chord_band_sizes[band]);
}

namespace {

using power_lines::gauss_outside_ratio;
using power_lines::graded_panels;
using power_lines::just_outside;
using power_lines::limb_epsilon_floor;
using power_lines::over_lines;
using power_lines::well_outside;

// The log-weighted disk with the lens just outside, in y = 1 - t and on the panels of
// just_outside: the chord integral's factor (h/a)^2 ln(h/a) = y (2 - y) (ln y + ln(2 - y))/2 adds
// a branch point at the end y = 0 to that of 1/m at y = -delta. On the first panel, y = epsilon z,
// z in [0, 1], the rules of z and of -z ln z (gauss_end_1_16, gauss_log_end_1_16) take the terms
// in z and z ln z, Bernstein ratio 3.7 as there; beyond it both branch points lie at or beyond
// each Gauss-Legendre panel's own distance from 0, ratio 3 or more.
double log_just_outside(double u, double a) noexcept {
  const double beyond = u - a;
  // (a/m) (2 - y)/2 and the chord sums at y.
  struct Line {
    double factor, plain, logged;
  };
  const auto line = [&](double y) {
    const double m = std::sqrt((beyond + a * y) * (u + a * (1 - y)));
    const double h = a * std::sqrt(y * (2 - y));
    const ChordBandRules& chords = chord_rules_for(h);
    return Line{(a / m) * ((2 - y) * 0.5), chord_sum(m, h, chords.chebyshev_u),
                chord_sum(m, h, chords.log_chebyshev_u)};
  };
  const double epsilon = std::min(std::max(2 * (beyond / a), limb_epsilon_floor), 1.0);
  const double log_epsilon = std::log(epsilon);
  double first = 0;
  for (const numeric::GaussNode& node : numeric::gauss_end_1_16) {
    const double y = epsilon * node.abscissa;
    const Line at = line(y);
    first += node.weight * (at.factor * ((log_epsilon + std::log(2 - y)) * at.plain - at.logged));
  }
  for (const numeric::GaussNode& node : numeric::gauss_log_end_1_16) {
    const Line at = line(epsilon * node.abscissa);
    first -= node.weight * (at.factor * at.plain);
  }
  double integral = (epsilon * epsilon) * first;
  graded_panels(epsilon, 1, [&](double from, double to) {
    const double half_range = (to - from) * 0.5;
    const double middle = from + half_range;
    double sum = 0;
    for (const numeric::GaussNode& node : numeric::gauss_legendre_16) {
      const double y = middle + half_range * node.abscissa;
      const Line at = line(y);
      sum += node.weight * (y * at.factor * (std::log(y * (2 - y)) * at.plain - at.logged));
    }
    integral += half_range * sum;
  });
  return (2 / (pi * a)) * integral;
}

}  // namespace

double power_weighted_disk_integral(double u, double a, double p, const PowerChordRules& rules) noexcept {
  // Each line's chord rule by its own half-length (chord_rules.hpp).
  const auto chord = [&rules](double m, double h) { return chord_sum(m, h, rules.for_length(h)); };
  const double exponent = p + 1;
  if (u >= gauss_outside_ratio * a) {
    return well_outside(a, rules.outside_rule(a), [&](double t) {
      const double at = a * t;
      const double m = std::sqrt((u - at) * (u + at));
      const double h = a * std::sqrt((1 - t) * (1 + t));
      return (a / m) * chord(m, h);
    });
  }
  if (u > a) {
    const double beyond = u - a;
    return just_outside(u, a, exponent, rules.limb_rule(), [&](double y) {
      const double m = std::sqrt((beyond + a * y) * (u + a * (1 - y)));
      const double h = a * std::sqrt(y * (2 - y));
      return (a / m) * chord(m, h);
    });
  }
  // (2 / (pi a^(p+2))) integral h^(p+1) G dtheta = (2 / (pi a)) integral (h/a)^(p+1) G dtheta.
  // The square-root and quadratic laws' exponents without pow.
  if (exponent == 3) {
    return over_lines(u, a, [&](double m, double h) {
      const double q = h / a;
      return ((q * q) * q) * chord(m, h);
    });
  }
  if (exponent == 1.5) {
    return over_lines(u, a, [&](double m, double h) {
      const double q = h / a;
      return (q * std::sqrt(q)) * chord(m, h);
    });
  }
  return over_lines(u, a, [&](double m, double h) { return std::pow(h / a, exponent) * chord(m, h); });
}

double log_weighted_disk_integral(double u, double a) noexcept {
  // mu ln mu = (h/a) sqrt(1 - s^2) (ln(h/a) + ln(1 - s^2)/2) on the chord, so its chord integral
  // over a^2 is (h/a)^2 (ln(h/a) G_U - G_L/2), G_U of the weight sqrt(1 - s^2) and G_L of
  // -sqrt(1 - s^2) ln(1 - s^2).
  if (u >= gauss_outside_ratio * a) {
    // In t = (u/a) sin(theta), (h/a)^2 = 1 - t^2 and ln(h/a) = ln(1 - t^2)/2, so the angle
    // integral is (1/2) integral_0^1 (-w_L G_U - w_J G_L) (a/m) dt with w_L = -(1 - t^2) ln(1 - t^2)
    // and w_J = 1 - t^2: a quarter of the sums over the symmetric rules.
    const bool small = a <= 3;
    const std::span<const numeric::GaussNode> plain =
        small ? std::span<const numeric::GaussNode>(numeric::gauss_jacobi_1_24) : numeric::gauss_jacobi_1_32;
    const std::span<const numeric::GaussNode> logged =
        small ? std::span<const numeric::GaussNode>(numeric::gauss_log_jacobi_1_24)
              : numeric::gauss_log_jacobi_1_32;
    const auto line = [&](double t, bool logged_chord) {
      const double at = a * t;
      const double m = std::sqrt((u - at) * (u + at));
      const double h = a * std::sqrt((1 - t) * (1 + t));
      const ChordBandRules& chords = chord_rules_for(h);
      return (a / m) * chord_sum(m, h, logged_chord ? chords.log_chebyshev_u : chords.chebyshev_u);
    };
    const double sum = power_lines::even_sum(logged, [&](double t) { return line(t, false); }) +
                       power_lines::even_sum(plain, [&](double t) { return line(t, true); });
    return (2 / (pi * a)) * (-0.25 * sum);
  }
  if (u > a) return log_just_outside(u, a);
  return over_lines(u, a, [&](double m, double h) {
    const double q = h / a;
    if (q == 0) return 0.0;
    const ChordBandRules& chords = chord_rules_for(h);
    return (q * q) * (std::log(q) * chord_sum(m, h, chords.chebyshev_u) -
                      0.5 * chord_sum(m, h, chords.log_chebyshev_u));
  });
}

}  // namespace obrivane::models
