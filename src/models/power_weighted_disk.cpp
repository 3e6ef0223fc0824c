// The mu^p-weighted disk (and the mu ln mu one) by lines through the lens (notation of mu_weighted_disk.cpp).
// On the line at angle theta the chord is w = m + h s, s in [-1, 1], where mu = (h/a) sqrt(1 - s^2), so mu^p
// dw = (h/a)^p h (1 - s^2)^(p/2) ds, and
//   integral of mu^p A d^2r = 2 a^-p integral_0^theta* h^(p+1) G dtheta,
//   G = integral_-1^1 (1 - s^2)^(p/2) F(m + h s) ds,
// G even in h and analytic in h^2. h^(p+1) is analytic in theta only for odd p: for other p it has
// an end-point singularity (h -> 0) at the tangent line theta* = asin(a/u) when the lens is
// outside, and, when the lens is just inside, a near-singularity at theta = pi/2, where
// h^2 = a^2 - u^2 sin^2(theta) reaches a^2 - u^2. Just inside, Gauss panels graded towards it take
// it; just outside, panels graded towards the tangent line in t = (u/a) sin(theta), the last by a
// one-sided Gauss-Jacobi rule. G comes from the Gauss rule of its weight. With the lens inside,
// the angle is measured from the perpendicular, psi = pi/2 - theta, so that
// h^2 = (a - u)(a + u) + u^2 sin^2 psi is formed without cancellation where it is smallest.
#include "models/power_weighted_disk.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "models/point_lens_along_line.hpp"
#include "numeric/gauss_jacobi_one_sided.hpp"
#include "numeric/gauss_jacobi_symmetric.hpp"
#include "numeric/gauss_rules.hpp"

namespace obrivane::models {
namespace {

constexpr double pi = std::numbers::pi;
constexpr double half_pi = std::numbers::pi / 2;

// Up to this separation (in source radii) the angle integral takes a Gauss-Legendre rule, and
// from gauss_outside_ratio on a Gauss-Jacobi rule in t = (u/a) sin(theta), where the only
// singularity left is that of 1/m, m = sqrt(u^2 - a^2 t^2), at t = u/a. The rules' errors fall as
// the ratio of the Bernstein ellipse through the nearest singularity to the power -2n: inside,
// psi = i acosh(a/u) gives a ratio above 2.2 for u <= 0.9 a, outside u/a + sqrt(u^2/a^2 - 1) >= 2
// for u >= 1.25 a, so that 24 points reach a few 1e-15 (measured against the source integral at
// both bounds for p = 0.3 to 2.7 and a = 0.01 to 10). Between the two, where h^(p+1) is (nearly)
// singular on the interval, graded Gauss panels (over_lines, just_outside, log_just_outside).
constexpr double gauss_inside_ratio = 0.9;
constexpr double gauss_outside_ratio = 1.25;
// The growth of the graded panels about the limb, and the bounds of their first panels: inside
// (over_lines) and outside (just_outside, log_just_outside).
constexpr double limb_panel_ratio = 4;
constexpr double limb_sigma_floor = 1e-8;
constexpr double limb_epsilon_floor = 1e-16;

double chord_sum(double m, double h, std::span<const numeric::GaussNode> rule) noexcept {
  double sum = 0;
  for (const numeric::GaussNode& point : rule)
    sum += point.weight * point_lens_times_radius(m + h * point.abscissa);
  return sum;
}

}  // namespace

PowerChordRules::PowerChordRules(double p) noexcept {
  std::array<double, 80> d{}, e{}, z{};
  std::size_t offset = 0;
  for (const std::size_t size : sizes) {
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

std::span<const numeric::GaussNode> PowerChordRules::for_radius(double a) const noexcept {
  std::size_t offset = 0;
  std::size_t band = 0;
  while (band + 1 < sizes.size() && a > largest_radii[band]) offset += sizes[band++];
  return std::span<const numeric::GaussNode>(nodes_).subspan(offset, sizes[band]);
}

namespace {

// Calls panel(from, to) on the panels of [start, end], 0 < start, growing by one ratio, the
// smallest of limb_panel_ratio or less.
template <class Panel>
void graded_panels(double start, double end, Panel&& panel) noexcept {
  if (!(start < end)) return;
  const double span = end / start;
  const double count = std::ceil(std::log(span) / std::log(limb_panel_ratio));
  const double ratio = std::pow(span, 1 / count);
  double from = start;
  for (double i = 1; i <= count; ++i) {
    const double to = i == count ? end : from * ratio;
    panel(from, to);
    from = to;
  }
}

// (2 / (pi a)) times the integral over the angle of line(m, h), the chord integral of the brightness
// term times F divided by a^2 (its factor h^(p+1) / a^(p+1) included), for the lens inside (u <= a).
template <class Line>
double over_lines(double u, double a, Line&& line) noexcept {
  const double scale = 2 / (pi * a);
  double integral;
  if (u <= gauss_inside_ratio * a) {
    // Well inside, the nearest singularities of h^(p+1), psi = +-i acosh(a/u), lie far enough
    // from [0, pi/2] for a Gauss-Legendre rule.
    const double inside = (a - u) * (a + u);
    const std::span<const numeric::GaussNode> rule =
        a <= 3 ? std::span<const numeric::GaussNode>(numeric::gauss_legendre_24) : numeric::gauss_legendre_32;
    const double half_range = half_pi * 0.5;
    double sum = 0;
    for (const numeric::GaussNode& node : rule) {
      const double along = u * std::sin(half_range + half_range * node.abscissa);
      sum += node.weight * line(along, std::sqrt(inside + along * along));
    }
    integral = half_range * sum;
  } else {
    // Just inside, h^(p+1) = (c^2 + u^2 sin^2 psi)^((p+1)/2), c^2 = a^2 - u^2, has its branch
    // points at psi = +-i sigma, sigma = asinh(c/u), close to the end psi = 0. Panels graded
    // from there, [0, sigma], then up to pi/2 each at most limb_panel_ratio times the last, keep
    // the Bernstein ratio of every panel at 3 or more (4.6 on the first, 3 on [x, 4x] with
    // sigma <= x), so that 16 points reach 3^-32 = 5e-16 of the panel. Measured
    // against the double-exponential rule at every level: 1e-15 relative at 800 separations
    // from 0.9 a to a (1 - 1e-16), p = 0.05 to 2.7 and the log term, a = 0.001 to 10. Below
    // limb_sigma_floor the first panel holds (sigma_floor)^(p+2) < 1e-16 of the integral and
    // needs no finer grading: at most 15 panels.
    const double inside = (a - u) * (a + u);
    const auto at = [&](double psi) {
      const double along = u * std::sin(psi);
      return line(along, std::sqrt(inside + along * along));
    };
    const double sigma = std::min(std::max(std::asinh(std::sqrt(inside) / u), limb_sigma_floor), half_pi);
    const auto panel = [&](double from, double to) {
      const double half_range = (to - from) * 0.5;
      const double middle = from + half_range;
      double sum = 0;
      for (const numeric::GaussNode& node : numeric::gauss_legendre_16)
        sum += node.weight * at(middle + half_range * node.abscissa);
      return half_range * sum;
    };
    integral = panel(0, sigma);
    graded_panels(sigma, half_pi, [&](double from, double to) { integral += panel(from, to); });
  }
  return scale * integral;
}

// The lens just outside (a < u < gauss_outside_ratio a), in t = (u/a) sin(theta) as beyond,
// where (h/a)^(p+1) = (1 - t^2)^((p+1)/2) and dtheta = (a/m) dt: 1/m, m = sqrt(u^2 - a^2 t^2), has
// its branch point at t = u/a, delta = u/a - 1 past the end t = 1. In y = 1 - t, panels graded
// from the end: [0, epsilon], epsilon = 2 delta, by the one-sided Gauss-Jacobi rule of
// (1 - x)^((p+1)/2), y = epsilon (1 - x)/2, whose Bernstein ratio for the branch point, at x = 2,
// is 3.7; then up to y = 1 each at most limb_panel_ratio times the last by Gauss-Legendre, ratio 3 or
// more as inside, and 16 points throughout. Below limb_epsilon_floor the first panel holds about
// epsilon^((p+2)/2) < 1e-16 of the integral: at most 27 panels.
double just_outside(double u, double a, double p, const PowerChordRules& rules) noexcept {
  const std::span<const numeric::GaussNode> chord_rule = rules.for_radius(a);
  const double exponent = (p + 1) * 0.5;
  const double beyond = u - a;
  // The integrand at y = 1 - t without its factor (1 - t)^exponent.
  const auto without_end = [&](double y) {
    const double m = std::sqrt((beyond + a * y) * (u + a * (1 - y)));
    const double h = a * std::sqrt(y * (2 - y));
    return (a / m) * chord_sum(m, h, chord_rule);
  };
  const double epsilon = std::min(std::max(2 * (beyond / a), limb_epsilon_floor), 1.0);
  const double half_first = epsilon * 0.5;
  double first = 0;
  for (const numeric::GaussNode& node : rules.limb_rule()) {
    const double y = half_first * (1 - node.abscissa);
    first += node.weight * (std::pow(2 - y, exponent) * without_end(y));
  }
  double integral = std::pow(half_first, exponent) * half_first * first;
  graded_panels(epsilon, 1, [&](double from, double to) {
    const double half_range = (to - from) * 0.5;
    const double middle = from + half_range;
    double sum = 0;
    for (const numeric::GaussNode& node : numeric::gauss_legendre_16) {
      const double y = middle + half_range * node.abscissa;
      sum += node.weight * (std::pow(y * (2 - y), exponent) * without_end(y));
    }
    integral += half_range * sum;
  });
  return (2 / (pi * a)) * integral;
}

// The log-weighted disk with the lens just outside, in y = 1 - t and on the panels of
// just_outside: the chord integral's factor (h/a)^2 ln(h/a) = y (2 - y) (ln y + ln(2 - y))/2 adds
// a branch point at the end y = 0 to that of 1/m at y = -delta. On the first panel, y = epsilon z,
// z in [0, 1], the rules of z and of -z ln z (gauss_end_1_16, gauss_log_end_1_16) take the terms
// in z and z ln z, Bernstein ratio 3.7 as there; beyond it both branch points lie at or beyond
// each Gauss-Legendre panel's own distance from 0, ratio 3 or more.
double log_just_outside(double u, double a, std::span<const numeric::GaussNode> chebyshev,
                        std::span<const numeric::GaussNode> logarithmic) noexcept {
  const double beyond = u - a;
  // (a/m) (2 - y)/2 and the chord sums at y.
  struct Line {
    double factor, plain, logged;
  };
  const auto line = [&](double y) {
    const double m = std::sqrt((beyond + a * y) * (u + a * (1 - y)));
    const double h = a * std::sqrt(y * (2 - y));
    return Line{(a / m) * ((2 - y) * 0.5), chord_sum(m, h, chebyshev), chord_sum(m, h, logarithmic)};
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
  const std::span<const numeric::GaussNode> rule = rules.for_radius(a);
  const double exponent = p + 1;
  if (u >= gauss_outside_ratio * a) {
    // theta = asin((a/u) t): h = a sqrt(1 - t^2), dtheta = (a/m) dt, m = u cos(theta); the
    // integrand is even in t, so the full symmetric rule gives twice the integral over [0, 1].
    double sum = 0;
    for (const numeric::GaussNode& node : rules.outside_rule(a)) {
      const double t = node.abscissa;
      const double at = a * t;
      const double m = std::sqrt((u - at) * (u + at));
      const double h = a * std::sqrt((1 - t) * (1 + t));
      sum += node.weight * ((a / m) * chord_sum(m, h, rule));
    }
    return (2 / (pi * a)) * (sum * 0.5);
  }
  if (u > a) return just_outside(u, a, p, rules);
  // (2 / (pi a^(p+2))) integral h^(p+1) G dtheta = (2 / (pi a)) integral (h/a)^(p+1) G dtheta.
  // The square-root and quadratic laws' exponents without pow.
  if (exponent == 3) {
    return over_lines(u, a, [&](double m, double h) {
      const double q = h / a;
      return ((q * q) * q) * chord_sum(m, h, rule);
    });
  }
  if (exponent == 1.5) {
    return over_lines(u, a, [&](double m, double h) {
      const double q = h / a;
      return (q * std::sqrt(q)) * chord_sum(m, h, rule);
    });
  }
  return over_lines(u, a,
                    [&](double m, double h) { return std::pow(h / a, exponent) * chord_sum(m, h, rule); });
}

double log_weighted_disk_integral(double u, double a) noexcept {
  // The bands and node counts of PowerChordRules, in the committed tables.
  std::span<const numeric::GaussNode> chebyshev = numeric::gauss_chebyshev_u_80;
  std::span<const numeric::GaussNode> logarithmic = numeric::gauss_log_chebyshev_80;
  if (a <= 0.01) {
    chebyshev = numeric::gauss_chebyshev_u_4, logarithmic = numeric::gauss_log_chebyshev_4;
  } else if (a <= 0.1) {
    chebyshev = numeric::gauss_chebyshev_u_6, logarithmic = numeric::gauss_log_chebyshev_6;
  } else if (a <= 0.3) {
    chebyshev = numeric::gauss_chebyshev_u_8, logarithmic = numeric::gauss_log_chebyshev_8;
  } else if (a <= 1) {
    chebyshev = numeric::gauss_chebyshev_u_12, logarithmic = numeric::gauss_log_chebyshev_12;
  } else if (a <= 3) {
    chebyshev = numeric::gauss_chebyshev_u_28, logarithmic = numeric::gauss_log_chebyshev_28;
  }
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
    const auto line = [&](double t, std::span<const numeric::GaussNode> chord_rule) {
      const double at = a * t;
      const double m = std::sqrt((u - at) * (u + at));
      return (a / m) * chord_sum(m, a * std::sqrt((1 - t) * (1 + t)), chord_rule);
    };
    double sum = 0;
    for (const numeric::GaussNode& node : logged) sum += node.weight * line(node.abscissa, chebyshev);
    for (const numeric::GaussNode& node : plain) sum += node.weight * line(node.abscissa, logarithmic);
    return (2 / (pi * a)) * (-0.25 * sum);
  }
  if (u > a) return log_just_outside(u, a, chebyshev, logarithmic);
  return over_lines(u, a, [&](double m, double h) {
    const double q = h / a;
    if (q == 0) return 0.0;
    return (q * q) * (std::log(q) * chord_sum(m, h, chebyshev) - 0.5 * chord_sum(m, h, logarithmic));
  });
}

}  // namespace obrivane::models
